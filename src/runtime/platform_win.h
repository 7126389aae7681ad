// Small platform services shared by the engine, the settings and the user interface.
#pragma once
#include <windows.h>

#include <string>

#include "runtime/datetime.h"
#include "runtime/handles_win.h"

namespace vestrand {

// The time separator of the user's locale (LOCALE_STIME), the colon when the locale gives none.
// Read once at start-up and again when the system announces a change of its regional settings.
char TimeSeparator();
void RefreshTimeSeparator();

// Current local time through GetLocalTime.
class SystemClock final : public IClock {
public:
    DateTime Now() override;
};
DateTime FromSystemTime(const SYSTEMTIME& st);

// A registry key of the program opened for `access`, created when missing; empty when neither
// succeeds. `path` has no leading separator.
RegKey OpenOrCreateKey(HKEY root, const std::string& path, REGSAM access);

// Full path of the running executable (GetModuleFileNameA).
std::string ExecutablePath();
// The system's message for an error code in the program's code page, without its line break; a
// text of the code itself where the system has none.
std::string SystemErrorText(unsigned long code);

} // namespace vestrand
