// Pixels as they reach the screen, and pixels a window paints of itself, for tests that check what
// the user sees rather than the state of a window.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace vestrand::test {

struct Pixels {
    int width = 0, height = 0;
    std::vector<COLORREF> data; // rows from the top, RGB() values
    COLORREF At(int x, int y) const { return data[static_cast<size_t>(y) * width + x]; }
    // Where this and `other` differ: "" when they are equal, otherwise the count and the first place.
    std::string Difference(const Pixels& other) const;
};

// The screen's pixels in `area` (screen coordinates), read through the screen's device context.
// Under Wine this is what the X server shows: a window's drawing counts once it has been flushed.
Pixels GrabScreen(const RECT& area);
// The screen's pixels under `hwnd`'s client area.
Pixels GrabClient(HWND hwnd);
// What `hwnd` paints of its client area when asked to print itself (WM_PRINTCLIENT), off-screen.
Pixels PrintClient(HWND hwnd);

} // namespace vestrand::test
