#include "ui/single_agent_win.h"

#include <cstdio>

#include "engine/backup_index_win.h" // FileSystemKey
#include "engine/fileops_win.h"      // WidenAnsi
#include "ui/form_vestrand_win.h"

namespace vestrand {
namespace {

// The executable's full path, letter case folded as the file system folds it, hashed (FNV-1a) so
// that the name is short and holds no "\".
std::string PathTag(const std::string& executablePath) {
    const std::wstring key = FileSystemKey(FullPath(WidenAnsi(executablePath)));
    uint64_t hash = 14695981039346656037ull;
    for (const wchar_t unit : key) {
        hash ^= static_cast<uint16_t>(unit);
        hash *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

} // namespace

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
