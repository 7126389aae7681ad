#include "ui/browse_edit_win.h"

#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>

#include "engine/fileops_win.h"
#include "runtime/handles_win.h"

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

// ---- BrowseEdit --------------------------------------------------------------------------------

void BrowseEdit::Create(HWND parent, int id, int x, int y, int width, int height, HFONT font, bool readOnly) {
    CreateField(parent, id, x, y, width, height, readOnly ? ES_READONLY : 0, font, kButtonWidth);
}

void BrowseEdit::Browse() {
    if (!Handle() || ReadOnly())
        return;
    RunPicker();
}

LRESULT BrowseEdit::EditMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CHAR: {
        const auto ch = static_cast<unsigned char>(wParam);
        if (ch == '\r' || ch == 0x1B || ch == '\t')
            return 0; // dialog keys: the dialog has no default or cancel button
        break;
    }
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
    GdiObject pen(::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_BTNTEXT)));
    GdiObject fill(::CreateSolidBrush(RGB(255, 255, 160)));
    SelectGuard selectPen(dc, pen.Get());
    SelectGuard selectBrush(dc, fill.Get());
    ::Rectangle(dc, cx - 5, cy - 3, cx - 1, cy - 1);
    ::Rectangle(dc, cx - 5, cy - 2, cx + 5, cy + 5);
}

// ---- DirectoryEdit -----------------------------------------------------------------------------

namespace {

void CenterOnScreen(HWND hwnd) {
    RECT rc;
    if (!::GetWindowRect(hwnd, &rc))
        return;
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    ::SetWindowPos(hwnd, nullptr, (::GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                   (::GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::string FullPath(const std::string& path) {
    char buffer[MAX_PATH * 2];
    const DWORD n = ::GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : path;
}

int CALLBACK BrowseCallback(HWND hwnd, UINT msg, LPARAM lParam, LPARAM data) {
    switch (msg) {
    case BFFM_INITIALIZED:
        CenterOnScreen(hwnd);
        ::SendMessageA(hwnd, BFFM_SETSELECTIONA, TRUE, data);
        break;
    case BFFM_SELCHANGED: {
        char path[MAX_PATH] = {};
        const bool folder = lParam &&
                            ::SHGetPathFromIDListA(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam), path) &&
                            IsFolder(path);
        ::SendMessageA(hwnd, BFFM_ENABLEOK, 0, folder ? 1 : 0);
        break;
    }
    default:
        break;
    }
    return 0;
}

bool BrowseForFolder(HWND owner, const std::string& start, std::string& chosen) {
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::string selection = FullPath(start);
    char displayName[MAX_PATH] = {};
    BROWSEINFOA info{};
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
        if (PIDLIST_ABSOLUTE pidl = ::SHBrowseForFolderA(&info)) {
            char path[MAX_PATH] = {};
            ok = ::SHGetPathFromIDListA(pidl, path) && path[0] != '\0';
            if (ok)
                chosen = path;
            ::CoTaskMemFree(pidl);
        }
    }
    if (SUCCEEDED(com))
        ::CoUninitialize();
    return ok;
}

} // namespace

void DirectoryEdit::RunPicker() {
    std::string start = Text();
    if (OnBeforeDialog)
        OnBeforeDialog(start);
    start = FolderBrowseStart(start, m_remembered, [](const std::string& p) { return IsFolder(p); });
    std::string chosen;
    const bool ok = BrowseForFolder(::GetAncestor(Handle(), GA_ROOT), start, chosen);
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

bool OpenFileDialog(HWND owner, const FileDialogState& state, std::string& chosen) {
    std::vector<char> file(kFileBufferSize, '\0');
    std::copy_n(state.fileName.begin(), std::min<size_t>(state.fileName.size(), kFileBufferSize - 1),
                file.begin());
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = kAllFilesFilter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = kFileBufferSize;
    ofn.lpstrInitialDir = state.initialDir.empty() ? nullptr : state.initialDir.c_str();
    ofn.lpstrTitle = "Список";
    // The program's current folder is left alone: "\" keeps meaning the same drive root.
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_NOCHANGEDIR;
    PickerScope scope;
    if (!::GetOpenFileNameA(&ofn))
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
    std::string chosen;
    const bool ok = OpenFileDialog(::GetAncestor(Handle(), GA_ROOT), m_state, chosen);
    if (Handle())
        ::SetFocus(Handle());
    if (ok) {
        SetText(chosen);
        AcceptFileDialogChoice(m_state, chosen);
    }
}

} // namespace vestrand
