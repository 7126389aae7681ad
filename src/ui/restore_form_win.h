// The window «Восстановление»: the moments the backup can go back to, the listed sources as the
// backup held them at the chosen one, and files and folders brought back from there to their own
// places or into a chosen folder. Modeless: the history is read and the restore runs on threads of
// their own, which report to the window by posted messages.
#pragma once
#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/backup_settings.h"
#include "engine/restore_win.h"
#include "runtime/datetime.h"
#include "runtime/platform_win.h"
#include "runtime/window_win.h"

namespace vestrand {

// What the window asks of the program around it.
struct RestoreFormHost {
    std::function<BackupSettings()> settings; // the settings in force
    std::function<bool()> passRunning;
    std::function<void()> stopPass;
    IClock* clock = nullptr;
};

class TFormRestore final : public Window {
public:
    static constexpr const char* kClassName = "TFormRestore";
    static constexpr int kClientWidth = 520;
    static constexpr int kClientHeight = 440;
    enum : int {
        kMomentsId = 301,
        kSearchId,
        kTreeId,
        kProgressId,
        kStatusId,
        kRestoreId,
        kRestoreToId,
        kReplaceId,
        kStopId,
    };

    explicit TFormRestore(RestoreFormHost host);
    ~TFormRestore() override;

    // Shows the window (made at the first call) and reads the history anew unless a restore runs.
    void Open(HWND owner);
    bool Loading() const { return m_loading; }
    bool Restoring() const { return m_worker.Running() || m_restoring; }
    HWND Item(int id) const { return ::GetDlgItem(Handle(), id); }
    // Where «Восстановить в…» opens the picker: the folder chosen last, else this one.
    void SetPickerStart(const std::string& folder) { m_pickerStart = folder; }
    const RestoreSummary& LastSummary() const { return m_summary; }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(int id, int code, HWND control) override;
    LRESULT OnNotify(const NMHDR* header) override;

private:
    struct Node {
        std::wstring rel; // relative to the mirror folder
        bool folder = false;
        bool filled = false; // its children are in the tree
    };

    void Create(HWND owner);
    void CreateControls();
    void StartLoading();
    void TakeLoaded();
    void ShowMoments();
    HistoryMoment ChosenMoment() const;
    void FillTree();
    HTREEITEM AddItem(HTREEITEM parent, const HistoryEntry& entry, const std::string& label);
    void FillFolder(HTREEITEM item);
    std::vector<std::wstring> SelectedRels() const;
    void CollectChecked(HTREEITEM first, std::vector<std::wstring>& out) const;
    void StartRestore(bool chooseFolder, bool replace);
    bool PassStandsInTheWay();
    void ShowProgress();
    void RestoreEnded();
    void SetStatus(const std::string& text);
    void EnableActions();
    void OnDpiChanged(int dpi, LPARAM suggested);

    RestoreFormHost m_host;
    SystemClock m_systemClock;
    BackupSettings m_settings; // as they were when the history was read
    std::unique_ptr<LoadedHistory> m_history;
    std::thread m_loader;
    std::mutex m_mutex; // guards what the threads leave for the window
    std::unique_ptr<LoadedHistory> m_pendingHistory;
    bool m_loading = false;
    std::vector<HistoryMoment> m_moments; // as listed, "now" first
    std::vector<Node> m_nodes;            // each tree item's lParam is its index here
    RestoreWorker m_worker;
    bool m_restoring = false; // until the window has taken the summary
    bool m_offerStopPass = false;
    std::atomic<int64_t> m_done{0}, m_total{0};
    std::atomic<bool> m_progressPosted{false};
    DWORD m_startTick = 0;
    RestoreSummary m_summary;
    std::wstring m_signatureRestored; // of the history the restore started from
    RestoreSummary m_pendingSummary;  // left by the restore's thread (under m_mutex)
    std::string m_pickerStart;
    std::string m_status;
};

} // namespace vestrand
