// The resident backup agent: creates the main window and runs the message loop until it closes.
#include <windows.h>
#include <commctrl.h>

#include "runtime/platform_win.h"
#include "runtime/window_win.h"
#include "settings/settings_file_win.h"
#include "settings/command_line.h"
#include "settings/restore_command_win.h"
#include "settings/startup_win.h"
#include "ui/form_vestrand_win.h"
#include "ui/single_agent_win.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    using namespace vestrand;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_UPDOWN_CLASS};
    ::InitCommonControlsEx(&controls);
    SetApplicationTitle(kAppTitle);
    RefreshTimeSeparator();

    StartOptions options;
    options.commandLine = ::GetCommandLineA();
    options.executablePath = ExecutablePath();
    options.iniPath = SettingsFilePath();

    // One resident agent per executable: a further start hands its wish to the one that runs.
    // A one-shot START or CONFIRM always makes its pass (the mirror's lock keeps two passes apart).
    const StartMode mode = StartModeOf(CommandSwitch(options.commandLine));
    if (mode == StartMode::Restore) // no window, and whatever agent runs
        return RunRestoreCommand(options.commandLine, options.iniPath);
    const SingleAgent agent(options.executablePath);
    if (!IsOneShot(mode) && !agent.First()) {
        if (mode == StartMode::Install)
            WriteAutostartEntry(options.executablePath);
        agent.AskRunningAgentToShow(mode == StartMode::Config || mode == StartMode::Install);
        return 0;
    }
    TFormVestrand form(options);
    try {
        form.Create();
    } catch (...) {
        HandleException(std::current_exception());
        return 1;
    }
    form.ShowAtStart();

    MSG msg{};
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (form.Handle() && ::IsDialogMessageA(form.Handle(), &msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
