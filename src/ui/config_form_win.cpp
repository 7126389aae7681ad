#include "ui/config_form_win.h"

#include <commctrl.h>

#include <array>
#include <vector>

#include "settings/settings_file_win.h"

namespace vestrand {

// A page of the page control: a child of the tab control that hands its controls' notifications
// to the dialog.
class TFormConfigVestrand::TabSheet final : public Window {
public:
    static constexpr const char* kClassName = "VestrandTabSheet";

    void Create(HWND pageControl, HWND form, int id, const RECT& area, bool visible) {
        m_form = form;
        RegisterWindowClass(kClassName, 0, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), nullptr);
        CreateWindowOf(kClassName, 0,
                       WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | (visible ? WS_VISIBLE : 0), "",
                       area.left, area.top, area.right - area.left, area.bottom - area.top, pageControl,
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

namespace {

constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = 0;
constexpr int kPageWidth = 405;
constexpr int kPageHeight = 245;

constexpr std::array<DialogControl, 13> kAllControls = {
    DialogControl::PageControl, DialogControl::ListBoxDir,     DialogControl::dAdd,
    DialogControl::dDelete,     DialogControl::DirectoryEdit3, DialogControl::ListBoxFile,
    DialogControl::fAdd,        DialogControl::fDelete,        DialogControl::FilenameEdit1,
    DialogControl::Edit1,       DialogControl::DirectoryEdit1, DialogControl::RxSpinEdit1,
    DialogControl::RxSpinEdit2,
};

HMENU IdOf(int id) {
    return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
}

HWND MakeControl(const char* cls, const char* text, DWORD style, DWORD exStyle, int x, int y, int w, int h,
                 HWND parent, int id, HFONT font) {
    HWND hwnd = ::CreateWindowExA(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                                  IdOf(id), ::GetModuleHandleA(nullptr), nullptr);
    if (hwnd && font)
        ::SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return hwnd;
}

HWND MakeListBox(HWND parent, int id, int x, int y, int w, int h, HFONT font) {
    HWND list = MakeControl("LISTBOX", "", WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                            WS_EX_CLIENTEDGE, x, y, w, h, parent, id, font);
    ::SendMessageA(list, LB_SETITEMHEIGHT, 0, 13); // after the font, which resets it
    return list;
}

HWND MakeButton(HWND parent, int id, const char* caption, int x, int y, HFONT font) {
    return MakeControl("BUTTON", caption, WS_TABSTOP | BS_PUSHBUTTON, 0, x, y, 75, 25, parent, id, font);
}

HWND MakeLabel(HWND parent, int id, const char* caption, int x, int y, int w, HFONT font) {
    return MakeControl("STATIC", caption, SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, x, y, w, 13, parent, id, font);
}

std::string WindowText(HWND hwnd) {
    const int length = ::GetWindowTextLengthA(hwnd);
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    const int got = ::GetWindowTextA(hwnd, buffer.data(), length + 1);
    return std::string(buffer.data(), static_cast<size_t>(got > 0 ? got : 0));
}

void FillList(HWND list, const std::vector<std::string>& items) {
    ::SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (const auto& item : items)
        ::SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
}

std::string ListItem(HWND list, int index) {
    const LRESULT length = ::SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR)
        return std::string();
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    const LRESULT got =
        ::SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
    return got == LB_ERR ? std::string() : std::string(buffer.data(), static_cast<size_t>(got));
}

std::vector<std::string> ListItems(HWND list) {
    std::vector<std::string> items;
    const LRESULT count = ::SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i)
        items.push_back(ListItem(list, static_cast<int>(i)));
    return items;
}

bool IsEditControl(HWND hwnd) {
    char cls[16] = {};
    ::GetClassNameA(hwnd, cls, sizeof cls);
    return ::lstrcmpiA(cls, "Edit") == 0;
}

} // namespace

TFormConfigVestrand::TFormConfigVestrand() = default;
TFormConfigVestrand::~TFormConfigVestrand() {
    // The window and its controls go first, while the font and the field objects still exist.
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
    RegisterWindowClass(kClassName, 0, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), icon);
    m_font.Reset(::CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                               DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif"));
    RECT frame{0, 0, kClientWidth, kClientHeight};
    ::AdjustWindowRectEx(&frame, kFormStyle, FALSE, kFormExStyle);
    if (!CreateWindowOf(kClassName, kFormExStyle, kFormStyle, "Настройка страхового полиса", 0, 0,
                        frame.right - frame.left, frame.bottom - frame.top, owner, nullptr))
        return;
    CreateControls();
}

void TFormConfigVestrand::CreateControls() {
    const HFONT font = static_cast<HFONT>(m_font.Get());
    PageControl = MakeControl(WC_TABCONTROLA, "", WS_TABSTOP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 0,
                              kClientWidth, kClientHeight, Handle(), IDC_CFG_PAGECONTROL, font);
    const char* const tabs[kPageCount] = {"Директории копирования", "Файлы коприрования", "Прочее"};
    for (int i = 0; i < kPageCount; ++i) {
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char*>(tabs[i]);
        ::SendMessageA(PageControl, TCM_INSERTITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }
    // The pages' inner area is 405 x 245, at the bottom of the page control's display area.
    RECT area{0, 0, kClientWidth, kClientHeight};
    ::SendMessageA(PageControl, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    area.right = area.left + kPageWidth;
    area.top = area.bottom - kPageHeight;

    pageDirs = std::make_unique<TabSheet>();
    pageFiles = std::make_unique<TabSheet>();
    pageOther = std::make_unique<TabSheet>();
    pageDirs->Create(PageControl, Handle(), IDC_CFG_PAGEDIRS, area, true);
    pageFiles->Create(PageControl, Handle(), IDC_CFG_PAGEFILES, area, false);
    pageOther->Create(PageControl, Handle(), IDC_CFG_PAGEOTHER, area, false);

    HWND dirs = pageDirs->Handle();
    ListBoxDir = MakeListBox(dirs, IDC_CFG_LISTBOXDIR, 0, 50, 405, 195, font);
    dAdd = MakeButton(dirs, IDC_CFG_DADD, "Добавить", 240, 24, font);
    dDelete = MakeButton(dirs, IDC_CFG_DDELETE, "Удалить", 328, 24, font);
    DirectoryEdit3.Create(dirs, IDC_CFG_DIRECTORYEDIT3, 6, 0, 393, 21, font);
    DirectoryEdit3.OnBeforeDialog = [this](std::string& name) { DirectoryEdit3BeforeDialog(name); };

    HWND files = pageFiles->Handle();
    ListBoxFile = MakeListBox(files, IDC_CFG_LISTBOXFILE, 0, 51, 405, 194, font);
    fAdd = MakeButton(files, IDC_CFG_FADD, "Добавить", 240, 24, font);
    fDelete = MakeButton(files, IDC_CFG_FDELETE, "Удалить", 328, 24, font);
    FilenameEdit1.Create(files, IDC_CFG_FILENAMEEDIT1, 6, 1, 393, 21, font);
    FilenameEdit1.OnBeforeDialog = [this](std::string& name) { FilenameEdit1BeforeDialog(name); };

    HWND other = pageOther->Handle();
    Label1 = MakeLabel(other, IDC_CFG_LABEL1, "Название полиса:", 24, 12, 92, font);
    Edit1 = MakeControl("EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, 160, 8, 121, 21, other,
                        IDC_CFG_EDIT1, font);
    Label2 = MakeLabel(other, IDC_CFG_LABEL2, "Директория сохранения:", 24, 36, 127, font);
    DirectoryEdit1.Create(other, IDC_CFG_DIRECTORYEDIT1, 160, 32, 241, 21, font, true);
    Label3 = MakeLabel(other, IDC_CFG_LABEL3, "Период сохранения (Min):", 24, 60, 129, font);
    RxSpinEdit1.Create(other, IDC_CFG_RXSPINEDIT1, 160, 56, 121, 21, font);
    RxSpinEdit1.SetMinValue(5);
    RxSpinEdit1.SetMaxValue(1440);
    Label4 = MakeLabel(other, IDC_CFG_LABEL4, "Допустимое свободное место на диске сохранения  (Mb):", 24, 88,
                       294, font);
    RxSpinEdit2.Create(other, IDC_CFG_RXSPINEDIT2, 160, 104, 121, 21, font); // no range: both bounds 0

    m_activePage = 0;
}

HWND TFormConfigVestrand::Item(DialogControl control) const {
    switch (control) {
    case DialogControl::PageControl:
        return PageControl;
    case DialogControl::ListBoxDir:
        return ListBoxDir;
    case DialogControl::dAdd:
        return dAdd;
    case DialogControl::dDelete:
        return dDelete;
    case DialogControl::DirectoryEdit3:
        return DirectoryEdit3.Handle();
    case DialogControl::ListBoxFile:
        return ListBoxFile;
    case DialogControl::fAdd:
        return fAdd;
    case DialogControl::fDelete:
        return fDelete;
    case DialogControl::FilenameEdit1:
        return FilenameEdit1.Handle();
    case DialogControl::Edit1:
        return Edit1;
    case DialogControl::DirectoryEdit1:
        return DirectoryEdit1.Handle();
    case DialogControl::RxSpinEdit1:
        return RxSpinEdit1.Handle();
    case DialogControl::RxSpinEdit2:
        return RxSpinEdit2.Handle();
    }
    return nullptr;
}

HWND TFormConfigVestrand::ButtonOf(DialogControl control) const {
    switch (control) {
    case DialogControl::DirectoryEdit3:
        return DirectoryEdit3.ButtonHandle();
    case DialogControl::FilenameEdit1:
        return FilenameEdit1.ButtonHandle();
    case DialogControl::DirectoryEdit1:
        return DirectoryEdit1.ButtonHandle();
    case DialogControl::RxSpinEdit1:
        return RxSpinEdit1.ButtonHandle();
    case DialogControl::RxSpinEdit2:
        return RxSpinEdit2.ButtonHandle();
    default:
        return nullptr;
    }
}

HWND TFormConfigVestrand::Page(int index) const {
    const TabSheet* pages[kPageCount] = {pageDirs.get(), pageFiles.get(), pageOther.get()};
    return index >= 0 && index < kPageCount && pages[index] ? pages[index]->Handle() : nullptr;
}

bool TFormConfigVestrand::ControlOf(HWND hwnd, DialogControl& control) const {
    if (!hwnd)
        return false;
    for (DialogControl c : kAllControls) {
        if (Item(c) == hwnd) {
            control = c;
            return true;
        }
    }
    // A window inside a field (its button); the pages themselves lie inside the page control.
    for (DialogControl c : kAllControls) {
        HWND item = Item(c);
        if (c != DialogControl::PageControl && item && ::IsChild(item, hwnd)) {
            control = c;
            return true;
        }
    }
    return false;
}

void TFormConfigVestrand::FocusControl(DialogControl control) {
    HWND hwnd = Item(control);
    if (!hwnd)
        return;
    ::SetFocus(hwnd);
    if (IsEditControl(hwnd))
        ::SendMessageA(hwnd, EM_SETSEL, 0, -1);
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

LRESULT TFormConfigVestrand::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CLOSE:
        // The close button, Close in the system menu, Alt+F4: the modal wait ends; the window stays.
        if (m_open)
            m_closeRequested = true;
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND focus = ::GetFocus();
            if (focus && ::IsChild(Handle(), focus))
                m_lastFocus = focus;
        } else if (!HIWORD(wParam)) {
            HWND target = m_lastFocus;
            if (!target || !::IsWindow(target) || !::IsChild(Handle(), target) || !::IsWindowVisible(target))
                target = PageControl;
            ::SetFocus(target);
        }
        return 0;
    case WM_CTLCOLORSTATIC:
        // The read-only folder field keeps the colours of a field, not of the page.
        if (reinterpret_cast<HWND>(lParam) == DirectoryEdit1.Handle()) {
            const HDC dc = reinterpret_cast<HDC>(wParam);
            ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
            ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
        }
        return DefaultProc(msg, wParam, lParam);
    default:
        return Window::HandleMessage(msg, wParam, lParam);
    }
}

void TFormConfigVestrand::OnCommand(int id, int code, HWND /*control*/) {
    switch (id) {
    case IDC_CFG_LISTBOXDIR:
        if (code == LBN_SELCHANGE)
            ListBoxDirClick();
        break;
    case IDC_CFG_DADD:
        if (code == BN_CLICKED)
            dAddClick();
        break;
    case IDC_CFG_DDELETE:
        if (code == BN_CLICKED)
            dDeleteClick();
        break;
    case IDC_CFG_LISTBOXFILE:
        if (code == LBN_SELCHANGE)
            ListBoxFileClick();
        break;
    case IDC_CFG_FADD:
        if (code == BN_CLICKED)
            fAddClick();
        break;
    case IDC_CFG_FDELETE:
        if (code == BN_CLICKED)
            fDeleteClick();
        break;
    default:
        break;
    }
}

LRESULT TFormConfigVestrand::OnNotify(const NMHDR* header) {
    if (header && header->hwndFrom == PageControl && header->code == TCN_SELCHANGE)
        ShowPage(static_cast<int>(::SendMessageA(PageControl, TCM_GETCURSEL, 0, 0)));
    return 0;
}

// ---- Handlers ----------------------------------------------------------------------------------

void TFormConfigVestrand::ListBoxDirClick() {
    const LRESULT n = ::SendMessageA(ListBoxDir, LB_GETCURSEL, 0, 0);
    if (n < 0)
        return;
    DirectoryEdit3.SetText(ListItem(ListBoxDir, static_cast<int>(n)));
    DirectoryEdit3.Tag = static_cast<int>(n);
}

void TFormConfigVestrand::dAddClick() {
    const std::string text = DirectoryEdit3.Text();
    if (text.empty() || DirectoryEdit3.Tag >= 0)
        return;
    ::SendMessageA(ListBoxDir, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    DirectoryEdit3.SetText("");
    DirectoryEdit3.Tag = -1;
}

void TFormConfigVestrand::dDeleteClick() {
    if (DirectoryEdit3.Tag < 0)
        return;
    ::SendMessageA(ListBoxDir, LB_DELETESTRING, static_cast<WPARAM>(DirectoryEdit3.Tag), 0);
    DirectoryEdit3.Tag = -1;
    DirectoryEdit3.SetText("");
}

void TFormConfigVestrand::DirectoryEdit3BeforeDialog(std::string& /*name*/) {
    DirectoryEdit3.Tag = -1;
}

void TFormConfigVestrand::ListBoxFileClick() {
    const LRESULT n = ::SendMessageA(ListBoxFile, LB_GETCURSEL, 0, 0);
    if (n < 0)
        return;
    FilenameEdit1.SetText(ListItem(ListBoxFile, static_cast<int>(n)));
    FilenameEdit1.Tag = static_cast<int>(n);
}

void TFormConfigVestrand::fAddClick() {
    const std::string text = FilenameEdit1.Text();
    if (text.empty() || FilenameEdit1.Tag >= 0)
        return;
    ::SendMessageA(ListBoxFile, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    FilenameEdit1.SetText("");
    FilenameEdit1.Tag = -1;
}

void TFormConfigVestrand::fDeleteClick() {
    if (FilenameEdit1.Tag < 0)
        return;
    ::SendMessageA(ListBoxFile, LB_DELETESTRING, static_cast<WPARAM>(FilenameEdit1.Tag), 0);
    FilenameEdit1.Tag = -1;
    FilenameEdit1.SetText("");
}

void TFormConfigVestrand::FilenameEdit1BeforeDialog(std::string& /*name*/) {
    FilenameEdit1.Tag = -1;
}

// ---- Opening and the modal wait ----------------------------------------------------------------

void TFormConfigVestrand::pmConfigClick(BackupSettings& settings, const std::string& iniPath) {
    if (!Handle())
        Create(::GetModuleHandleA(nullptr), nullptr);
    if (m_open) {
        BringToFront(); // never refilled under the user
        return;
    }
    FillList(ListBoxDir, settings.SourceDirs);   // 1
    FillList(ListBoxFile, settings.SourceFiles); // 2
    DirectoryEdit3.Tag = -1;                     // 3
    DirectoryEdit3.SetText("");
    FilenameEdit1.Tag = -1; // 4
    FilenameEdit1.SetText("");
    ShowPage(0);                   // 5
    RxSpinEdit1.SetMaxValue(1440); // 6 (MinValue 5)
    RxSpinEdit1.SetValue(settings.SaveMin);
    RxSpinEdit2.SetValue(settings.LowDriveSpaceMb);        // 7 (no range)
    ::SetWindowTextA(Edit1, settings.IdentifComp.c_str()); // 8
    DirectoryEdit1.SetText(settings.TargetDir);            // 9

    RunModal(); // 10

    // 11: however the dialog was closed, as the fields stand.
    settings.SaveMin = static_cast<int32_t>(RxSpinEdit1.Value());
    settings.LowDriveSpaceMb = RxSpinEdit2.Value();
    settings.IdentifComp = WindowText(Edit1);
    settings.TargetDir = DirectoryEdit1.Text();
    // 12
    SaveSettingsFromDialog(settings, ListItems(ListBoxDir), ListItems(ListBoxFile), iniPath);
}

void TFormConfigVestrand::RunModal() {
    if (!m_placed) {
        RECT rc;
        ::GetWindowRect(Handle(), &rc);
        const int w = rc.right - rc.left, h = rc.bottom - rc.top;
        ::SetWindowPos(Handle(), nullptr, (::GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                       (::GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        m_placed = true;
    }
    m_closeRequested = false;
    m_open = true;
    m_lastFocus = PageControl;

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

    bool quit = false;
    WPARAM quitCode = 0;
    MSG msg;
    while (!m_closeRequested) {
        const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            quit = true;
            quitCode = msg.wParam;
            break;
        }
        if (got == -1)
            break;
        bool used = false;
        try {
            used = PreTranslate(msg);
        } catch (...) {
            HandleException(std::current_exception());
        }
        if (!used) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
    if (quit)
        ::PostQuitMessage(static_cast<int>(quitCode)); // for the loop this wait runs in
}

bool TFormConfigVestrand::PreTranslate(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || !msg.hwnd || (msg.hwnd != Handle() && !::IsChild(Handle(), msg.hwnd)))
        return false;
    if (msg.wParam == VK_TAB) {
        if (::GetKeyState(VK_MENU) < 0)
            return false;
        const bool backwards = ::GetKeyState(VK_SHIFT) < 0;
        DialogControl current = DialogControl::PageControl;
        const bool known = ControlOf(::GetFocus(), current);
        if (::GetKeyState(VK_CONTROL) < 0) {
            const bool onPage = known && current != DialogControl::PageControl;
            ShowPage(NextPage(m_activePage, backwards));
            if (onPage)
                FocusControl(DialogTabOrder(m_activePage)[1]);
            return true;
        }
        const auto order = DialogTabOrder(m_activePage);
        FocusControl(known ? NextTabStop(order, current, backwards)
                           : (backwards ? order.back() : order.front()));
        return true;
    }
    if (msg.wParam == VK_RETURN) {
        const HWND focus = ::GetFocus();
        if (focus && (focus == dAdd || focus == dDelete || focus == fAdd || focus == fDelete)) {
            ::SendMessageA(focus, BM_CLICK, 0, 0);
            return true;
        }
    }
    return false;
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
