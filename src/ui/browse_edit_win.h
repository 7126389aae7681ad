// Folder and file fields with a browse button (DirectoryEdit, FilenameEdit), and the environment the
// platform's pickers run in.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "ui/button_edit_win.h"
#include "ui/dialog_rules.h"

namespace vestrand {

// Disables the calling thread's visible, enabled top-level windows (except `except`) and enables
// them again on Restore or destruction. This keeps hidden windows, such as the tray icon's message
// window, working.
class ThreadWindowsDisabler {
public:
    explicit ThreadWindowsDisabler(HWND except = nullptr);
    ~ThreadWindowsDisabler();
    ThreadWindowsDisabler(const ThreadWindowsDisabler&) = delete;
    ThreadWindowsDisabler& operator=(const ThreadWindowsDisabler&) = delete;
    void Restore();

private:
    std::vector<HWND> m_disabled;
};

// The system's folder picker over `owner`, centred, open at `start` (a folder that exists), OK only on
// folders of the file system; false when the user cancels it.
bool BrowseForFolder(HWND owner, const std::string& start, std::wstring& chosen);

// While a picker is open: the program's other windows disabled, the platform's critical-error boxes
// suppressed; afterwards both restored and the previously active window activated again.
class PickerScope {
public:
    PickerScope();
    ~PickerScope();
    PickerScope(const PickerScope&) = delete;
    PickerScope& operator=(const PickerScope&) = delete;

private:
    HWND m_active;
    UINT m_errorMode;
    ThreadWindowsDisabler m_disabler;
};

// What a text for the settings is, as the message box of a refusal names it.
enum class EntryKind { Path, Pattern };
// A path or an exclusion pattern for the settings, in code page 1251: true with `text` set when the
// code page holds every character of `wide`; otherwise a message box in front of `owner` says that
// the path (or pattern) cannot be taken, and false.
bool AcceptEntry(HWND owner, EntryKind kind, const std::wstring& wide, std::string& text);
inline bool AcceptPath(HWND owner, const std::wstring& wide, std::string& path) {
    return AcceptEntry(owner, EntryKind::Path, wide, path);
}
// The text of that message box.
std::wstring RefusalText(EntryKind kind, const std::wstring& wide);

// A browse field: the button, or Alt+Down in the field, opens the picker unless the field is
// read-only (then the button does nothing). Typed text is kept as typed: every character of code
// page 1251 can be part of a file name. A picked path that code page 1251 cannot hold is refused
// through AcceptPath and leaves the field as it was.
class BrowseEdit : public ButtonEdit {
public:
    static constexpr int kButtonWidth = 17;

    // Runs before the picker opens, with the text the picker starts from.
    std::function<void(std::string& name)> OnBeforeDialog;

    void Create(HWND parent, int id, int x, int y, int width, int height) override {
        Create(parent, id, x, y, width, height, false);
    }
    void Create(HWND parent, int id, int x, int y, int width, int height, bool readOnly);
    // What the button does: opens the picker (nothing for a read-only field).
    void Browse();

protected:
    virtual void RunPicker() = 0;
    LRESULT EditMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void PaintButton(HDC dc, const RECT& area) override;
    void ButtonMouse(UINT msg, int x, int y) override;
    void ButtonCaptureLost() override;

private:
    bool m_down = false; // the button is held
    bool m_over = false; // ... with the pointer over it
};

// Folder field: the shell's folder browser (its wide form, which names every folder as it is) (rooted at the
// desktop, file-system folders only, OK only on an existing folder, centred, the start folder selected). The
// chosen folder is shown without a trailing separator (a drive root keeps it) and remembered as the start of
// the next browse.
class DirectoryEdit final : public BrowseEdit {
public:
    const std::string& RememberedFolder() const { return m_remembered; }

protected:
    void RunPicker() override;

private:
    std::string m_remembered;
};

// File field: the file-open dialog (its wide form) titled "Список" with the one filter for all files and no
// read-only box; neither the file nor its folder has to exist. The chosen file's full path becomes
// the text; the dialog remembers it and its folder for the next opening.
class FilenameEdit final : public BrowseEdit {
public:
    const FileDialogState& DialogState() const { return m_state; }

protected:
    void RunPicker() override;

private:
    FileDialogState m_state;
};

} // namespace vestrand
