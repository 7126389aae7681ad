// Driving the settings dialog in its modal wait: a script of steps run from a thread timer (so they
// run inside whatever message loop is active, the dialog's or a picker's), input helpers and
// settings-file readers.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/backup_settings.h"
#include "test_drives.h"
#include "ui/config_form_win.h"

namespace vestrand::test {

// Steps run one per timer tick. An action step is done at once; a wait step is tried again at each
// tick until its condition holds. Steps must not block: what opens a nested loop (a picker) is
// posted. A script that has not finished after kTimeoutMs fails the test, cancels any picker and
// closes the dialog.
class Script {
public:
    static constexpr DWORD kTimeoutMs = 60000; // the folder browser alone can take 20 s on a loaded machine

    explicit Script(TFormConfigVestrand& form, DWORD timeoutMs = kTimeoutMs)
        : m_form(form), m_timeout(timeoutMs) {}
    ~Script();

    Script& Then(std::function<void()> action);
    Script& WaitFor(std::function<bool()> condition, const char* what = "condition");
    // Waits for `ms` milliseconds of ticks (for checking that nothing happens meanwhile).
    Script& Pause(DWORD ms);
    // Waits until the dialog's modal wait runs.
    Script& WhenOpen();
    // Closes the dialog through its title bar (Close of the system menu).
    Script& CloseByTitleBar();

    void Start();
    bool Done() const { return m_next >= m_steps.size(); }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    void RunTick();

    struct Step {
        std::function<bool()> run;
        std::string what;
    };
    TFormConfigVestrand& m_form;
    DWORD m_timeout;
    std::vector<Step> m_steps;
    size_t m_next = 0;
    bool m_busy = false;
    bool m_timedOut = false;
    DWORD m_start = 0;
    UINT_PTR m_timer = 0;
};

// Opens the dialog with `settings` through pmConfigClick while `script` runs; returns after the
// dialog has been closed and saved.
void RunDialog(TFormConfigVestrand& form, BackupSettings& settings, const std::string& ini, Script& script);

// Input as the user gives it.
void ClickAt(HWND hwnd, int x, int y);             // left button down and up, sent
void PostClickAt(HWND hwnd, int x, int y);         // the same, posted (for what opens a picker)
void ClickListRow(HWND list, int row);             // selects a row with the mouse
void ClickButton(HWND button);                     // BM_CLICK
void ClickTab(HWND pageControl, int index);        // a tab of the page control, with the mouse
void TypeText(HWND hwnd, const std::string& text); // WM_CHAR per character, the focus in the field first
void SelectAll(HWND edit);
void PressKey(HWND hwnd, UINT vk); // WM_KEYDOWN and WM_KEYUP, sent
void PostKey(UINT vk);             // WM_KEYDOWN posted to the focused window
// Sets or clears the Shift, Control keys of the thread's keyboard state.
void SetModifiers(bool shift, bool control);

std::string TextOf(HWND hwnd);
std::vector<std::string> ListEntries(HWND list);
int ListSelection(HWND list);

// The visible picker (#32770 window) of this thread, or nullptr.
HWND FindPicker();

std::string IniRead(const std::string& ini, const char* section, const char* key);
std::vector<std::string> IniList(const std::string& ini,
                                 const char* section); // keys 1, 2, ... up to the first gap

// A dialog created hidden, a fresh folder and its settings file.
class DialogTest : public ::testing::Test {
protected:
    void SetUp() override;
    std::string folder;
    std::string ini;
    TFormConfigVestrand form;
    BackupSettings settings;
    HWND Item(DialogControl c) const { return form.Item(c); }
};

} // namespace vestrand::test
