#include "ui/browse_edit_win.h"

#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>

#include "engine/fileops_win.h"
#include "runtime/cp1251.h"
#include "runtime/cp1251_win.h"
#include "runtime/handles_win.h"
#include "runtime/window_win.h"

namespace vestrand {

// ---- Picker environment ------------------------------------------------------------------------

ThreadWindowsDisabler::ThreadWindowsDisabler(HWND except) {
    struct Context {
        HWND except;
        std::vector<HWND>* list;
    } context{except, &m_disabled};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hwnd, LPARAM data) -> BOOL {
            auto* c = reinterpret_cast<Context*>(data);
            if (hwnd != c->except && ::IsWindowVisible(hwnd) && ::IsWindowEnabled(hwnd))
                c->list->push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&context));
    for (HWND hwnd : m_disabled)
        ::EnableWindow(hwnd, FALSE);
}

ThreadWindowsDisabler::~ThreadWindowsDisabler() {
    Restore();
}

void ThreadWindowsDisabler::Restore() {
    for (auto it = m_disabled.rbegin(); it != m_disabled.rend(); ++it)
        if (::IsWindow(*it))
            ::EnableWindow(*it, TRUE);
    m_disabled.clear();
}

PickerScope::PickerScope()
    : m_active(::GetActiveWindow()), m_errorMode(::SetErrorMode(SEM_FAILCRITICALERRORS)) {
    ::SetErrorMode(m_errorMode | SEM_FAILCRITICALERRORS);
}

PickerScope::~PickerScope() {
    m_disabler.Restore();
    ::SetErrorMode(m_errorMode);
    if (m_active && ::IsWindow(m_active))
        ::SetActiveWindow(m_active);
}

// ---- Paths and patterns the settings can hold ----------------------------------------------------

std::wstring RefusalText(EntryKind kind, const std::wstring& wide) {
    const char* const what = kind == EntryKind::Pattern ? "Шаблон" : "Путь";
    return WidenCp1251(std::string(what) + " содержит символы, которых нет в кодировке Windows-1251: ") +
           wide;
}

bool AcceptEntry(HWND owner, EntryKind kind, const std::wstring& wide, std::string& text) {
    bool exact = false;
    std::string narrow = NarrowCp1251(wide, &exact);
    if (exact || wide.empty()) {
        text = std::move(narrow);
        return true;
    }
    ::MessageBoxW(owner, RefusalText(kind, wide).c_str(), WidenCp1251(ApplicationTitle()).c_str(),
                  MB_OK | MB_ICONWARNING);
    return false;
}

// ---- BrowseEdit --------------------------------------------------------------------------------

void BrowseEdit::Create(HWND parent, int id, int x, int y, int width, int height, bool readOnly) {
    CreateField(parent, id, x, y, width, height, readOnly ? ES_READONLY : 0, kButtonWidth);
}

void BrowseEdit::Browse() {
    if (!Handle() || ReadOnly())
        return;
    RunPicker();
}

LRESULT BrowseEdit::EditMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SYSKEYDOWN:
        if (wParam == VK_DOWN && (lParam & (1 << 29))) {
            Browse();
            return 0;
        }
        break;
    case WM_KEYDOWN:
        if (wParam == VK_DOWN && ::GetKeyState(VK_MENU) < 0) {
            Browse();
            return 0;
        }
        break;
    default:
        break;
    }
    return CallEdit(msg, wParam, lParam);
}

void BrowseEdit::ButtonMouse(UINT msg, int x, int y) {
    RECT rc{};
    ::GetClientRect(ButtonHandle(), &rc);
    const POINT pt{x, y};
    switch (msg) {
    case WM_LBUTTONDOWN:
        m_down = true;
        m_over = true;
        ::SetCapture(ButtonHandle());
        RepaintButton();
        return;
    case WM_MOUSEMOVE:
        if (m_down && m_over != (::PtInRect(&rc, pt) != FALSE)) {
            m_over = !m_over;
            RepaintButton();
        }
        return;
    case WM_LBUTTONUP: {
        if (!m_down)
            return;
        const bool click = ::PtInRect(&rc, pt) != FALSE;
        m_down = false;
        m_over = false;
        if (::GetCapture() == ButtonHandle())
            ::ReleaseCapture();
        RepaintButton();
        if (click)
            Browse();
        return;
    }
    default:
        return;
    }
}

void BrowseEdit::ButtonCaptureLost() {
    if (m_down) {
        m_down = false;
        m_over = false;
        RepaintButton();
    }
}

void BrowseEdit::PaintButton(HDC dc, const RECT& area) {
    RECT rc = area;
    const bool pushed = m_down && m_over;
    ::DrawFrameControl(dc, &rc, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
    // A small folder.
    const int shift = pushed ? 1 : 0;
    const int cx = (area.left + area.right) / 2 + shift;
    const int cy = (area.top + area.bottom) / 2 + shift;
    // Drawn for a button 17 pixels wide, scaled to the button's width.
    const int width = area.right - area.left;
    const auto s = [width](int v) { return ::MulDiv(v, width, kButtonWidth); };
    GdiObject pen(::CreatePen(PS_SOLID, std::max(1, s(1)), ::GetSysColor(COLOR_BTNTEXT)));
    GdiObject fill(::CreateSolidBrush(RGB(255, 255, 160)));
    SelectGuard selectPen(dc, pen.Get());
    SelectGuard selectBrush(dc, fill.Get());
    ::Rectangle(dc, cx - s(5), cy - s(3), cx - s(1), cy - s(1));
    ::Rectangle(dc, cx - s(5), cy - s(2), cx + s(5), cy + s(5));
}

// ---- DirectoryEdit -----------------------------------------------------------------------------

namespace {

int CALLBACK BrowseCallback(HWND hwnd, UINT msg, LPARAM lParam, LPARAM data) {
    switch (msg) {
    case BFFM_INITIALIZED:
        CenterOnScreen(hwnd);
        ::SendMessageW(hwnd, BFFM_SETSELECTIONW, TRUE, data);
        break;
    case BFFM_SELCHANGED: {
        wchar_t path[MAX_PATH] = {};
        const bool folder = lParam &&
                            ::SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam), path) &&
                            IsFolder(std::wstring(path));
        ::SendMessageA(hwnd, BFFM_ENABLEOK, 0, folder ? 1 : 0);
        break;
    }
    default:
        break;
    }
    return 0;
}

} // namespace

bool BrowseForFolder(HWND owner, const std::string& start, std::wstring& chosen) {
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::wstring selection = FullPath(WidenCp1251(start));
    wchar_t displayName[MAX_PATH] = {};
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.pidlRoot = nullptr; // the desktop
    info.pszDisplayName = displayName;
    info.lpszTitle = nullptr;
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = &BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(selection.c_str());
    bool ok = false;
    {
        PickerScope scope;
        if (PIDLIST_ABSOLUTE pidl = ::SHBrowseForFolderW(&info)) {
            wchar_t path[MAX_PATH] = {};
            ok = ::SHGetPathFromIDListW(pidl, path) && path[0] != L'\0';
            if (ok)
                chosen = path;
            ::CoTaskMemFree(pidl);
        }
    }
    if (SUCCEEDED(com))
        ::CoUninitialize();
    return ok;
}

void DirectoryEdit::RunPicker() {
    std::string start = Text();
    if (OnBeforeDialog)
        OnBeforeDialog(start);
    start = FolderBrowseStart(start, m_remembered, [](const std::string& p) { return IsFolder(p); });
    const HWND owner = ::GetAncestor(Handle(), GA_ROOT);
    std::wstring picked;
    std::string chosen;
    const bool ok = BrowseForFolder(owner, start, picked) && AcceptPath(owner, picked, chosen);
    if (Handle())
        ::SetFocus(Handle());
    if (ok) {
        const std::string text = FolderChoiceText(chosen);
        SetText(text);
        m_remembered = text;
    }
}

// ---- FilenameEdit ------------------------------------------------------------------------------

namespace {

// A file, not a folder and not a search pattern matching one.
bool NamesExistingFile(const std::string& path) {
    if (path.find_first_of("*?") != std::string::npos)
        return false;
    const DWORD attr = ::GetFileAttributesA(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

constexpr DWORD kFileBufferSize = 4096;
constexpr char kAllFilesFilter[] = "Все файлы (*.*)\0*.*\0";

bool OpenFileDialog(HWND owner, const FileDialogState& state, std::wstring& chosen) {
    const std::wstring name = WidenCp1251(state.fileName);
    const std::wstring initialDir = WidenCp1251(state.initialDir);
    const std::wstring filter = WidenCp1251(std::string(kAllFilesFilter, sizeof kAllFilesFilter));
    const std::wstring title = WidenCp1251("Список");
    std::vector<wchar_t> file(kFileBufferSize, L'\0');
    std::copy_n(name.begin(), std::min<size_t>(name.size(), kFileBufferSize - 1), file.begin());
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = kFileBufferSize;
    ofn.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
    ofn.lpstrTitle = title.c_str();
    // The program's current folder is left alone: "\" keeps meaning the same drive root.
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_NOCHANGEDIR;
    PickerScope scope;
    if (!::GetOpenFileNameW(&ofn))
        return false;
    chosen = file.data();
    return !chosen.empty();
}

} // namespace

void FilenameEdit::RunPicker() {
    std::string start = FileFieldStartText(Text(), NamesExistingFile);
    if (OnBeforeDialog)
        OnBeforeDialog(start);
    PrepareFileDialog(m_state, start, [](const std::string& p) { return IsFolder(p); });
    const HWND owner = ::GetAncestor(Handle(), GA_ROOT);
    std::wstring picked;
    std::string chosen;
    const bool ok = OpenFileDialog(owner, m_state, picked) && AcceptPath(owner, picked, chosen);
    if (Handle())
        ::SetFocus(Handle());
    if (ok) {
        SetText(chosen);
        AcceptFileDialogChoice(m_state, chosen);
    }
}

} // namespace vestrand
