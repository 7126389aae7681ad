// The program's layout is drawn in pixels at 96 dpi; on a screen of another scale each box is
// scaled to the window's dpi by this one rule.
#pragma once

namespace vestrand {

inline constexpr int kBaseDpi = 96;

// A box in a window's client area: left, top, width, height.
struct LayoutBox {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const LayoutBox&) const = default;
};

// `value` pixels at 96 dpi as pixels at `dpi`, rounded half away from zero as MulDiv does; a dpi
// of 0 or less is taken as 96.
int ScaleToDpi(int value, int dpi);

// A box at 96 dpi scaled to `dpi` by its edges, not its width: two boxes that touch at 96 dpi
// touch at every scale, with neither a gap nor an overlap between them.
LayoutBox ScaleBox(const LayoutBox& box, int dpi);

} // namespace vestrand
