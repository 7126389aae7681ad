#include "runtime/dpi_scale.h"

#include <cstdint>

namespace vestrand {

int ScaleToDpi(int value, int dpi) {
    if (dpi <= 0)
        dpi = kBaseDpi;
    const int64_t product = static_cast<int64_t>(value) * dpi;
    const int64_t half = kBaseDpi / 2;
    const int64_t scaled = product >= 0 ? (product + half) / kBaseDpi : -((-product + half) / kBaseDpi);
    return static_cast<int>(scaled);
}

LayoutBox ScaleBox(const LayoutBox& box, int dpi) {
    const int left = ScaleToDpi(box.x, dpi), top = ScaleToDpi(box.y, dpi);
    const int right = ScaleToDpi(box.x + box.width, dpi), bottom = ScaleToDpi(box.y + box.height, dpi);
    return {left, top, right - left, bottom - top};
}

} // namespace vestrand
