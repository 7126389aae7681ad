#include "ui/config_form_win.h"

#include <commctrl.h>

#include <iterator>
#include <vector>

#include "engine/paths.h"
#include "runtime/dpi_win.h"
#include "settings/config_table.h"
#include "settings/settings_file_win.h"

namespace vestrand {

// A page of the page control: a control parent over the page control's display area (a sibling of
// the page control, above it), so that the dialog manager takes its controls into the tab order
// after the page control while the page is shown. It hands its controls' notifications to the
// dialog.
class TFormConfigVestrand::TabSheet final : public Window {
public:
    static constexpr const char* kClassName = "VestrandTabSheet";

    void Create(HWND form, int id, const RECT& area, bool visible) {
        m_form = form;
        RegisterWindowClass(kClassName, 0, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), nullptr);
        CreateWindowOf(kClassName, WS_EX_CONTROLPARENT,
                       WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | (visible ? WS_VISIBLE : 0), "",
                       area.left, area.top, area.right - area.left, area.bottom - area.top, form,
                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)));
    }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        switch (msg) {
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
            return ::SendMessageA(m_form, msg, wParam, lParam);
        default:
            return DefaultProc(msg, wParam, lParam);
        }
    }

private:
    HWND m_form = nullptr;
};

// A field of the page «Прочее» and its label, as a row of ConfigSettings() describes them.
struct TFormConfigVestrand::ConfigField {
    const ConfigSetting* row = nullptr;
    HWND label = nullptr;
    HWND edit = nullptr;                // a Text field
    std::unique_ptr<ButtonEdit> button; // a Number or Folder field
    HWND Window() const { return button ? button->Handle() : edit; }
};

namespace {

constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = 0;
constexpr int kPageWidth = 405;
constexpr int kPageHeight = 245;

// The identifier of a control: the fixed ones in the order of DialogControl, then the fields of the
// page «Прочее» by their place.
int ControlId(DialogControl control) {
    constexpr int kFixedIds[] = {
        IDC_CFG_PAGECONTROL,    IDC_CFG_LISTBOXDIR,     IDC_CFG_DADD, IDC_CFG_DDELETE,
        IDC_CFG_DIRECTORYEDIT3, IDC_CFG_LISTBOXFILE,    IDC_CFG_FADD, IDC_CFG_FDELETE,
        IDC_CFG_FILENAMEEDIT1,  IDC_CFG_LISTBOXEXCLUDE, IDC_CFG_EADD, IDC_CFG_EDELETE,
        IDC_CFG_EXCLUDEEDIT,
    };
    static_assert(std::size(kFixedIds) == static_cast<size_t>(DialogControl::Edit1));
    const int index = static_cast<int>(control), firstField = static_cast<int>(DialogControl::Edit1);
    return index < firstField ? kFixedIds[index] : kConfigFieldId + (index - firstField);
}

std::string WindowText(HWND hwnd) {
    const int length = ::GetWindowTextLengthA(hwnd);
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    const int got = ::GetWindowTextA(hwnd, buffer.data(), length + 1);
    return std::string(buffer.data(), static_cast<size_t>(got > 0 ? got : 0));
}

} // namespace

TFormConfigVestrand::TFormConfigVestrand()
    : m_dirs(std::make_unique<DirectoryEdit>(),
             {IDC_CFG_LISTBOXDIR, IDC_CFG_DADD, IDC_CFG_DDELETE, IDC_CFG_DIRECTORYEDIT3}, EntryKind::Path),
      m_files(std::make_unique<FilenameEdit>(),
              {IDC_CFG_LISTBOXFILE, IDC_CFG_FADD, IDC_CFG_FDELETE, IDC_CFG_FILENAMEEDIT1}, EntryKind::Path),
      m_excludes(std::make_unique<PlainEdit>(),
                 {IDC_CFG_LISTBOXEXCLUDE, IDC_CFG_EADD, IDC_CFG_EDELETE, IDC_CFG_EXCLUDEEDIT},
                 EntryKind::Pattern) {}

TFormConfigVestrand::~TFormConfigVestrand() {
    // The window and its controls go first, while the field objects still exist.
    if (Handle())
        ::DestroyWindow(Handle());
}

void TFormConfigVestrand::Create(HINSTANCE /*instance: windows are made for the executable's module*/,
                                 HWND owner) {
    if (Handle())
        return;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    HICON icon = owner ? reinterpret_cast<HICON>(::GetClassLongPtrA(owner, GCLP_HICON)) : nullptr;
    // A window of the dialog manager: DefDlgProcA keeps its focus, default button and keyboard.
    RegisterWindowClass(kClassName, 0, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), icon,
                        ::LoadCursorA(nullptr, IDC_ARROW), DLGWINDOWEXTRA);
    RECT frame{0, 0, kClientWidth, kClientHeight};
    ::AdjustWindowRectEx(&frame, kFormStyle, FALSE, kFormExStyle);
    if (!CreateWindowOf(kClassName, kFormExStyle, kFormStyle, "Настройка страхового полиса", 0, 0,
                        frame.right - frame.left, frame.bottom - frame.top, owner, nullptr))
        return;
    SizeForItsDpi(Handle(), kClientWidth, kClientHeight, kFormStyle, kFormExStyle);
    CreateControls();
}

void TFormConfigVestrand::CreateControls() {
    PageControl = CreateControl(WC_TABCONTROLA, "", WS_TABSTOP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 0,
                                kClientWidth, kClientHeight, Handle(), IDC_CFG_PAGECONTROL);
    const char* const tabs[kPageCount] = {"Директории копирования", "Файлы коприрования", "Прочее",
                                          "Исключения"};
    for (int i = 0; i < kPageCount; ++i) {
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char*>(tabs[i]);
        ::SendMessageA(PageControl, TCM_INSERTITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }
    const int pageIds[kPageCount] = {IDC_CFG_PAGEDIRS, IDC_CFG_PAGEFILES, IDC_CFG_PAGEOTHER,
                                     IDC_CFG_PAGEEXCLUDE};
    for (int i = 0; i < kPageCount; ++i) {
        m_pages[i] = std::make_unique<TabSheet>();
        m_pages[i]->Create(Handle(), pageIds[i], RECT{0, 0, 1, 1}, i == 0);
    }
    PlacePages();
    // The pages lie over the page control; the page control comes first in the tab order all the
    // same, as the tab order runs round.
    ::SetWindowPos(PageControl, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    m_dirs.Create(Page(0), 50, 0);
    m_files.Create(Page(1), 51, 1);

    // The page «Прочее»: its fields from the top, in the tab order.
    const auto rows = ConfigSettings();
    m_fields.resize(rows.size());
    for (const ConfigSetting& row : rows)
        m_fields.at(static_cast<size_t>(row.place)).row = &row;
    for (ConfigField& field : m_fields) { // creation order is the tab order
        const ConfigSetting& row = *field.row;
        const ConfigBox& l = row.labelBox;
        const ConfigBox& f = row.fieldBox;
        field.label = CreateControl("STATIC", row.label, SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, l.x, l.y,
                                    l.width, l.height, Page(2), kConfigLabelId + row.place);
        const int id = kConfigFieldId + row.place;
        switch (row.kind) {
        case ConfigKind::Number: {
            auto spin = std::make_unique<RxSpinEdit>();
            spin->Create(Page(2), id, f.x, f.y, f.width, f.height);
            spin->SetMinValue(row.fieldMin);
            spin->SetMaxValue(row.fieldMax);
            field.button = std::move(spin);
            break;
        }
        case ConfigKind::Folder: {
            auto folder = std::make_unique<DirectoryEdit>();
            folder->Create(Page(2), id, f.x, f.y, f.width, f.height, true);
            field.button = std::move(folder);
            break;
        }
        case ConfigKind::Text:
            field.edit = CreateControl("EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, f.x, f.y,
                                       f.width, f.height, Page(2), id);
            break;
        }
    }
    m_excludes.Create(Page(3), 50, 0);
    m_activePage = 0;
}

void TFormConfigVestrand::PlacePages() {
    // The inner area is where the page control's display area ends, at the page control's font.
    const int dpi = LayoutDpi(Handle());
    RECT area{};
    ::GetClientRect(PageControl, &area);
    ::SendMessageA(PageControl, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    area.right = area.left + ScaleToDpi(kPageWidth, dpi);
    area.top = area.bottom - ScaleToDpi(kPageHeight, dpi);
    for (int i = 0; i < kPageCount; ++i)
        ::SetWindowPos(Page(i), nullptr, area.left, area.top, area.right - area.left, area.bottom - area.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
}

void TFormConfigVestrand::OnDpiChanged(int dpi, LPARAM suggested) {
    MoveToSuggestedRect(Handle(), suggested);
    RescaleChildren(Handle(), dpi);
    PlacePages();
    m_dirs.ScaleRows();
    m_files.ScaleRows();
    m_excludes.ScaleRows();
    ::InvalidateRect(Handle(), nullptr, TRUE);
}

const TFormConfigVestrand::ConfigField* TFormConfigVestrand::FieldOf(int id) const {
    const size_t place = static_cast<size_t>(id - kConfigFieldId);
    return id >= kConfigFieldId && place < m_fields.size() ? &m_fields[place] : nullptr;
}

HWND TFormConfigVestrand::Item(DialogControl control) const {
    const int id = ControlId(control);
    if (id == IDC_CFG_PAGECONTROL)
        return PageControl;
    for (int i = 0; i < kPageCount; ++i)
        if (HWND hwnd = Page(i) ? ::GetDlgItem(Page(i), id) : nullptr)
            return hwnd;
    return nullptr;
}

HWND TFormConfigVestrand::ButtonOf(DialogControl control) const {
    const int id = ControlId(control);
    if (id == IDC_CFG_DIRECTORYEDIT3)
        return m_dirs.Field().ButtonHandle();
    if (id == IDC_CFG_FILENAMEEDIT1)
        return m_files.Field().ButtonHandle();
    const ConfigField* field = FieldOf(id);
    return field && field->button ? field->button->ButtonHandle() : nullptr;
}

HWND TFormConfigVestrand::Page(int index) const {
    return index >= 0 && index < kPageCount && m_pages[index] ? m_pages[index]->Handle() : nullptr;
}

void TFormConfigVestrand::ShowPage(int index) {
    if (index < 0 || index >= kPageCount)
        return;
    m_activePage = index;
    if (::SendMessageA(PageControl, TCM_GETCURSEL, 0, 0) != index)
        ::SendMessageA(PageControl, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    // The focus leaves a page before the page is hidden, so that a field losing it sees where it goes.
    const HWND focus = ::GetFocus();
    for (int i = 0; i < kPageCount; ++i)
        if (i != index && focus && (Page(i) == focus || ::IsChild(Page(i), focus)))
            ::SetFocus(PageControl);
    ::ShowWindow(Page(index), SW_SHOW);
    for (int i = 0; i < kPageCount; ++i)
        if (i != index)
            ::ShowWindow(Page(i), SW_HIDE);
}

LRESULT TFormConfigVestrand::DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    return ::DefDlgProcA(Handle(), msg, wParam, lParam);
}

LRESULT TFormConfigVestrand::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CLOSE:
        // The close button, Close in the system menu, Alt+F4: the modal wait ends; the window stays.
        if (m_open)
            m_closeRequested = true;
        return 0;
    case WM_DPICHANGED:
        OnDpiChanged(LOWORD(wParam), lParam);
        return 0;
    case WM_CTLCOLORSTATIC: {
        // A read-only folder field keeps the colours of a field, not of the page.
        const ConfigField* field = FieldOf(::GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
        if (field && field->row->kind == ConfigKind::Folder &&
            field->Window() == reinterpret_cast<HWND>(lParam)) {
            const HDC dc = reinterpret_cast<HDC>(wParam);
            ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
            ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
        }
        return DefaultProc(msg, wParam, lParam);
    }
    default:
        return Window::HandleMessage(msg, wParam, lParam);
    }
}

void TFormConfigVestrand::OnCommand(int id, int code, HWND /*control*/) {
    // IDOK and IDCANCEL, which the dialog manager makes of Enter and Esc, are no command here: the
    // dialog has no OK or Cancel button and closes only through its title bar.
    if (!m_dirs.OnCommand(id, code) && !m_files.OnCommand(id, code))
        m_excludes.OnCommand(id, code);
}

LRESULT TFormConfigVestrand::OnNotify(const NMHDR* header) {
    if (header && header->hwndFrom == PageControl && header->code == TCN_SELCHANGE)
        ShowPage(static_cast<int>(::SendMessageA(PageControl, TCM_GETCURSEL, 0, 0)));
    return 0;
}

// ---- Opening and the modal wait ----------------------------------------------------------------

void TFormConfigVestrand::pmConfigClick(BackupSettings& settings, const std::string& iniPath) {
    if (!Handle())
        Create(::GetModuleHandleA(nullptr), nullptr);
    if (m_open) {
        BringToFront(); // never refilled under the user
        return;
    }
    m_dirs.Fill(settings.SourceDirs);
    m_files.Fill(settings.SourceFiles);
    m_excludes.Fill(settings.Exclude);
    ShowPage(0);
    for (const ConfigField& field : m_fields) {
        const ConfigSetting& row = *field.row;
        if (row.kind == ConfigKind::Number)
            static_cast<RxSpinEdit&>(*field.button).SetValue(row.number(settings));
        else if (row.kind == ConfigKind::Folder)
            field.button->SetText(settings.*row.text);
        else
            ::SetWindowTextA(field.edit, (settings.*row.text).c_str());
    }

    RunModal();

    // However the dialog was closed, as the fields stand.
    for (const ConfigField& field : m_fields) {
        const ConfigSetting& row = *field.row;
        if (row.kind == ConfigKind::Number)
            row.setNumber(settings, static_cast<RxSpinEdit&>(*field.button).Value());
        else if (row.kind == ConfigKind::Folder) // as loading reads it: the mirror folder is appended
            settings.*row.text = NormalizeDir(field.button->Text());
        else
            settings.*row.text = WindowText(field.edit);
    }
    SaveSettingsFromDialog(settings, m_dirs.Items(), m_files.Items(), m_excludes.Items(), iniPath);
}

void TFormConfigVestrand::RunModal() {
    if (!m_placed) {
        CenterOnScreen(Handle());
        m_placed = true;
    }
    m_closeRequested = false;
    m_open = true;

    struct Ending {
        TFormConfigVestrand& form;
        ThreadWindowsDisabler disabler;
        ~Ending() {
            disabler.Restore(); // before hiding, so that the owner can take the activation
            ::ShowWindow(form.Handle(), SW_HIDE);
            form.m_open = false;
        }
    } ending{*this, ThreadWindowsDisabler(Handle())};

    ::ShowWindow(Handle(), SW_SHOW);
    ::SetForegroundWindow(Handle());
    ::SetFocus(PageControl);

    // Wide messages: the browse fields take every character typed or pasted, so that a path code
    // page 1251 cannot hold is seen and refused rather than turned into "?".
    bool quit = false;
    WPARAM quitCode = 0;
    MSG msg;
    while (!m_closeRequested) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            quit = true;
            quitCode = msg.wParam;
            break;
        }
        if (got == -1)
            break;
        if (PageKey(msg) || ::IsDialogMessageW(Handle(), &msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    if (quit)
        ::PostQuitMessage(static_cast<int>(quitCode)); // for the loop this wait runs in
}

bool TFormConfigVestrand::PageKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_TAB || ::GetKeyState(VK_CONTROL) >= 0 ||
        ::GetKeyState(VK_MENU) < 0 || !msg.hwnd || (msg.hwnd != Handle() && !::IsChild(Handle(), msg.hwnd)))
        return false;
    const HWND focus = ::GetFocus();
    const bool onPage = focus && ::IsChild(Handle(), focus) && focus != PageControl;
    ShowPage(NextPage(m_activePage, ::GetKeyState(VK_SHIFT) < 0));
    // The focus moves with the page: onto its first control.
    if (onPage)
        if (HWND first = ::GetNextDlgTabItem(Page(m_activePage), nullptr, FALSE))
            ::SendMessageA(Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
    return true;
}

void TFormConfigVestrand::BringToFront() {
    if (!m_open || !Handle())
        return;
    HWND target = ::GetLastActivePopup(Handle());
    if (!target || !::IsWindowVisible(target))
        target = Handle();
    ::SetForegroundWindow(target);
    ::BringWindowToTop(target);
}

void TFormConfigVestrand::CloseDialog() {
    if (!m_open || !Handle())
        return;
    m_closeRequested = true;
    // A picker open over the dialog is cancelled; its own wait then returns to ours.
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hwnd, LPARAM form) -> BOOL {
            if (::GetWindow(hwnd, GW_OWNER) == reinterpret_cast<HWND>(form) && ::IsWindowVisible(hwnd))
                ::PostMessageA(hwnd, WM_CLOSE, 0, 0);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(Handle()));
    ::PostMessageA(Handle(), WM_NULL, 0, 0);
}

} // namespace vestrand
