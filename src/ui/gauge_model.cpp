#include "ui/gauge_model.h"

namespace vestrand {

int32_t GaugeModel::Percent() const {
    if (m_max == m_min)
        return 0;
    const int64_t span = static_cast<int64_t>(m_max) - m_min;
    return static_cast<int32_t>((static_cast<int64_t>(m_progress) - m_min) * 100 / span);
}

bool GaugeModel::SetProgress(int32_t value) {
    if (value < m_min)
        value = m_min;
    if (value > m_max)
        value = m_max;
    if (value == m_progress)
        return false;
    const int32_t before = Percent();
    m_progress = value;
    return Percent() != before;
}

bool GaugeModel::SetMaxValue(int32_t value) {
    m_max = value;
    if (m_progress > m_max)
        m_progress = m_max;
    return true;
}

bool GaugeModel::SetMinValue(int32_t value) {
    m_min = value;
    if (m_progress < m_min)
        m_progress = m_min;
    return true;
}

int32_t GaugeBarEnd(int32_t outerWidth, int32_t percent) {
    const int32_t inner = outerWidth - 2;
    if (inner <= 0)
        return 0;
    int64_t column = (static_cast<int64_t>(inner) + 1) * percent / 100;
    if (column > inner + 1)
        column = inner + 1; // the inner right edge, exclusive
    if (column < 1)
        column = 0;
    return static_cast<int32_t>(column);
}

} // namespace vestrand
