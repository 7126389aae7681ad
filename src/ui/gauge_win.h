// The progress gauge: a custom-painted bar with its percentage drawn inverted across it.
#pragma once
#include "runtime/window_win.h"
#include "ui/gauge_model.h"

namespace vestrand {

// Draws a gauge into any device context: a one-pixel black frame, white inside, a black bar for
// the percentage, and the percentage centred, black over white and white over the bar.
void PaintGauge(HDC dc, const RECT& bounds, int32_t percent, HFONT font);

class TGauge final : public Window {
public:
    static constexpr const char* kClassName = "TGauge";
    void Create(HWND parent, int x, int y, int width, int height);

    int32_t MinValue() const { return m_model.MinValue(); }
    int32_t MaxValue() const { return m_model.MaxValue(); }
    int32_t Progress() const { return m_model.Progress(); }
    int32_t PercentDone() const { return m_model.Percent(); }
    void SetMinValue(int32_t value);
    void SetMaxValue(int32_t value);
    void SetProgress(int32_t value);
    int PaintCount() const { return m_paints; } // how often the gauge has drawn itself

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void RepaintNow();
    GaugeModel m_model;
    int m_paints = 0;
};

} // namespace vestrand
