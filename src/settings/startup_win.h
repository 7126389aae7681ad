// The machine-wide autostart entry written under INSTALL.
#pragma once
#include <string>

namespace vestrand {

inline constexpr const char* kRunKey = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kRunValue = "Vestrand";

// Writes Vestrand = "<executable path>" under the machine-wide Run key; every error is ignored.
void WriteAutostartEntry(const std::string& executablePath);

} // namespace vestrand
