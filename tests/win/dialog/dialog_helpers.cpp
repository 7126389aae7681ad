#include "dialog_helpers.h"

#include <commctrl.h>

#include <memory>

namespace vestrand::test {
namespace {
Script* g_running = nullptr;
constexpr UINT kTickMs = 15;
} // namespace

Script::~Script() {
    if (m_timer)
        ::KillTimer(nullptr, m_timer);
    if (g_running == this)
        g_running = nullptr;
}

Script& Script::Then(std::function<void()> action) {
    m_steps.push_back({[a = std::move(action)] {
                           a();
                           return true;
                       },
                       "action"});
    return *this;
}

Script& Script::WaitFor(std::function<bool()> condition, const char* what) {
    m_steps.push_back({std::move(condition), what});
    return *this;
}

Script& Script::Pause(DWORD ms) {
    auto until = std::make_shared<DWORD>(0);
    m_steps.push_back({[until] {
                           *until = ::GetTickCount();
                           return true;
                       },
                       "pause start"});
    m_steps.push_back({[until, ms] { return ::GetTickCount() - *until >= ms; }, "pause"});
    return *this;
}

Script& Script::WhenOpen() {
    return WaitFor([this] { return m_form.IsOpen() && ::IsWindowVisible(m_form.Handle()); }, "dialog open");
}

Script& Script::CloseByTitleBar() {
    return Then([this] { ::SendMessageA(m_form.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0); });
}

void Script::Start() {
    g_running = this;
    m_start = ::GetTickCount();
    m_timer = ::SetTimer(nullptr, 0, kTickMs, &Script::Tick);
}

void CALLBACK Script::Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (g_running)
        g_running->RunTick();
}

void Script::RunTick() {
    if (!m_timedOut && ::GetTickCount() - m_start > m_timeout) {
        m_timedOut = true;
        ADD_FAILURE() << "script timed out waiting for: "
                      << (m_next < m_steps.size() ? m_steps[m_next].what
                                                  : std::string("the dialog to close"));
        if (HWND picker = FindPicker())
            ::PostMessageA(picker, WM_CLOSE, 0, 0);
        m_form.CloseDialog();
        m_next = m_steps.size();
    }
    if (m_busy || Done())
        return;
    m_busy = true;
    if (m_steps[m_next].run())
        ++m_next;
    m_busy = false;
}

void RunDialog(TFormConfigVestrand& form, BackupSettings& settings, const std::string& ini, Script& script) {
    script.Start();
    form.pmConfigClick(settings, ini);
    EXPECT_TRUE(script.Done()) << "the dialog closed before the script ended";
    EXPECT_FALSE(form.IsOpen());
    EXPECT_FALSE(::IsWindowVisible(form.Handle()));
}

void ClickAt(HWND hwnd, int x, int y) {
    ::SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    ::SendMessageA(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

void PostClickAt(HWND hwnd, int x, int y) {
    ::PostMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    ::PostMessageA(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
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

void SelectAll(HWND edit) {
    ::SetFocus(edit);
    ::SendMessageA(edit, EM_SETSEL, 0, -1);
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

std::vector<std::string> ListEntries(HWND list) {
    std::vector<std::string> entries;
    const int n = static_cast<int>(::SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        char buffer[4096] = {};
        ::SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer));
        entries.push_back(buffer);
    }
    return entries;
}

int ListSelection(HWND list) {
    return static_cast<int>(::SendMessageA(list, LB_GETCURSEL, 0, 0));
}

HWND FindPicker() {
    HWND found = nullptr;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hwnd, LPARAM out) -> BOOL {
            char cls[32] = {};
            ::GetClassNameA(hwnd, cls, sizeof cls);
            if (std::string(cls) == "#32770" && ::IsWindowVisible(hwnd)) {
                *reinterpret_cast<HWND*>(out) = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

std::string IniRead(const std::string& ini, const char* section, const char* key) {
    char buffer[2048] = {};
    ::GetPrivateProfileStringA(section, key, "<missing>", buffer, sizeof buffer, ini.c_str());
    return buffer;
}

std::vector<std::string> IniList(const std::string& ini, const char* section) {
    std::vector<std::string> items;
    for (int n = 1;; ++n) {
        const std::string value = IniRead(ini, section, std::to_string(n).c_str());
        if (value == "<missing>")
            break;
        items.push_back(value);
    }
    return items;
}

void DialogTest::SetUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder = FreshFolder('T', std::string("dlg_") + info->name());
    ini = folder + "vestrand.ini";
    form.Create(::GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(form.Handle());
    SetModifiers(false, false);
}

} // namespace vestrand::test
