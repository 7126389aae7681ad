#include "ui/single_agent_win.h"

#include "engine/fileops_win.h" // PathTag
#include "ui/form_vestrand_win.h"

namespace vestrand {

SingleAgent::SingleAgent(const std::string& executablePath) : m_path(executablePath) {
    const std::string name = "Local\\Vestrand.Agent." + PathTag(executablePath);
    m_claim.Reset(::CreateMutexA(nullptr, FALSE, name.c_str()));
    m_first = !(m_claim && ::GetLastError() == ERROR_ALREADY_EXISTS);
}

UINT SingleAgent::ShowMessage(const std::string& executablePath) {
    return ::RegisterWindowMessageA(("Vestrand.Show." + PathTag(executablePath)).c_str());
}

void SingleAgent::AskRunningAgentToShow(bool enableConfig) const {
    // Every main window of this program gets the message; only the agent of this executable knows it.
    const UINT message = ShowMessage(m_path);
    ::AllowSetForegroundWindow(ASFW_ANY); // the user started this process: the agent may come forward
    for (HWND w = ::FindWindowExA(nullptr, nullptr, TFormVestrand::kClassName, nullptr); w;
         w = ::FindWindowExA(nullptr, w, TFormVestrand::kClassName, nullptr)) {
        DWORD_PTR answer = 0;
        ::SendMessageTimeoutA(w, message, enableConfig ? 1 : 0, 0, SMTO_ABORTIFHUNG, 5000, &answer);
    }
}

} // namespace vestrand
