// The settings dialog: the source folders and files, the mirror name, the period and the free-space
// floor, edited on three pages and written back to the settings file however the dialog is closed.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/backup_settings.h"
#include "runtime/handles_win.h"
#include "runtime/window_win.h"
#include "ui/browse_edit_win.h"
#include "ui/dialog_rules.h"
#include "ui/spin_edit_win.h"

namespace vestrand {

// Control identifiers of the dialog (1100..1199).
enum ConfigFormId : int {
    IDC_CFG_PAGECONTROL = 1100,
    IDC_CFG_PAGEDIRS,
    IDC_CFG_PAGEFILES,
    IDC_CFG_PAGEOTHER,
    IDC_CFG_LISTBOXDIR = 1110,
    IDC_CFG_DADD,
    IDC_CFG_DDELETE,
    IDC_CFG_DIRECTORYEDIT3,
    IDC_CFG_LISTBOXFILE = 1120,
    IDC_CFG_FADD,
    IDC_CFG_FDELETE,
    IDC_CFG_FILENAMEEDIT1,
    IDC_CFG_LABEL1 = 1130,
    IDC_CFG_LABEL2,
    IDC_CFG_LABEL3,
    IDC_CFG_LABEL4,
    IDC_CFG_EDIT1 = 1140,
    IDC_CFG_DIRECTORYEDIT1,
    IDC_CFG_RXSPINEDIT1,
    IDC_CFG_RXSPINEDIT2,
};

class TFormConfigVestrand : public Window {
public:
    static constexpr const char* kClassName = "TFormConfigVestrand";
    static constexpr int kClientWidth = 413;
    static constexpr int kClientHeight = 273;

    TFormConfigVestrand();
    ~TFormConfigVestrand() override;

    // Creates the dialog, hidden, owned by `owner`.
    void Create(HINSTANCE instance, HWND owner);

    // The main window's handler for "Настройки": fills the dialog from `settings`, shows it modally
    // (the message loop keeps dispatching, so the schedule's timer and the tray menu stay live),
    // then - however it was closed - takes the four values back into `settings` as they stand and
    // saves them with both lists through SaveSettingsFromDialog. Errors of the save reach the caller.
    // While the dialog is already open it only brings it to the front.
    void pmConfigClick(BackupSettings& settings, const std::string& iniPath);
    bool IsOpen() const { return m_open; }
    // Brings the open dialog (or a picker open over it) to the front; nothing when it is closed.
    void BringToFront();
    // Ends the modal wait as if the dialog had been closed; a picker open over it is cancelled first.
    void CloseDialog();

    // The window of a control (the edit of a browse or number field), and the button of a browse or
    // number field.
    HWND Item(DialogControl control) const;
    HWND ButtonOf(DialogControl control) const;
    HWND Page(int index) const;
    int ActivePage() const { return m_activePage; }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(int id, int code, HWND control) override;
    LRESULT OnNotify(const NMHDR* header) override;

private:
    class TabSheet;

    void CreateControls();
    void ShowPage(int index);
    void RunModal();
    // Keys the dialog handles itself: Tab and Shift+Tab through the tab order, Ctrl+Tab through the
    // pages, Enter on a push button. True when the message was used.
    bool PreTranslate(const MSG& msg);
    bool ControlOf(HWND hwnd, DialogControl& control) const;
    void FocusControl(DialogControl control);

    // Handlers.
    void ListBoxDirClick();
    void dAddClick();
    void dDeleteClick();
    void DirectoryEdit3BeforeDialog(std::string& name);
    void ListBoxFileClick();
    void fAddClick();
    void fDeleteClick();
    void FilenameEdit1BeforeDialog(std::string& name);

    GdiObject m_font; // first: the widgets below use it until they are gone

    // Widgets, in the dialog's own order.
    HWND PageControl = nullptr;
    std::unique_ptr<TabSheet> pageDirs, pageFiles, pageOther;
    HWND ListBoxDir = nullptr;
    HWND ListBoxFile = nullptr;
    HWND dAdd = nullptr;
    HWND dDelete = nullptr;
    DirectoryEdit DirectoryEdit3;
    HWND fAdd = nullptr;
    HWND fDelete = nullptr;
    FilenameEdit FilenameEdit1;
    HWND Label1 = nullptr, Label2 = nullptr, Label3 = nullptr, Label4 = nullptr;
    HWND Edit1 = nullptr;
    DirectoryEdit DirectoryEdit1;
    RxSpinEdit RxSpinEdit1;
    RxSpinEdit RxSpinEdit2;

    int m_activePage = 0;
    bool m_open = false;
    bool m_closeRequested = false;
    bool m_placed = false;      // shown once: later openings keep the last position
    HWND m_lastFocus = nullptr; // focus to give back when the dialog is activated again
};

} // namespace vestrand
