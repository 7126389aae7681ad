// The main window: the next-run label, the gauge and the "Сейчас" button, the tray icon with its
// menu, and the program-wide state - the settings, the schedule and the start-up flags.
#pragma once
#include <memory>
#include <string>

#include "engine/backup_settings.h"
#include "engine/pass_host.h"
#include "runtime/platform_win.h"
#include "runtime/window_win.h"
#include "settings/schedule_win.h"
#include "settings/pass_runner_win.h"
#include "settings/startup_win.h"
#include "ui/gauge_win.h"
#include "ui/journal_view_win.h"
#include "ui/overdue.h"
#include "ui/pass_notices.h"
#include "ui/tray_icon_win.h"

namespace vestrand {

class TFormConfigVestrand;
class TFormRestore;

// Where the program's outside world comes from; tests give their own.
struct StartOptions {
    std::string commandLine;    // GetCommandLineA
    std::string executablePath; // the autostart entry's value
    std::string iniPath;        // the settings file
    std::string registryKey = kScheduleKey;
    IClock* clock = nullptr; // the system clock when none is given
    OpenFileFn openFile;     // «Журнал» opens its copy so; ShellExecute "open" when none is given
    std::string tempFolder;  // where «Журнал» puts its copy; the user's temporary folder when empty
    bool endMessageLoopOnClose = true;
};

inline constexpr const char* kAppTitle = "Страховой полис";

class TFormVestrand final : public Window, public IBackupDisplay, public ITimerSwitch {
public:
    static constexpr const char* kClassName = "TFormVestrand";
    static constexpr int kClientWidth = 302;
    static constexpr int kClientHeight = 103;
    static constexpr UINT_PTR kTimerId = 1;
    static constexpr UINT kTimerInterval = 10000;
    // A one-shot run that shows a balloon ends this long after it, so that the balloon is seen.
    static constexpr UINT_PTR kEndTimerId = 2;
    static constexpr UINT kBalloonLinger = 4000;
    enum : int {
        kBtnGoId = 201,
        kPmCenter = 101,
        kPmConfig = 102,
        kPmExit = 103,
        kPmStop = 104,
        kPmAllow = 105,
        kPmJournal = 106,
        kPmRestore = 107,
        kBtnRestoreId = 202
    };
    // A click on "Остановить" this soon after a click on "Сейчас" started the pass is the second
    // click of a double click, not a stop (a pass started otherwise stops at every click).
    static constexpr DWORD kStopGuardMs = 500;
    // How long the end of the session waits for a stopped pass to save its journal.
    static constexpr DWORD kEndSessionWaitMs = 4500;

    explicit TFormVestrand(StartOptions options);
    ~TFormVestrand() override;

    // Creates the window hidden and runs the creation sequence, then creates the settings dialog.
    void Create();
    // The first show, at the centre of the screen; its first paint hides the window again.
    void ShowAtStart();

    // Handlers.
    void FormCreate();
    void FormPaint();
    void FormClose();
    void RxTrayDblClick();
    void AppEventsMinimize();
    void AppEventsRestore();
    void pmExitClick();
    void pmConfigClick();
    void BtnGoClick();
    void pmStopClick();
    void pmAllowClick();
    void pmJournalClick();
    // «Восстановить…»: the restore window, made at the first call.
    void pmRestoreClick();
    void TimerTimer();
    // Waits (dispatching the pass's calls) until the running pass has ended and been reported.
    void WaitForPass() { m_runner.WaitForEnd(); }

    // The display operations of the pass and the schedule.
    void SetBusyCursor(bool busy) override;
    void SetTrayHint(const std::string& hint) override;
    void SetNextTimeText(const std::string& text) override;
    void SetGaugeMax(int32_t value) override;
    void SetGaugeMin(int32_t value) override;
    void SetGaugeProgress(int32_t value) override;

    void SetTimerEnabled(bool enabled) override;

    // State, as the program and its tests see it.
    const BackupSettings& Settings() const { return m_settings; }
    const Schedule& GetSchedule() const { return m_schedule; }
    TRxTrayIcon& Tray() { return m_tray; }
    TGauge& Gauge() { return m_gauge; }
    TFormConfigVestrand& ConfigForm() { return *m_config; }
    HWND Label1() const { return m_label1; }
    HWND NextTime() const { return m_nextTime; }
    HWND LastCopy() const { return m_lastCopy; }
    bool Overdue() const { return m_overdue; }
    HWND BtnGo() const { return m_btnGo; }
    HWND BtnRestore() const { return m_btnRestore; }
    TFormRestore* RestoreForm() { return m_restore.get(); }
    bool TimerEnabled() const { return m_timerOn; }
    bool AutoRunOnce() const { return m_autoRunOnce; }
    bool FirstPaintPending() const { return m_firstPaintPending; }
    bool FormVisible() const { return m_formVisible; }
    bool AppMinimized() const { return m_appMinimized; }
    bool PassRunning() const { return m_runner.Running(); }
    PassRunner& Runner() { return m_runner; }
    // The exit status of the process: that of the one-shot pass under START, 0 otherwise.
    int ExitCode() const { return m_exitCode; }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(int id, int code, HWND control) override;
    void OnTimer(UINT_PTR id) override;

private:
    void CreateWidgets();
    // The window's own icons and the tray's at the sizes the system asks for at `dpi`.
    void LoadIcons(int dpi);
    // WM_DPICHANGED: the suggested place, then every box and font at the new scale.
    void OnDpiChanged(int dpi, LPARAM suggested);
    void OnMenuItem(int id);
    void CloseWhenIdle();
    void StartPass(bool byButton);
    void StartPass(bool byButton, bool confirmed);
    void ShowWhetherPaused();
    void NoteHowThePassEnded();
    void ShowState();
    void ShowStatusText(const std::string& text);
    void PlaceBelowStatus(int extra);
    void PassEnded();
    bool TellHowThePassWent();

    StartOptions m_options;
    SystemClock m_systemClock;
    IClock& m_clock;
    BackupSettings m_settings;
    Schedule m_schedule;
    PassRunner m_runner;
    TRxTrayIcon m_tray;
    TGauge m_gauge;
    std::unique_ptr<TFormConfigVestrand> m_config;
    HICON m_icon = nullptr; // the class's icon, and the tray's where no icon of the tray's size loads
    IconHandle m_bigIcon;   // the window's icons at its scale
    IconHandle m_smallIcon;
    IconHandle m_trayIcon;    // at the notification area's size
    IconHandle m_workingIcon; // shown in the tray while a pass works
    IconHandle m_warningIcon; // shown in the tray while passes are paused by the guard or overdue
    HWND m_label1 = nullptr;
    int m_statusExtra = 0; // how far a status of more than one line pushed what lies below
    HWND m_nextTime = nullptr;
    HWND m_lastCopy = nullptr; // the last complete pass, under the next run
    HWND m_btnGo = nullptr;
    HWND m_btnRestore = nullptr;
    std::unique_ptr<TFormRestore> m_restore;
    std::string m_statusText; // what stands in the place of the next run; empty: the next run
    bool m_firstPaintPending = false;
    bool m_autoRunOnce = false;
    bool m_confirmOnce = false; // CONFIRM: the one pass carries out its plan whatever it destroys
    bool m_paused = false; // the last pass was paused by the guard: «Разрешить изменения» allows it
    PlanDamage m_pausedDamage; // what the paused plan would destroy
    // Under START the pass is on its way from the start: it starts once the first paint has hidden
    // the window (kStartOnceMessage, after whatever came meanwhile), and a stop before that is
    // kept for it.
    bool m_oncePending = false;
    bool m_stopPending = false;
    bool m_startedByButton = false; // the running pass was started by a click on "Сейчас"
    bool m_timerOn = false;
    bool m_formVisible = false;
    bool m_appMinimized = false;
    bool m_closeRequested = false;
    UINT m_minimizedMessage = WM_APP + 2;
    static constexpr UINT kStartOnceMessage = WM_APP + 3;
    UINT m_showMessage = 0; // a second start of this executable asks to be shown
    PassNotices m_notices;
    // The backup grows old: a pass has been tried since the start, none completed for WarnAfterDays.
    bool m_tried = false;                          // a pass was tried since the program started
    DateTime m_completedAt = kNeverComplete;       // the last complete pass of this process
    MissReason m_missReason = MissReason::Failure; // why the last pass tried was not complete
    std::string m_missText;                        // the same as the user reads it elsewhere
    bool m_overdue = false;
    std::string m_overdueText; // at full length, as the window's label and the balloon say it
    DailyNotice m_overdueNotice;
    FailingFiles m_failing;
    int m_exitCode = 0;
};

} // namespace vestrand
