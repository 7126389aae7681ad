#include "dialog_runner.h"

#include <commctrl.h>

#include <memory>

namespace vestrand::test {
namespace {
Script* g_running = nullptr;
constexpr UINT kTickMs = 15;

void ClickAt(HWND hwnd, int x, int y) { // left button down and up, sent
    ::SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    ::SendMessageA(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}
} // namespace

Script::~Script() {
    if (m_timer)
        ::KillTimer(nullptr, m_timer);
    if (g_running == this)
        g_running = nullptr;
}

Script& Script::Then(std::function<void()> action) {
    return WaitFor(
        [a = std::move(action)] {
            a();
            return true;
        },
        "action");
}

Script& Script::WaitFor(std::function<bool()> condition, const char* what) {
    m_steps.push_back({std::move(condition), what});
    return *this;
}

Script& Script::Pause(DWORD ms) {
    auto since = std::make_shared<DWORD>(0);
    return Then([since] { *since = ::GetTickCount(); })
        .WaitFor([since, ms] { return ::GetTickCount() - *since >= ms; }, "pause");
}

Script& Script::WithPicker(std::function<void()> open, std::function<void(HWND)> inside, const char* what) {
    return Then(std::move(open))
        .WaitFor([] { return FindPicker() != nullptr; }, what)
        .Then([in = std::move(inside)] { in(FindPicker()); })
        .WaitFor([] { return FindPicker() == nullptr; }, "the picker to close");
}

void Script::Start() {
    g_running = this;
    m_start = ::GetTickCount();
    m_timer = ::SetTimer(nullptr, 0, kTickMs, &Script::Tick);
}

void CALLBACK Script::Tick(HWND, UINT, UINT_PTR, DWORD) {
    Script* s = g_running;
    if (!s)
        return;
    if (!s->m_timedOut && ::GetTickCount() - s->m_start > kTimeoutMs) {
        s->m_timedOut = true;
        ADD_FAILURE() << "script timed out waiting for: "
                      << (s->Done() ? std::string("the dialog to close") : s->m_steps[s->m_next].what);
        if (HWND picker = FindPicker())
            ::PostMessageA(picker, WM_CLOSE, 0, 0);
        s->m_form.CloseDialog();
        s->m_next = s->m_steps.size();
    }
    if (s->m_busy || s->Done())
        return;
    s->m_busy = true;
    if (s->m_steps[s->m_next].run())
        ++s->m_next;
    s->m_busy = false;
}

void ClickListRow(HWND list, int row) {
    const int h = static_cast<int>(::SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
    ClickAt(list, 10, row * h + h / 2);
}

void ClickButton(HWND button) {
    ::SendMessageA(button, BM_CLICK, 0, 0);
}

void ClickTab(HWND pageControl, int index) {
    RECT rc{};
    ::SendMessageA(pageControl, TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rc));
    ClickAt(pageControl, (rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
}

void TypeText(HWND hwnd, const std::string& text) {
    if (::GetFocus() != hwnd)
        ::SetFocus(hwnd);
    for (char c : text)
        ::SendMessageA(hwnd, WM_CHAR, static_cast<unsigned char>(c), 1);
}

void TypeOver(HWND edit, const std::string& text) {
    ::SetFocus(edit);
    ::SendMessageA(edit, EM_SETSEL, 0, -1);
    if (text.empty())
        ::SendMessageA(edit, WM_CHAR, VK_BACK, 1);
    TypeText(edit, text);
}

void PressKey(HWND hwnd, UINT vk) {
    ::SendMessageA(hwnd, WM_KEYDOWN, vk, 1);
    ::SendMessageA(hwnd, WM_KEYUP, vk, 1 | (3u << 30));
}

void PostKey(UINT vk) {
    ::PostMessageA(::GetFocus(), WM_KEYDOWN, vk, 1);
}

void SetModifiers(bool shift, bool control) {
    BYTE keys[256];
    ::GetKeyboardState(keys);
    keys[VK_SHIFT] = keys[VK_LSHIFT] = shift ? 0x80 : 0;
    keys[VK_CONTROL] = keys[VK_LCONTROL] = control ? 0x80 : 0;
    ::SetKeyboardState(keys);
}

std::string TextOf(HWND hwnd) {
    char buffer[4096] = {};
    ::GetWindowTextA(hwnd, buffer, sizeof buffer);
    return buffer;
}

Lines ListEntries(HWND list) {
    Lines entries;
    const int n = static_cast<int>(::SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        char buffer[4096] = {};
        ::SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer));
        entries.push_back(buffer);
    }
    return entries;
}

HWND FindPicker() {
    for (HWND w = nullptr; (w = ::FindWindowExA(nullptr, w, "#32770", nullptr)) != nullptr;)
        if (::GetWindowThreadProcessId(w, nullptr) == ::GetCurrentThreadId() && ::IsWindowVisible(w))
            return w;
    return nullptr;
}

std::string IniRead(const std::string& ini, const char* section, const char* key) {
    char buffer[2048] = {};
    ::GetPrivateProfileStringA(section, key, "<missing>", buffer, sizeof buffer, ini.c_str());
    return buffer;
}

Lines IniList(const std::string& ini, const char* section) {
    Lines items;
    for (int n = 1;; ++n) {
        const std::string value = IniRead(ini, section, std::to_string(n).c_str());
        if (value == "<missing>")
            return items;
        items.push_back(value);
    }
}

void DialogTest::SetUp() {
    folder = FreshFolder('T', std::string("dlg_") +
                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    ini = folder + "vestrand.ini";
    form.Create(::GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(form.Handle());
    SetModifiers(false, false);
}

void DialogTest::PostBrowseClick(DialogControl field) {
    ::PostMessageA(form.ButtonOf(field), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    ::PostMessageA(form.ButtonOf(field), WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
}

void DialogTest::RunPageClosedBySteps(int page, const std::function<void(Script&)>& steps) {
    Script s(form);
    s.WaitFor([this] { return form.IsOpen() && ::IsWindowVisible(form.Handle()); }, "dialog open");
    if (page != 0)
        s.Then([this, page] { ClickTab(Item(DialogControl::PageControl), page); });
    steps(s);
    s.Start();
    form.pmConfigClick(settings, ini);
    EXPECT_TRUE(s.Done()) << "the dialog closed before the script ended";
    EXPECT_FALSE(form.IsOpen());
    EXPECT_FALSE(::IsWindowVisible(form.Handle()));
}

} // namespace vestrand::test
