#include "engine/pass_progress.h"

#include <algorithm>
#include <cmath>

namespace vestrand {

int PassProgress::Percent() const {
    if (m_total <= 0)
        return 0;
    const int64_t done = std::clamp<int64_t>(m_done, 0, m_total);
    // done * 100 cannot overflow: a pass's bytes stay far below 2^63 / 100.
    return static_cast<int>(done * 100 / m_total);
}

std::optional<double> PassProgress::SecondsLeft(double copyingSeconds) const {
    if (copyingSeconds < kEstimateAfterSeconds || m_done <= 0 || m_total <= 0)
        return std::nullopt;
    const double left = static_cast<double>(std::max<int64_t>(m_total - m_done, 0));
    return copyingSeconds * left / static_cast<double>(m_done);
}

std::string RemainingText(double seconds) {
    if (!(seconds >= 60.0))
        return "меньше минуты";
    // Whole minutes, rounded to the nearest; a huge estimate is capped rather than overflowing.
    const int64_t minutes = static_cast<int64_t>(std::min(std::round(seconds / 60.0), 60.0 * 9999));
    if (minutes < 60)
        return std::to_string(minutes) + " мин";
    return std::to_string(minutes / 60) + " ч " + std::to_string(minutes % 60) + " мин";
}

std::string ComparingHint() {
    return "Создаю полис: просмотр";
}

std::string WorkingHint(int percent, std::optional<double> secondsLeft) {
    std::string hint = "Создаю полис: " + std::to_string(std::clamp(percent, 0, 100)) + " %";
    if (secondsLeft)
        hint += ", осталось ~" + RemainingText(*secondsLeft);
    return hint.size() <= kHintLimit ? hint : hint.substr(0, kHintLimit);
}

} // namespace vestrand
