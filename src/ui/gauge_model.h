// The progress gauge's numbers and geometry, apart from any drawing.
#pragma once
#include <cstdint>

namespace vestrand {

class GaugeModel {
public:
    int32_t MinValue() const { return m_min; }
    int32_t MaxValue() const { return m_max; }
    int32_t Progress() const { return m_progress; }

    // trunc((Progress - MinValue) * 100 / (MaxValue - MinValue)); 0 for an empty range.
    int32_t Percent() const;

    // Each returns true when the gauge must repaint now. A position is brought into the range;
    // only a changed percentage repaints. A new bound moves the position with it and always repaints.
    bool SetProgress(int32_t value);
    bool SetMaxValue(int32_t value);
    bool SetMinValue(int32_t value);

private:
    int32_t m_min = 0;
    int32_t m_max = 100;
    int32_t m_progress = 0;
};

// The bar's extent in a gauge `outerWidth` wide with a one-pixel frame: it starts at the inner
// left edge (column 1) and ends before the returned column, trunc((inner width + 1) * percent / 100)
// from the outer left edge, at most the inner right edge. A result below 2 means no bar.
int32_t GaugeBarEnd(int32_t outerWidth, int32_t percent);

} // namespace vestrand
