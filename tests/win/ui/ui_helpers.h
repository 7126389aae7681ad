// Pieces shared by the tests of the main window.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "fakes.h"
#include "runtime/datetime.h"
#include "screen_pixels.h"
#include "test_drives.h"

namespace vestrand::test {

// Dispatches what the thread's queue holds (WM_QUIT is left out).
inline void PumpMessages(int rounds = 3) {
    for (MSG msg; rounds-- > 0; ::Sleep(5))
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            if (msg.message != WM_QUIT) {
                ::TranslateMessage(&msg);
                ::DispatchMessageA(&msg);
            }
}

inline std::string WindowText(HWND hwnd) {
    char text[512] = {};
    ::GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

// A settings file that mirrors <root>src\ into <root>arch\<IdentifComp>\: [Config] holds `config`
// and the TargetDir, [SourceFile] lists `files`.
inline std::string SettingsText(const std::string& root, const std::string& config,
                                const std::vector<std::string>& files = {}) {
    std::string text =
        "[Config]\r\n" + config + "TargetDir=" + root + "arch\r\n[SourceDir]\r\n1=" + root + "src\\\r\n";
    for (size_t i = 0; i < files.size(); ++i)
        text += (i == 0 ? "[SourceFile]\r\n1=" : std::to_string(i + 1) + "=") + files[i] + "\r\n";
    return text;
}

// Black pixels in row `y` of a gauge from its inner left edge: the width of its bar.
inline int BlackRun(const Pixels& p, int y) {
    int n = 0;
    while (1 + n < p.width - 1 && p.At(1 + n, y) == RGB(0, 0, 0))
        ++n;
    return n;
}

} // namespace vestrand::test
