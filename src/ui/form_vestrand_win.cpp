#include "ui/form_vestrand_win.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>

#include "runtime/dpi_win.h"
#include "runtime/error.h"
#include "runtime/handles_win.h"
#include "settings/command_line.h"
#include "settings/settings_file_win.h"
#include "ui/config_form_win.h"
#include "ui/pass_notices_win.h"
#include "ui/resource_ids.h"
#include "ui/restore_form_win.h"
#include "ui/single_agent_win.h"

namespace vestrand {
namespace {

constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_APPWINDOW;
constexpr const char* kNextRunLabel = "Следующее копирование:";
constexpr int kLabelLeft = 16, kLabelWidth = 131, kNextTimeLeft = 160;

// The height a status text takes when it wraps within `width` (a long path breaks where it must).
int WrappedTextHeight(HWND hwnd, const std::string& text, int width) {
    WindowDc dc(hwnd);
    SelectGuard font(dc.Get(), ProgramFont(LayoutDpi(hwnd)));
    RECT box{0, 0, width, 0};
    ::DrawTextA(dc.Get(), text.c_str(), static_cast<int>(text.size()), &box,
                DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
    return box.bottom;
}

int TextWidth(HWND hwnd, const std::string& text) {
    WindowDc dc(hwnd);
    SelectGuard font(dc.Get(), ProgramFont(LayoutDpi(hwnd)));
    SIZE size{};
    ::GetTextExtentPoint32A(dc.Get(), text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

// Why a pass that did not complete left the backup as it was, at full length.
std::string MissedText(const PassOutcome& outcome) {
    const PassResult& result = outcome.result;
    if (outcome.error)
        return outcome.errorText;
    if (!result.Ran())
        return RefusalText(result);
    if (result.paused)
        return PausedHint(result.damage);
    if (result.diskFull)
        return "копирование остановлено: на диске копии осталось меньше " +
               std::to_string(result.floorBytes / 1000000) + " Мб";
    return "копирование не завершено";
}

} // namespace

TFormVestrand::TFormVestrand(StartOptions options)
    : m_options(std::move(options)),
      m_clock(m_options.clock ? *m_options.clock : static_cast<IClock&>(m_systemClock)),
      m_schedule(m_settings, *this, m_clock, m_options.registryKey),
      m_runner(*this, *this, m_schedule, m_clock), m_config(std::make_unique<TFormConfigVestrand>()),
      m_autoRunOnce(IsOneShot(StartModeOf(CommandSwitch(m_options.commandLine)))),
      m_confirmOnce(StartModeOf(CommandSwitch(m_options.commandLine)) == StartMode::Confirm),
      m_oncePending(m_autoRunOnce) {}

TFormVestrand::~TFormVestrand() {
    m_restore.reset(); // its restore ends before what it asks about goes
    // The pass thread ends before anything it reports to goes.
    m_runner.SetOnEnded(nullptr);
    m_runner.RequestStop();
    m_runner.WaitForEnd();
    m_tray.Remove();
    m_config.reset();
}

void TFormVestrand::Create() {
    RegisterWindowClass(kClassName, 0, ::GetSysColorBrush(COLOR_BTNFACE),
                        m_icon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_VESTRAND)));
    if (!m_icon)
        m_icon = ::LoadIconA(nullptr, IDI_APPLICATION);
    RECT frame{0, 0, kClientWidth, kClientHeight};
    ::AdjustWindowRectEx(&frame, kFormStyle, FALSE, kFormExStyle);
    CreateWindowOf(kClassName, kFormExStyle, kFormStyle, kAppTitle, 0, 0, frame.right - frame.left,
                   frame.bottom - frame.top, nullptr, nullptr);
    if (!Handle())
        throw std::runtime_error("The main window cannot be created");
    const int dpi = SizeForItsDpi(Handle(), kClientWidth, kClientHeight, kFormStyle, kFormExStyle);
    CenterOnScreen(Handle());
    LoadIcons(dpi);
    CreateWidgets();
    FormCreate();
    m_config->Create(::GetModuleHandleA(nullptr), Handle());
}

void TFormVestrand::CreateWidgets() {
    // Creation order is the tab order: the button comes first.
    m_btnGo = CreateControl("BUTTON", m_oncePending ? "Остановить" : "Сейчас", WS_TABSTOP | BS_PUSHBUTTON, 0,
                            176, 72, 105, 25, Handle(), kBtnGoId);
    m_btnRestore = CreateControl("BUTTON", "Восстановить…", WS_TABSTOP | BS_PUSHBUTTON, 0, 64, 72, 105, 25,
                                 Handle(), kBtnRestoreId);
    m_label1 = CreateControl("STATIC", kNextRunLabel, SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_ENDELLIPSIS, 0,
                             kLabelLeft, 8, kLabelWidth, 13, Handle(), 0);
    m_lastCopy = CreateControl("STATIC", "", SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, kLabelLeft, 24,
                               kClientWidth - 2 * kLabelLeft, 13, Handle(), 0);
    m_gauge.Create(Handle(), 8, 40, 281, 25);
    m_nextTime = CreateControl("STATIC", "NextTime", SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, kNextTimeLeft, 8, 45,
                               13, Handle(), 0);
}

void TFormVestrand::LoadIcons(int dpi) {
    m_bigIcon = LoadIconOfSize(IDI_VESTRAND, MetricForDpi(SM_CXICON, dpi));
    m_smallIcon = LoadIconOfSize(IDI_VESTRAND, MetricForDpi(SM_CXSMICON, dpi));
    if (m_bigIcon)
        ::SendMessageA(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_bigIcon.Get()));
    if (m_smallIcon)
        ::SendMessageA(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_smallIcon.Get()));
}

void TFormVestrand::OnDpiChanged(int dpi, LPARAM suggested) {
    MoveToSuggestedRect(Handle(), suggested);
    RescaleChildren(Handle(), dpi);
    LoadIcons(dpi);
    // The boxes that follow their text; the window's height follows a status of several lines.
    if (m_statusExtra != 0)
        m_statusExtra = -1; // the suggested frame holds one line: sized again
    ShowStatusText(m_statusText);
    char text[64] = {};
    ::GetWindowTextA(m_nextTime, text, sizeof text);
    SetNextTimeText(text);
    ::InvalidateRect(Handle(), nullptr, TRUE);
}

void TFormVestrand::FormCreate() {
    // The source lists exist with the settings object; loading fills them.
    m_settings.SourceDirs.clear();
    m_settings.SourceFiles.clear();
    m_settings.Exclude.clear();

    // Window and tray set-up.
    SetApplicationTitle(kAppTitle);
    m_tray.Create();
    m_tray.SetMainWindow(Handle());
    m_tray.SetMenuItems({{kPmCenter, "Управление", true, true},
                         {kPmConfig, "Настройки", false, true},
                         {kPmJournal, "Журнал", false, true},
                         {kPmRestore, "Восстановить…", false, true},
                         {kPmStop, "Остановить полис", false, m_oncePending},
                         {kPmAllow, "Разрешить изменения", false, false},
                         {kPmExit, "Выход", false, true}},
                        [this](int id) { OnMenuItem(id); });
    m_tray.OnDblClick = [this] { RxTrayDblClick(); };
    // The notification area shows small icons at the system's scale.
    const int traySize = MetricForDpi(SM_CXSMICON, SystemDpi());
    m_trayIcon = LoadIconOfSize(IDI_VESTRAND, traySize);
    if (m_trayIcon)
        m_icon = m_trayIcon.Get();
    m_tray.SetIcon(m_icon);
    m_workingIcon = MakeWorkingIcon(m_icon, traySize);
    m_warningIcon = MakeWarningIcon(m_icon, traySize);
    m_tray.SetHint(kAppTitle);
    m_firstPaintPending = true;

    // The switch.
    const StartMode mode = StartModeOf(CommandSwitch(m_options.commandLine));
    m_runner.SetErrorsShownInBox(!m_autoRunOnce); // nobody may be there to close a box
    m_runner.SetOnEnded([this] { PassEnded(); });
    m_tray.SetItemEnabled(kPmConfig, mode == StartMode::Config || mode == StartMode::Install);
    if (mode == StartMode::Install)
        WriteAutostartEntry(m_options.executablePath);

    if (!m_options.executablePath.empty())
        m_showMessage = SingleAgent::ShowMessage(m_options.executablePath);

    m_schedule.Restore();
    SetTimerEnabled(false);
    // A refused write-back does not stop the schedule: the settings that were read are in force,
    // so the next run is computed and the timer runs; the error is shown afterwards.
    std::exception_ptr loadError;
    try {
        LoadSettings(m_settings, m_options.iniPath);
    } catch (const VestrandError&) {
        loadError = std::current_exception();
    }
    m_schedule.ScheduleNext();
    ShowState();
    SetTimerEnabled(true);
    if (loadError)
        HandleException(loadError);
}

void TFormVestrand::ShowAtStart() {
    m_formVisible = true;
    ::ShowWindow(Handle(), SW_SHOWNORMAL);
    ::UpdateWindow(Handle());
}

void TFormVestrand::FormPaint() {
    if (!m_firstPaintPending)
        return;
    ::ShowWindow(Handle(), SW_HIDE);
    m_formVisible = false;
    m_firstPaintPending = false;
    // One pass; the program ends when it has (PassEnded). It starts after what was sent and posted
    // while the window was shown and hidden (a stop among it is kept for it).
    if (m_oncePending)
        ::PostMessageA(Handle(), kStartOnceMessage, 0, 0);
}

void TFormVestrand::StartPass(bool byButton) {
    StartPass(byButton, m_confirmOnce);
}

void TFormVestrand::StartPass(bool byButton, bool confirmed) {
    if (!m_runner.Start(m_settings, m_autoRunOnce, m_oncePending && m_stopPending, confirmed))
        return;
    m_tray.SetItemEnabled(kPmAllow, false);
    m_oncePending = m_stopPending = false;
    m_startedByButton = byButton;
    ::SetWindowTextA(m_btnGo, "Остановить");
    m_tray.SetItemEnabled(kPmStop, true);
    if (m_workingIcon)
        m_tray.SetIcon(m_workingIcon.Get());
}

// On the window's thread, once the pass has ended and its outcome is known.
void TFormVestrand::PassEnded() {
    ::SetWindowTextA(m_btnGo, "Сейчас");
    m_tray.SetItemEnabled(kPmStop, false);
    NoteHowThePassEnded();
    ShowWhetherPaused();
    const bool balloon = TellHowThePassWent();
    if (m_autoRunOnce) {
        // However the pass went, the program ends with its status; a balloon stays a moment
        // before the icon goes with the program.
        SetTimerEnabled(false);
        m_exitCode = m_runner.LastOutcome().ExitCode();
        if (balloon && !m_closeRequested)
            ::SetTimer(Handle(), kEndTimerId, kBalloonLinger, nullptr);
        else
            ::PostMessageA(Handle(), WM_CLOSE, 0, 0);
    } else if (m_closeRequested) {
        ::PostMessageA(Handle(), WM_CLOSE, 0, 0);
    }
}

// One balloon for what is due: that the backup is overdue (when it becomes so, then once a day),
// how the pass went, and files that have failed for days (each once a day).
bool TFormVestrand::TellHowThePassWent() {
    const PassOutcome& outcome = m_runner.LastOutcome();
    if (!outcome.error && outcome.result.interrupted)
        return false; // the user stopped it: nothing to tell, and the memory of failures stays
    const DateTime now = m_clock.Now();
    Balloon balloon;
    const auto add = [&balloon](const std::string& text) {
        balloon.text += (balloon.text.empty() ? "" : "\n") + text;
    };
    // The overdue text names the refusal or the error as its reason: they are not said twice.
    const bool overdueTold = m_overdueNotice.Due(m_overdue, now);
    if (overdueTold)
        add(m_overdueText);
    if (outcome.error) { // the resident program has shown the error box
        if (m_autoRunOnce) {
            balloon.icon = BalloonIcon::Error;
            if (!overdueTold)
                add(outcome.errorText);
        }
    } else {
        const NoticeDue due = m_notices.After(outcome.result);
        if (due.Any()) {
            const Balloon notice = NoticeBalloon(outcome.result, due);
            balloon.icon = notice.icon;
            if (!(overdueTold && due.refusal))
                add(notice.text);
        }
    }
    const std::vector<std::string> failing = m_failing.Due(now, m_settings.WarnAfterDays);
    if (!failing.empty())
        add(FailingFilesText(failing, m_settings.WarnAfterDays));
    return !balloon.text.empty() && m_tray.ShowBalloon(balloon.icon, kAppTitle, balloon.text);
}

void TFormVestrand::FormClose() {
    m_settings.SourceDirs.clear();
    m_settings.SourceFiles.clear();
    m_settings.Exclude.clear();
}

void TFormVestrand::RxTrayDblClick() {
    if (!m_formVisible) {
        m_formVisible = true;
        ::ShowWindow(Handle(), m_appMinimized ? SW_SHOWMINNOACTIVE : SW_SHOW);
    }
    if (m_appMinimized)
        ::ShowWindow(Handle(), SW_RESTORE); // raises the restore notification through WM_SIZE
    HWND last = ::GetLastActivePopup(Handle());
    ::SetForegroundWindow(last ? last : Handle());
}

void TFormVestrand::AppEventsMinimize() {
    // Only the tray icon remains: no taskbar button for a minimised program.
    ::ShowWindow(Handle(), SW_HIDE);
}

void TFormVestrand::AppEventsRestore() {
    ::ShowWindow(Handle(), SW_SHOW);
}

void TFormVestrand::pmExitClick() {
    CloseWhenIdle();
}

void TFormVestrand::pmConfigClick() {
    if (m_config->IsOpen()) {
        m_config->BringToFront();
        return;
    }
    try {
        m_config->pmConfigClick(m_settings, m_options.iniPath);
    } catch (...) {
        if (m_closeRequested)
            ::PostMessageA(Handle(), WM_CLOSE, 0, 0);
        throw;
    }
    if (m_closeRequested)
        ::PostMessageA(Handle(), WM_CLOSE, 0, 0);
}

// "Сейчас" starts a pass; while one runs (or, under START, is on its way) the button reads
// "Остановить" and stops it.
void TFormVestrand::BtnGoClick() {
    if (m_runner.Running() || m_oncePending) {
        if (!m_startedByButton || ::GetTickCount() - m_runner.StartedAt() >= kStopGuardMs)
            pmStopClick();
        return;
    }
    StartPass(true);
}

// «Разрешить изменения»: the paused plan is carried out now, for this pass alone.
void TFormVestrand::pmAllowClick() {
    if (m_paused && !m_runner.Running())
        StartPass(false, true);
}

// While the guard pauses passes, the tray icon carries the warning mark, its hint and the window's
// label the counts, and «Разрешить изменения» is enabled. Only a pass that ran to a verdict changes
// that.
void TFormVestrand::ShowWhetherPaused() {
    const PassOutcome& outcome = m_runner.LastOutcome();
    if (!outcome.error && outcome.result.Ran() && !outcome.result.interrupted) {
        m_paused = outcome.result.paused;
        m_pausedDamage = outcome.result.damage;
    }
    m_tray.SetItemEnabled(kPmAllow, m_paused);
    ShowState();
}

// A complete pass is kept as the last one (beside the next run, so that a one-shot run and the
// next start see it); another pass keeps why it was not complete. A pass that found another at work
// (which keeps the moment itself) or that the user stopped is no try: it changes nothing here.
void TFormVestrand::NoteHowThePassEnded() {
    const PassOutcome& outcome = m_runner.LastOutcome();
    if (!outcome.error && (outcome.result.refusal == PassRefusal::Busy || outcome.result.interrupted))
        return;
    const DateTime now = m_clock.Now();
    m_tried = true;
    if (!outcome.error && outcome.result.Complete()) {
        m_completedAt = now;
        StoreLastComplete(m_options.registryKey, now);
    } else {
        m_missReason = MissReasonOf(outcome.result, outcome.error);
        m_missText = MissedText(outcome);
    }
    if (!outcome.error)
        m_failing.After(outcome.result, now);
}

// The last complete pass under the next run; while overdue or paused, the tray's warning mark, and
// the hint and the window's label say so (overdue first: it names the pause as its reason).
void TFormVestrand::ShowState() {
    const DateTime now = m_clock.Now();
    DateTime last = ReadLastComplete(m_options.registryKey, now);
    if (m_completedAt > last && m_completedAt <= now)
        last = m_completedAt; // the registry refused the moment: this process still knows it
    ::SetWindowTextA(m_lastCopy, LastCompleteText(last, TimeSeparator()).c_str());
    PlaceControl(m_lastCopy,
                 {kLabelLeft, 24, kClientWidth - 2 * kLabelLeft, 13}); // as wide as its text needs
    m_overdue = IsOverdue(last, now, m_settings.WarnAfterDays, m_tried);
    m_overdueText = m_overdue ? OverdueText(last, now, m_missText) : std::string();
    m_tray.SetIcon((m_overdue || m_paused) && m_warningIcon ? m_warningIcon.Get() : m_icon);
    if (m_overdue) {
        m_tray.SetHint(OverdueHint(last, now, m_missReason));
        ShowStatusText(m_overdueText);
    } else if (m_paused) {
        m_tray.SetHint(PausedHint(m_pausedDamage));
        ShowStatusText(PausedHint(m_pausedDamage));
    } else {
        ShowStatusText(std::string());
    }
}

// A status in the place of the next run, as wide as the window lets it be and on as many lines as
// it needs: what lies below moves down and the window grows by as much. Empty: the next run.
void TFormVestrand::ShowStatusText(const std::string& text) {
    constexpr DWORD kOneLine = SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_ENDELLIPSIS;
    constexpr DWORD kWrapped = SS_LEFT | SS_EDITCONTROL | SS_NOPREFIX;
    m_statusText = text;
    const LONG_PTR style =
        ::GetWindowLongPtrA(m_label1, GWL_STYLE) & ~static_cast<LONG_PTR>(SS_TYPEMASK | kOneLine | kWrapped);
    ::SetWindowLongPtrA(m_label1, GWL_STYLE, style | (text.empty() ? kOneLine : kWrapped));
    ::SetWindowTextA(m_label1, text.empty() ? kNextRunLabel : text.c_str());
    const int width = text.empty() ? kLabelWidth : kClientWidth - 2 * kLabelLeft;
    PlaceControl(m_label1, {kLabelLeft, 8, width, 13});
    RECT rc{};
    ::GetWindowRect(m_label1, &rc);
    const int line = rc.bottom - rc.top;
    int extra = 0;
    if (text.empty()) {
        // The label before the next run is never cut, whatever the width of the font at this scale.
        const int need = TextWidth(m_label1, kNextRunLabel);
        if (need > rc.right - rc.left)
            ::SetWindowPos(m_label1, nullptr, 0, 0, need, line, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
        const int height = std::max(line, WrappedTextHeight(m_label1, text, rc.right - rc.left));
        extra = height - line;
        ::SetWindowPos(m_label1, nullptr, 0, 0, rc.right - rc.left, height,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::InvalidateRect(m_label1, nullptr, TRUE);
    ::ShowWindow(m_nextTime, text.empty() ? SW_SHOWNA : SW_HIDE);
    PlaceBelowStatus(extra);
}

// Moves the lines under the status down by `extra` pixels (at the window's scale) from their
// places, and sizes the window to hold them.
void TFormVestrand::PlaceBelowStatus(int extra) {
    const int dpi = LayoutDpi(Handle());
    for (const HWND child : {m_lastCopy, m_gauge.Handle(), m_btnGo, m_btnRestore}) {
        LayoutBox box;
        if (!PlacedBox(child, box))
            continue;
        const LayoutBox at = ScaleBox(box, dpi);
        ::SetWindowPos(child, nullptr, at.x, at.y + extra, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (extra == m_statusExtra)
        return;
    m_statusExtra = extra;
    const SIZE size = FrameForClient(ScaleToDpi(kClientWidth, dpi), ScaleToDpi(kClientHeight, dpi) + extra,
                                     kFormStyle, kFormExStyle, dpi);
    ::SetWindowPos(Handle(), nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::InvalidateRect(Handle(), nullptr, TRUE);
}

// «Журнал»: a copy of the journal in the user's temporary folder, opened in the user's viewer.
void TFormVestrand::pmJournalClick() {
    try {
        ShowJournalCopy(m_settings, m_options.tempFolder.empty() ? UserTempFolder() : m_options.tempFolder,
                        m_options.openFile ? m_options.openFile : OpenFileFn(OpenWithShell));
    } catch (const VestrandError&) {
        HandleException(std::current_exception());
    }
}

void TFormVestrand::pmRestoreClick() {
    if (!m_restore) {
        RestoreFormHost host;
        host.settings = [this] { return m_settings; };
        host.passRunning = [this] { return m_runner.Running() || m_oncePending; };
        host.stopPass = [this] { pmStopClick(); };
        host.clock = &m_clock;
        m_restore = std::make_unique<TFormRestore>(std::move(host));
    }
    m_restore->Open(Handle());
}

void TFormVestrand::pmStopClick() {
    if (m_oncePending)
        m_stopPending = true; // the pass starts stopped: it ends before its Start line
    else
        m_runner.RequestStop();
}

void TFormVestrand::TimerTimer() {
    if (m_runner.Running() || m_oncePending)
        return;                     // a tick during a pass does nothing at all
    if (m_schedule.IsBeyondReach()) // the clock was set back: a time the program cannot have set
        m_schedule.ScheduleNext();
    if (m_schedule.IsDue())
        StartPass(false);
}

void TFormVestrand::CloseWhenIdle() {
    // The dialog's and the error box's modal waits run inside a handler of this window: the window
    // closes once they have returned, and the dialog still saves what it holds.
    if (m_config->IsOpen()) {
        m_closeRequested = true;
        m_config->CloseDialog();
        return;
    }
    if (m_runner.Running() || m_oncePending) {
        m_closeRequested = true; // the window closes when the stopped pass has saved its journal
        pmStopClick();
        return;
    }
    ::PostMessageA(Handle(), WM_CLOSE, 0, 0);
}

void TFormVestrand::OnMenuItem(int id) {
    switch (id) {
    case kPmCenter:
        RxTrayDblClick();
        break;
    case kPmConfig:
        pmConfigClick();
        break;
    case kPmStop:
        pmStopClick();
        break;
    case kPmAllow:
        pmAllowClick();
        break;
    case kPmJournal:
        pmJournalClick();
        break;
    case kPmRestore:
        pmRestoreClick();
        break;
    case kPmExit:
        pmExitClick();
        break;
    default:
        break;
    }
}

void TFormVestrand::SetBusyCursor(bool busy) {
    SetBusyCursorOverride(busy);
}

void TFormVestrand::SetTrayHint(const std::string& hint) {
    m_tray.SetHint(hint);
}

void TFormVestrand::SetNextTimeText(const std::string& text) {
    ::SetWindowTextA(m_nextTime, text.c_str());
    // As wide as its text in the font of the window's scale.
    const int dpi = LayoutDpi(m_nextTime);
    const LayoutBox at = ScaleBox({kNextTimeLeft, 8, 0, 13}, dpi);
    ::SetWindowPos(m_nextTime, nullptr, at.x, at.y, TextWidth(m_nextTime, text), at.height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

void TFormVestrand::SetGaugeMax(int32_t value) {
    m_gauge.SetMaxValue(value);
}
void TFormVestrand::SetGaugeMin(int32_t value) {
    m_gauge.SetMinValue(value);
}
void TFormVestrand::SetGaugeProgress(int32_t value) {
    m_gauge.SetProgress(value);
}

void TFormVestrand::SetTimerEnabled(bool enabled) {
    if (!Handle())
        return;
    if (enabled)
        ::SetTimer(Handle(), kTimerId, kTimerInterval, nullptr);
    else
        ::KillTimer(Handle(), kTimerId);
    m_timerOn = enabled;
}

void TFormVestrand::OnCommand(int id, int code, HWND control) {
    if (id == kBtnGoId && control == m_btnGo && code == BN_CLICKED)
        BtnGoClick();
    else if (id == kBtnRestoreId && control == m_btnRestore && code == BN_CLICKED)
        pmRestoreClick();
}

void TFormVestrand::OnTimer(UINT_PTR id) {
    if (id == kTimerId && m_timerOn) {
        TimerTimer();
    } else if (id == kEndTimerId) {
        ::KillTimer(Handle(), kEndTimerId);
        ::PostMessageA(Handle(), WM_CLOSE, 0, 0);
    }
}

LRESULT TFormVestrand::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT: {
        {
            PaintGuard paint(Handle());
        }
        // After EndPaint: a pass run from here must not leave the paint pending.
        FormPaint();
        return 0;
    }
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED && !m_appMinimized) {
            m_appMinimized = true;
            ::PostMessageA(Handle(), m_minimizedMessage, 0, 0);
        } else if (wParam == SIZE_RESTORED && m_appMinimized) {
            m_appMinimized = false;
            AppEventsRestore();
        }
        return DefaultProc(msg, wParam, lParam);
    case WM_CLOSE:
        if (m_config->IsOpen() || m_runner.Running() || m_oncePending) {
            CloseWhenIdle();
            return 0;
        }
        FormClose();
        ::DestroyWindow(Handle());
        return 0;
    case WM_DESTROY:
        ::KillTimer(Handle(), kTimerId);
        m_timerOn = false;
        m_tray.Remove();
        if (m_options.endMessageLoopOnClose)
            ::PostQuitMessage(m_exitCode);
        return 0;
    case kStartOnceMessage:
        if (m_oncePending)
            StartPass(false);
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        if (wParam && m_runner.Running()) {
            // The session ends after this returns: stop the pass and give it a moment to save its
            // journal; a pass that has not ended by then ends with the process, without its block.
            m_runner.RequestStop();
            m_runner.WaitForEnd(kEndSessionWaitMs);
        }
        return 0;
    case WM_SETTINGCHANGE:
        RefreshTimeSeparator();
        return DefaultProc(msg, wParam, lParam);
    case WM_DPICHANGED:
        OnDpiChanged(LOWORD(wParam), lParam);
        return 0;
    default:
        if (msg == m_showMessage && m_showMessage != 0) {
            if (wParam)
                m_tray.SetItemEnabled(kPmConfig, true);
            RxTrayDblClick();
            return 0;
        }
        if (msg == m_minimizedMessage) {
            if (m_appMinimized)
                AppEventsMinimize();
            return 0;
        }
        return Window::HandleMessage(msg, wParam, lParam);
    }
}

} // namespace vestrand
