// One resident agent per executable in a user's session: a second start finds the first by a named
// object of the session whose name comes from the executable's full path (letter case ignored), and
// asks it to show its window instead of putting a second icon in the tray.
#pragma once
#include <windows.h>

#include <string>

#include "runtime/handles_win.h"

namespace vestrand {

class SingleAgent {
public:
    // Claims the name for `executablePath`; the claim ends with the process, however it ends.
    explicit SingleAgent(const std::string& executablePath);
    // False when an agent of the same executable already runs in this session.
    bool First() const { return m_first; }
    // Asks the running agent to show its window, as «Управление» does, and with `enableConfig` to
    // enable «Настройки».
    void AskRunningAgentToShow(bool enableConfig) const;

    // The message a running agent of `executablePath` answers so: wParam non-zero enables «Настройки».
    static UINT ShowMessage(const std::string& executablePath);

private:
    KernelHandle m_claim;
    std::string m_path;
    bool m_first = true;
};

} // namespace vestrand
