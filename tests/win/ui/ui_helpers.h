// Pieces shared by the tests of the main window.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "fakes.h"
#include "runtime/datetime.h"
#include "test_drives.h"

namespace vestrand::test {

// Dispatches what the thread's queue holds (WM_QUIT is left out).
inline void PumpMessages(int rounds = 3) {
    for (int i = 0; i < rounds; ++i) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::Sleep(5);
    }
}

inline std::string WindowText(HWND hwnd) {
    char text[512] = {};
    ::GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

inline std::string ReadRegistryString(HKEY root, const char* path, const char* name, DWORD* type = nullptr) {
    HKEY key;
    if (::RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return "<no key>";
    char value[1024] = {};
    DWORD size = sizeof value, t = 0;
    const LONG rc = ::RegQueryValueExA(key, name, nullptr, &t, reinterpret_cast<BYTE*>(value), &size);
    ::RegCloseKey(key);
    if (type)
        *type = t;
    return rc == ERROR_SUCCESS ? std::string(value) : "<no value>";
}

// Number of values under a key whose name matches `name` without regard to case.
inline int CountValuesNamed(HKEY root, const char* path, const char* name) {
    HKEY key;
    if (::RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    int count = 0;
    for (DWORD i = 0;; ++i) {
        char valueName[256];
        DWORD length = sizeof valueName;
        if (::RegEnumValueA(key, i, valueName, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        if (::lstrcmpiA(valueName, name) == 0)
            ++count;
    }
    ::RegCloseKey(key);
    return count;
}

} // namespace vestrand::test
