#include "ui/restore_form_win.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>

#include "engine/backup_index_win.h"
#include "engine/fileops_win.h"
#include "engine/restore_rules.h"
#include "runtime/cp1251.h"
#include "runtime/dpi_win.h"
#include "ui/browse_edit_win.h"
#include "ui/restore_texts.h"

namespace vestrand {
namespace {

constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;
// What the threads post to the window.
constexpr UINT kLoadedMessage = WM_APP + 20;
constexpr UINT kProgressMessage = WM_APP + 21;
constexpr UINT kDoneMessage = WM_APP + 22;
constexpr int kProgressSteps = 1000;
// A search that finds more than this shows the first ones: a tree of more says nothing to the eye.
constexpr size_t kMostFound = 2000;
constexpr const char* kStopText = "Стоп";
constexpr const char* kStopPassText = "Остановить копирование";

std::string ShownName(const std::wstring& name) {
    return JournalText(name); // what code page 1251 cannot hold as <U+XXXX>
}

std::string NameOf(const std::wstring& rel) {
    const size_t at = rel.rfind(L'\\');
    return ShownName(at == std::wstring::npos ? rel : rel.substr(at + 1));
}

// The user's documents, where a first «Восстановить в…» opens the picker.
std::string DocumentsFolder() {
    char path[MAX_PATH] = {};
    if (SUCCEEDED(::SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, 0, path)) &&
        IsFolder(std::string(path)))
        return path;
    return "C:\\";
}

bool Checked(HWND tree, HTREEITEM item) {
    const UINT state = static_cast<UINT>(
        ::SendMessageA(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_STATEIMAGEMASK));
    return (state >> 12) == 2;
}

HTREEITEM NextItem(HWND tree, HTREEITEM item, UINT how) {
    return reinterpret_cast<HTREEITEM>(
        ::SendMessageA(tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
}

std::string SummaryText(const RestoreSummary& s) {
    switch (s.outcome) {
    case RestoreOutcome::Busy:
        return "Идёт копирование: копия занята, ничего не восстановлено. Попробуйте, когда оно закончится.";
    case RestoreOutcome::Nothing:
        return "На этот момент в копии нет ничего из выбранного: ничего не восстановлено.";
    case RestoreOutcome::Error:
        return "Копию не удалось прочитать: " + s.error;
    case RestoreOutcome::Stopped:
    case RestoreOutcome::Done:
        break;
    }
    std::string text = s.outcome == RestoreOutcome::Stopped ? "Остановлено. " : "Готово. ";
    text += "Восстановлено файлов: " + std::to_string(s.restored);
    if (!s.beside.empty())
        text += ", из них рядом с другим файлом: " + std::to_string(s.beside.size());
    if (s.replaced > 0)
        text += ", заменено (прежние в ~versions): " + std::to_string(s.replaced);
    if (s.identical > 0)
        text += "; уже были на месте: " + std::to_string(s.identical);
    if (!s.failed.empty()) {
        text += "\r\nНе восстановлено: " + std::to_string(s.failed.size());
        for (const auto& f : s.failed)
            text += "\r\n" + ShownName(f.path) + " - " + f.reason;
    }
    return text;
}

} // namespace

TFormRestore::TFormRestore(RestoreFormHost host) : m_host(std::move(host)) {
    if (!m_host.clock)
        m_host.clock = &m_systemClock;
}

TFormRestore::~TFormRestore() {
    m_worker.Stop();
    m_worker.Wait();
    if (m_loader.joinable())
        m_loader.join();
}

void TFormRestore::Open(HWND owner) {
    Create(owner);
    if (!Handle())
        return;
    ::ShowWindow(Handle(), ::IsIconic(Handle()) ? SW_RESTORE : SW_SHOW);
    ::SetForegroundWindow(Handle());
    StartLoading();
}

void TFormRestore::Create(HWND owner) {
    if (Handle())
        return;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    HICON icon = owner ? reinterpret_cast<HICON>(::GetClassLongPtrA(owner, GCLP_HICON)) : nullptr;
    RegisterWindowClass(kClassName, 0, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), icon);
    if (!CreateWindowOf(kClassName, kFormExStyle, kFormStyle, "Восстановление", 0, 0, kClientWidth,
                        kClientHeight, owner, nullptr))
        return;
    SizeForItsDpi(Handle(), kClientWidth, kClientHeight, kFormStyle, kFormExStyle);
    CenterOnScreen(Handle());
    CreateControls();
}

void TFormRestore::CreateControls() {
    const HWND w = Handle();
    CreateControl("STATIC", "Моменты копии:", SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, 8, 8, 200, 13, w, 0);
    CreateControl("LISTBOX", "", WS_TABSTOP | WS_VSCROLL | WS_BORDER | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 0,
                  8, 26, 200, 326, w, kMomentsId);
    CreateControl("STATIC", "Найти:", SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, 216, 8, 44, 13, w, 0);
    CreateControl("EDIT", "", WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 0, 262, 5, 250, 19, w, kSearchId);
    const HWND tree = CreateControl(WC_TREEVIEWA, "",
                                    WS_TABSTOP | WS_BORDER | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                                        TVS_SHOWSELALWAYS,
                                    0, 216, 30, 296, 322, w, kTreeId);
    // Check boxes are switched on once the control exists, before it holds anything.
    ::SetWindowLongPtrA(tree, GWL_STYLE, ::GetWindowLongPtrA(tree, GWL_STYLE) | TVS_CHECKBOXES);
    const HWND progress = CreateControl(PROGRESS_CLASSA, "", 0, 0, 8, 360, 504, 14, w, kProgressId);
    ::SendMessageA(progress, PBM_SETRANGE32, 0, kProgressSteps);
    CreateControl("EDIT", "", ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL, WS_EX_STATICEDGE, 8,
                  378, 504, 26, w, kStatusId);
    CreateControl("BUTTON", "Восстановить", WS_TABSTOP | BS_PUSHBUTTON, 0, 8, 410, 110, 24, w, kRestoreId);
    CreateControl("BUTTON", "Восстановить в…", WS_TABSTOP | BS_PUSHBUTTON, 0, 124, 410, 120, 24, w,
                  kRestoreToId);
    CreateControl("BUTTON", "Восстановить с заменой", WS_TABSTOP | BS_PUSHBUTTON, 0, 250, 410, 160, 24, w,
                  kReplaceId);
    CreateControl("BUTTON", kStopText, WS_TABSTOP | BS_PUSHBUTTON, 0, 372, 410, 140, 24, w, kStopId);
    EnableActions();
}

void TFormRestore::StartLoading() {
    if (Restoring() || m_loading)
        return;
    if (m_loader.joinable())
        m_loader.join(); // it has posted its result already
    m_settings = m_host.settings ? m_host.settings() : BackupSettings{};
    m_loading = true;
    m_moments.clear();
    m_nodes.clear();
    ::SendMessageA(Item(kMomentsId), LB_RESETCONTENT, 0, 0);
    ::SendMessageA(Item(kTreeId), TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    SetStatus("Чтение истории…");
    EnableActions();
    const HWND hwnd = Handle();
    m_loader = std::thread([this, hwnd, settings = m_settings] {
        auto loaded = std::make_unique<LoadedHistory>(LoadHistory(settings));
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_pendingHistory = std::move(loaded);
        }
        ::PostMessageA(hwnd, kLoadedMessage, 0, 0);
    });
}

void TFormRestore::TakeLoaded() {
    if (m_loader.joinable())
        m_loader.join();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_pendingHistory)
            return;
        m_history = std::move(m_pendingHistory);
    }
    m_loading = false;
    if (!m_history->history) {
        SetStatus("Историю копии не удалось прочитать: " + m_history->error);
    } else {
        SetStatus("");
        ShowMoments();
        FillTree();
    }
    EnableActions();
}

// «Сейчас» first, then every pass that changed something, newest first.
void TFormRestore::ShowMoments() {
    const History& history = *m_history->history;
    m_moments = {history.Now()};
    const auto& all = history.Moments();
    for (auto it = all.rbegin(); it != all.rend(); ++it)
        if (it->Changed())
            m_moments.push_back(*it);
    const HWND list = Item(kMomentsId);
    for (size_t i = 0; i < m_moments.size(); ++i)
        ::SendMessageA(list, LB_ADDSTRING, 0,
                       reinterpret_cast<LPARAM>(MomentText(m_moments[i], i == 0, TimeSeparator()).c_str()));
    ::SendMessageA(list, LB_SETCURSEL, 0, 0);
}

HistoryMoment TFormRestore::ChosenMoment() const {
    const LRESULT at = ::SendMessageA(Item(kMomentsId), LB_GETCURSEL, 0, 0);
    if (at >= 0 && static_cast<size_t>(at) < m_moments.size())
        return m_moments[static_cast<size_t>(at)];
    return m_moments.empty() ? HistoryMoment{} : m_moments.front();
}

// The listed sources at the chosen moment under their own paths; with a search, the entries whose
// names hold the text, each under its own full path.
void TFormRestore::FillTree() {
    const HWND tree = Item(kTreeId);
    ::SendMessageA(tree, WM_SETREDRAW, FALSE, 0);
    ::SendMessageA(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    m_nodes.clear();
    if (m_history && m_history->history && !m_moments.empty()) {
        const History& history = *m_history->history;
        const HistoryMoment at = ChosenMoment();
        char search[260] = {};
        ::GetWindowTextA(Item(kSearchId), search, sizeof search);
        const auto originalOf = [this](const std::wstring& rel) {
            return OriginalPathOf(m_history->spots, rel, SameFileName);
        };
        if (search[0] != '\0') {
            size_t shown = 0;
            // A name code page 1251 cannot hold is typed as it is shown: <U+XXXX>.
            for (const auto& e : history.Find(at, PathOfJournalText(search))) {
                const auto original = originalOf(e.rel);
                if (!original)
                    continue;
                if (++shown > kMostFound) {
                    SetStatus("Найдено больше " + std::to_string(kMostFound) + ": уточните поиск.");
                    break;
                }
                AddItem(TVI_ROOT, e, ShownName(*original));
            }
        } else {
            std::vector<std::wstring> shown;
            for (const auto& spot : m_history->spots) {
                if (spot.role != SourceRole::Mirror)
                    continue;
                const std::wstring rel = spot.MirrorKey();
                const auto entry = history.Entry(at, rel);
                const auto original = originalOf(rel);
                if (!entry || !original || std::find(shown.begin(), shown.end(), rel) != shown.end())
                    continue;
                shown.push_back(rel);
                std::wstring label = *original;
                while (label.size() > 3 && label.back() == L'\\')
                    label.pop_back();
                AddItem(TVI_ROOT, *entry, ShownName(label));
            }
        }
    }
    ::SendMessageA(tree, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(tree, nullptr, TRUE);
}

// An item for `entry`: a folder shows a button and gets what it holds when first expanded; a file
// shows its size and time.
HTREEITEM TFormRestore::AddItem(HTREEITEM parent, const HistoryEntry& entry, const std::string& label) {
    const bool folder = entry.IsFolder();
    std::string text = label;
    if (!folder)
        text += "    " + SizeText(entry.param.Size) + "    " +
                DosStampText(static_cast<uint32_t>(entry.param.Time), TimeSeparator());
    m_nodes.push_back({entry.rel, folder, false});
    TVINSERTSTRUCTA insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN;
    insert.item.pszText = text.data();
    insert.item.lParam = static_cast<LPARAM>(m_nodes.size() - 1);
    insert.item.cChildren = folder ? 1 : 0;
    return reinterpret_cast<HTREEITEM>(
        ::SendMessageA(Item(kTreeId), TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

void TFormRestore::FillFolder(HTREEITEM item) {
    TVITEMA tv{};
    tv.mask = TVIF_PARAM;
    tv.hItem = item;
    if (!::SendMessageA(Item(kTreeId), TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tv)) ||
        static_cast<size_t>(tv.lParam) >= m_nodes.size() || !m_history || !m_history->history)
        return;
    const size_t index = static_cast<size_t>(tv.lParam);
    if (m_nodes[index].filled || !m_nodes[index].folder)
        return;
    m_nodes[index].filled = true;
    const bool checked = Checked(Item(kTreeId), item);
    // m_nodes grows below: the folder's path is copied first.
    const std::wstring rel = m_nodes[index].rel;
    const auto entries = m_history->history->Folder(ChosenMoment(), rel);
    for (const auto& e : entries) {
        const HTREEITEM child = AddItem(item, e, NameOf(e.rel));
        if (checked) { // what a checked folder holds comes back with it
            TVITEMA state{};
            state.mask = TVIF_STATE;
            state.hItem = child;
            state.state = INDEXTOSTATEIMAGEMASK(2);
            state.stateMask = TVIS_STATEIMAGEMASK;
            ::SendMessageA(Item(kTreeId), TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&state));
        }
    }
    if (entries.empty()) {
        tv.mask = TVIF_CHILDREN;
        tv.cChildren = 0;
        ::SendMessageA(Item(kTreeId), TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&tv));
    }
}

// The checked entries (a checked folder stands for all it holds); none checked: the selected one.
std::vector<std::wstring> TFormRestore::SelectedRels() const {
    std::vector<std::wstring> rels;
    const HWND tree = Item(kTreeId);
    CollectChecked(NextItem(tree, nullptr, TVGN_ROOT), rels);
    if (rels.empty())
        if (const HTREEITEM caret = NextItem(tree, nullptr, TVGN_CARET)) {
            TVITEMA tv{};
            tv.mask = TVIF_PARAM;
            tv.hItem = caret;
            if (::SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tv)) &&
                static_cast<size_t>(tv.lParam) < m_nodes.size())
                rels.push_back(m_nodes[static_cast<size_t>(tv.lParam)].rel);
        }
    return rels;
}

void TFormRestore::CollectChecked(HTREEITEM first, std::vector<std::wstring>& out) const {
    const HWND tree = Item(kTreeId);
    for (HTREEITEM item = first; item; item = NextItem(tree, item, TVGN_NEXT)) {
        TVITEMA tv{};
        tv.mask = TVIF_PARAM;
        tv.hItem = item;
        if (!::SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tv)) ||
            static_cast<size_t>(tv.lParam) >= m_nodes.size())
            continue;
        if (Checked(tree, item))
            out.push_back(m_nodes[static_cast<size_t>(tv.lParam)].rel);
        else
            CollectChecked(NextItem(tree, item, TVGN_CHILD), out);
    }
}

// While a pass runs nothing is restored: the window says so and offers to stop the pass.
bool TFormRestore::PassStandsInTheWay() {
    if (!m_host.passRunning || !m_host.passRunning())
        return false;
    m_offerStopPass = true;
    SetStatus("Идёт копирование… Пока оно идёт, восстановить нельзя: его можно остановить кнопкой «" +
              std::string(kStopPassText) + "».");
    EnableActions();
    return true;
}

void TFormRestore::StartRestore(bool chooseFolder, bool replace) {
    if (Restoring() || m_loading || !m_history || !m_history->history || PassStandsInTheWay())
        return;
    RestoreRequest request;
    request.rels = SelectedRels();
    if (request.rels.empty()) {
        SetStatus("Отметьте файлы или папки, которые нужно вернуть.");
        return;
    }
    if (chooseFolder) {
        // The picker opens at a folder that exists: the one chosen last, else the user's documents.
        const std::string start = IsFolder(m_pickerStart) ? m_pickerStart : DocumentsFolder();
        std::wstring chosen;
        if (!BrowseForFolder(Handle(), start, chosen))
            return;
        m_pickerStart = JournalText(chosen);
        request.destination = chosen;
    }
    request.moment = ChosenMoment();
    request.replace = replace;
    const HWND hwnd = Handle();
    request.onProgress = [this, hwnd](int64_t done, int64_t total) {
        m_done = done;
        m_total = total;
        if (!m_progressPosted.exchange(true)) // one message on its way at a time
            ::PostMessageA(hwnd, kProgressMessage, 0, 0);
    };
    m_done = 0;
    m_total = 0;
    m_startTick = ::GetTickCount();
    ::SendMessageA(Item(kProgressId), PBM_SETPOS, 0, 0);
    m_restoring = true;
    m_signatureRestored = m_history->signature;
    const bool started = m_worker.Start(m_settings, *m_history, std::move(request), m_host.clock->Now(),
                                        [this, hwnd](const RestoreSummary& summary) {
                                            {
                                                std::lock_guard<std::mutex> lock(m_mutex);
                                                m_pendingSummary = summary;
                                            }
                                            ::PostMessageA(hwnd, kDoneMessage, 0, 0);
                                        });
    m_restoring = started;
    SetStatus(started ? "Восстановление…" : "");
    EnableActions();
}

void TFormRestore::ShowProgress() {
    m_progressPosted = false;
    const int64_t done = m_done, total = m_total;
    const int position = total > 0 ? static_cast<int>(done * kProgressSteps / total) : 0;
    ::SendMessageA(Item(kProgressId), PBM_SETPOS, static_cast<WPARAM>(position), 0);
    const std::string left = TimeLeftText(done, total, (::GetTickCount() - m_startTick) / 1000.0);
    SetStatus("Восстановление: " + SizeText(done) + " из " + SizeText(total) +
              (left.empty() ? "" : ", " + left));
}

void TFormRestore::RestoreEnded() {
    m_worker.Wait();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_summary = m_pendingSummary;
    }
    m_restoring = false;
    if (m_history->signature != m_signatureRestored && m_history->history) {
        // A pass had been at work: the restore read the history again. The moments follow it, the
        // one chosen kept where it is still offered.
        const HistoryMoment chosen = ChosenMoment();
        const bool wasNow = ::SendMessageA(Item(kMomentsId), LB_GETCURSEL, 0, 0) <= 0;
        ::SendMessageA(Item(kMomentsId), LB_RESETCONTENT, 0, 0);
        ShowMoments();
        for (size_t i = 1; i < m_moments.size() && !wasNow; ++i)
            if (m_moments[i].start == chosen.start && m_moments[i].stop == chosen.stop)
                ::SendMessageA(Item(kMomentsId), LB_SETCURSEL, i, 0);
        FillTree();
    }
    if (m_summary.outcome == RestoreOutcome::Done)
        ::SendMessageA(Item(kProgressId), PBM_SETPOS, kProgressSteps, 0);
    SetStatus(SummaryText(m_summary));
    EnableActions();
}

void TFormRestore::SetStatus(const std::string& text) {
    m_status = text;
    ::SetWindowTextA(Item(kStatusId), text.c_str());
}

void TFormRestore::EnableActions() {
    const bool ready = !Restoring() && !m_loading && m_history && m_history->history;
    for (const int id : {kRestoreId, kRestoreToId, kReplaceId})
        ::EnableWindow(Item(id), ready);
    ::SetWindowTextA(Item(kStopId), m_offerStopPass ? kStopPassText : kStopText);
    ::EnableWindow(Item(kStopId), Restoring() || m_offerStopPass);
    // The restore's thread may read the history again: nothing here reads it meanwhile.
    for (const int id : {kMomentsId, kSearchId, kTreeId})
        ::EnableWindow(Item(id), !Restoring());
}

void TFormRestore::OnDpiChanged(int dpi, LPARAM suggested) {
    MoveToSuggestedRect(Handle(), suggested);
    RescaleChildren(Handle(), dpi);
    ::InvalidateRect(Handle(), nullptr, TRUE);
}

void TFormRestore::OnCommand(int id, int code, HWND /*control*/) {
    switch (id) {
    case kMomentsId:
        if (code == LBN_SELCHANGE)
            FillTree();
        break;
    case kSearchId:
        if (code == EN_CHANGE)
            FillTree();
        break;
    case kRestoreId:
    case kRestoreToId:
    case kReplaceId:
        if (code == BN_CLICKED)
            StartRestore(id == kRestoreToId, id == kReplaceId);
        break;
    case kStopId:
        if (code != BN_CLICKED)
            break;
        if (m_offerStopPass) {
            // The main window's own way of stopping a pass.
            m_offerStopPass = false;
            if (m_host.stopPass)
                m_host.stopPass();
            SetStatus("Копирование останавливается: восстановить можно, когда оно закончится.");
            EnableActions();
        } else {
            m_worker.Stop();
        }
        break;
    default:
        break;
    }
}

LRESULT TFormRestore::OnNotify(const NMHDR* header) {
    if (header && header->idFrom == kTreeId &&
        (header->code == TVN_ITEMEXPANDINGA || header->code == TVN_ITEMEXPANDINGW)) {
        const auto* tv = reinterpret_cast<const NMTREEVIEWA*>(header);
        if (tv->action & TVE_EXPAND)
            FillFolder(tv->itemNew.hItem);
    }
    return 0;
}

LRESULT TFormRestore::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CLOSE:
        // Hidden, not destroyed: a restore under way goes on and is seen again when reopened.
        ::ShowWindow(Handle(), SW_HIDE);
        return 0;
    case kLoadedMessage:
        TakeLoaded();
        return 0;
    case kProgressMessage:
        if (Restoring())
            ShowProgress();
        return 0;
    case kDoneMessage:
        RestoreEnded();
        return 0;
    case WM_DPICHANGED:
        OnDpiChanged(LOWORD(wParam), lParam);
        return 0;
    default:
        return Window::HandleMessage(msg, wParam, lParam);
    }
}

} // namespace vestrand
