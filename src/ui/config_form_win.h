// The settings dialog: the source folders and files, the mirror name, the period and the free-space
// floor, and the exclusions (patterns of names or paths inside the listed folders that no pass
// copies, such as "*.tmp" or "Temp\"), edited on four pages and written back to the settings file
// however the dialog is closed.
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
#include "ui/source_list_win.h"
#include "ui/spin_edit_win.h"

namespace vestrand {

// Control identifiers of the dialog (1100..1199). The page «Прочее» numbers its labels and fields
// by their place in the settings table (kConfigLabelId, kConfigFieldId + place); the names below
// are those of the first four.
enum ConfigFormId : int {
    IDC_CFG_PAGECONTROL = 1100,
    IDC_CFG_PAGEDIRS,
    IDC_CFG_PAGEFILES,
    IDC_CFG_PAGEOTHER,
    IDC_CFG_PAGEEXCLUDE,
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
    IDC_CFG_LISTBOXEXCLUDE = 1160,
    IDC_CFG_EADD,
    IDC_CFG_EDELETE,
    IDC_CFG_EXCLUDEEDIT,
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
    // then - however it was closed - takes the Config values back into `settings` as they stand and
    // saves them with the three lists through SaveSettingsFromDialog. Errors of the save reach the caller.
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
    LRESULT DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(int id, int code, HWND control) override;
    LRESULT OnNotify(const NMHDR* header) override;

private:
    class TabSheet;
    struct ConfigField;

    void CreateControls();
    // The pages over the page control's display area: 405 x 245 at 96 dpi, at its bottom left.
    void PlacePages();
    // WM_DPICHANGED: the suggested place, then every box and font at the new scale.
    void OnDpiChanged(int dpi, LPARAM suggested);
    void ShowPage(int index);
    void RunModal();
    // Ctrl+Tab and Ctrl+Shift+Tab through the pages; true when the message was one of them.
    bool PageKey(const MSG& msg);
    const ConfigField* FieldOf(int id) const;

    HWND PageControl = nullptr;
    std::unique_ptr<TabSheet> m_pages[kPageCount];
    SourceList m_dirs;                 // the page «Директории копирования»
    SourceList m_files;                // the page «Файлы коприрования»
    std::vector<ConfigField> m_fields; // the page «Прочее», a field for each row of ConfigSettings()
    SourceList m_excludes;             // the page «Исключения»

    int m_activePage = 0;
    bool m_open = false;
    bool m_closeRequested = false;
    bool m_placed = false; // shown once: later openings keep the last position
};

} // namespace vestrand
