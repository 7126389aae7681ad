#include <gtest/gtest.h>

#include <stdexcept>

#include "file_lock.h"
#include "runtime/handles_win.h"
#include "runtime/platform_win.h"
#include "runtime/window_win.h"

using namespace vestrand;

namespace {
class ThrowingWindow : public Window {
public:
    bool Create() {
        RegisterWindowClass("VestrandTestThrowing", 0, nullptr, nullptr);
        return CreateWindowOf("VestrandTestThrowing", 0, WS_OVERLAPPED, "t", 0, 0, 10, 10, HWND_MESSAGE,
                              nullptr) != nullptr;
    }
    int commands = 0;

protected:
    void OnCommand(int id, int, HWND) override {
        ++commands;
        if (id == 7)
            throw std::runtime_error("boom");
    }
};
} // namespace

TEST(Window, ErrorsOfHandlersReachTheErrorHandlerAndTheWindowLivesOn) {
    std::string seen;
    SetErrorHandler([&](const std::string& m) { seen = m; });
    {
        ThrowingWindow w;
        ASSERT_TRUE(w.Create());
        ::SendMessageA(w.Handle(), WM_COMMAND, MAKEWPARAM(7, 0), 0);
        EXPECT_EQ(seen, "boom");
        ::SendMessageA(w.Handle(), WM_COMMAND, MAKEWPARAM(8, 0), 0);
        EXPECT_EQ(w.commands, 2);
        HWND h = w.Handle();
        EXPECT_TRUE(::IsWindow(h));
        ::DestroyWindow(h);
        EXPECT_EQ(w.Handle(), nullptr); // cleared at WM_NCDESTROY
    }
    SetErrorHandler(nullptr);
}

TEST(Handles, MoveTransfersOwnershipAndResetCloses) {
    FileHandle a(::CreateFileA("T:\\handles.tmp", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(a.Valid());
    FileHandle b(std::move(a));
    EXPECT_FALSE(a.Valid());
    EXPECT_TRUE(b.Valid());
    // Without sharing, a second open fails while b holds the file...
    EXPECT_FALSE(test::FileLock("T:\\handles.tmp").Held());
    b.Reset();
    // ...and succeeds once it is closed.
    FileHandle c(::CreateFileA("T:\\handles.tmp", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(c.Valid());
    c.Reset();
    ::DeleteFileA("T:\\handles.tmp");
}

TEST(Platform, TimeSeparatorOfTheRussianLocaleIsAColon) {
    EXPECT_EQ(TimeSeparator(), ':');
    EXPECT_EQ(::GetACP(), 1251u);
}
