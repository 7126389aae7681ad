// Driving the settings dialog in its modal wait: a script of steps run from a thread timer (so they
// run inside whatever message loop is active, the dialog's or a picker's), a fixture that opens the
// dialog on a page and closes it, input as the user gives it, and the settings file read back.
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

    explicit Script(TFormConfigVestrand& form) : m_form(form) {}
    ~Script();

    Script& Then(std::function<void()> action);
    Script& WaitFor(std::function<bool()> condition, const char* what = "condition");
    Script& Pause(DWORD ms); // ticks for `ms` milliseconds (for checking that nothing happens meanwhile)
    // `open` posts what opens a picker (or message box); once it shows, `inside` gets it and posts
    // what closes it; then waits until it has gone.
    Script& WithPicker(std::function<void()> open, std::function<void(HWND)> inside, const char* what);

    void Start();
    bool Done() const { return m_next >= m_steps.size(); }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);

    struct Step {
        std::function<bool()> run;
        std::string what;
    };
    TFormConfigVestrand& m_form;
    std::vector<Step> m_steps;
    size_t m_next = 0;
    bool m_busy = false, m_timedOut = false;
    DWORD m_start = 0;
    UINT_PTR m_timer = 0;
};

void ClickListRow(HWND list, int row);             // selects a row with the mouse
void ClickButton(HWND button);                     // BM_CLICK
void ClickTab(HWND pageControl, int index);        // a tab of the page control, with the mouse
void TypeText(HWND hwnd, const std::string& text); // WM_CHAR per character, the focus in the field first
void TypeOver(HWND edit, const std::string& text); // all of the text replaced; "" by Backspace
void PressKey(HWND hwnd, UINT vk);                 // WM_KEYDOWN and WM_KEYUP, sent
void PostKey(UINT vk);                             // WM_KEYDOWN posted to the focused window
void SetModifiers(bool shift, bool control);       // Shift and Control in the thread's keyboard state

std::string TextOf(HWND hwnd);
Lines ListEntries(HWND list);
HWND FindPicker(); // the visible #32770 window of this thread (a picker or message box), or nullptr

std::string IniRead(const std::string& ini, const char* section, const char* key); // "<missing>"
Lines IniList(const std::string& ini, const char* section); // keys 1, 2, ... up to the first gap

// The list pages: the page, its list, entry field and buttons, and where the list is saved.
struct ListPage {
    int page;
    DialogControl list, field, add, del;
    const char* section;
    Lines BackupSettings::*saved;
};
inline const ListPage kListPages[] = {
    {0, DialogControl::ListBoxDir, DialogControl::DirectoryEdit3, DialogControl::dAdd, DialogControl::dDelete,
     "SourceDir", &BackupSettings::SourceDirs},
    {1, DialogControl::ListBoxFile, DialogControl::FilenameEdit1, DialogControl::fAdd, DialogControl::fDelete,
     "SourceFile", &BackupSettings::SourceFiles},
    {3, DialogControl::ListBoxExclude, DialogControl::ExcludeEdit, DialogControl::eAdd,
     DialogControl::eDelete, "Exclude", &BackupSettings::Exclude}};

// A dialog created hidden, a fresh folder and its settings file.
class DialogTest : public ::testing::Test {
protected:
    void SetUp() override;
    // Opens the dialog on `settings` through pmConfigClick, shows `page` by a click on its tab (it
    // opens on page 0), runs what `steps` adds to the script, closes the dialog by its title bar;
    // returns after the save. RunPageClosedBySteps leaves the closing to the steps.
    void RunPageClosedBySteps(int page, const std::function<void(Script&)>& steps);
    void RunPage(int page, const std::function<void(Script&)>& steps) {
        RunPageClosedBySteps(page, [&](Script& s) {
            steps(s);
            s.Then([this] { ::SendMessageA(form.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0); });
        });
    }
    void RunPage(int page, const std::function<void()>& action) {
        RunPage(page, [&](Script& s) { s.Then(action); });
    }
    HWND Item(DialogControl c) const { return form.Item(c); }
    // A click on the button of a browse field, posted: what opens its picker. Browse first sets the text.
    void PostBrowseClick(DialogControl field);
    void Browse(DialogControl field, const std::string& text) {
        ::SetWindowTextA(Item(field), text.c_str());
        PostBrowseClick(field);
    }

    std::string folder, ini;
    TFormConfigVestrand form;
    BackupSettings settings;
};

} // namespace vestrand::test
