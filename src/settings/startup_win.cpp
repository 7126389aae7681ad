#include "settings/startup_win.h"

#include <windows.h>

#include "runtime/platform_win.h"

namespace vestrand {

void WriteAutostartEntry(const std::string& executablePath) {
    // The leading separator means "from the root"; the registry functions take the path without it.
    const char* path = kRunKey[0] == '\\' ? kRunKey + 1 : kRunKey;
    const RegKey key = OpenOrCreateKey(HKEY_LOCAL_MACHINE, path, KEY_SET_VALUE);
    if (!key)
        return;
    const std::string value = "\"" + executablePath + "\"";
    ::RegSetValueExA(key.Get(), kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>(value.size() + 1));
}

} // namespace vestrand
