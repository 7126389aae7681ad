// The scale of the program's windows: each window is laid out from its 96-dpi boxes scaled to its
// dpi (ScaleBox), and again when the system moves it to a screen of another scale (WM_DPICHANGED).
#pragma once
#include <windows.h>

#include "runtime/dpi_scale.h"

namespace vestrand {

// The dpi of the screen as the system gives it to every window (GetDeviceCaps LOGPIXELSY).
int SystemDpi();
// The dpi of a window: GetDpiForWindow where the system has it (Windows 10 1607 on), the system
// dpi otherwise.
int WindowDpi(HWND hwnd);
// The dpi the program's layout of a window follows: the one its top-level window was last laid out
// at (SetLayoutDpi), the window's dpi before that.
int LayoutDpi(HWND hwnd);
void SetLayoutDpi(HWND topLevel, int dpi);

// A system metric at `dpi`: GetSystemMetricsForDpi where the system has it, otherwise the metric
// at the system dpi scaled to `dpi`.
int MetricForDpi(int index, int dpi);
// The window size that gives a client area of width x height at `dpi` (AdjustWindowRectExForDpi
// where the system has it).
SIZE FrameForClient(int width, int height, DWORD style, DWORD exStyle, int dpi);
// Lays the new top-level window `hwnd` out at the scale of the screen it is on: its layout dpi set
// and its frame sized for a client area of `width` x `height` at 96 dpi. Returns that dpi.
int SizeForItsDpi(HWND hwnd, int width, int height, DWORD style, DWORD exStyle);

// Puts a child window at the 96-dpi box `box` scaled to its top-level window's layout dpi, and
// keeps the box with the window for RescaleChildren.
void PlaceControl(HWND hwnd, const LayoutBox& box);
// The 96-dpi box a window was placed at; false for one that PlaceControl has not placed.
bool PlacedBox(HWND hwnd, LayoutBox& box);
// Lays out every descendant of `topLevel` that PlaceControl placed at `dpi`, with the program's font
// at that dpi for those that have a font, and keeps `dpi` as the window's layout dpi.
void RescaleChildren(HWND topLevel, int dpi);

// The rectangle WM_DPICHANGED suggests, taken as the window's new place and size.
void MoveToSuggestedRect(HWND hwnd, LPARAM suggested);

} // namespace vestrand
