#include "ui/restore_texts.h"

#include <cstdio>

namespace vestrand {

std::string MomentText(const HistoryMoment& moment, bool now, char timeSeparator) {
    if (now)
        return "Сейчас";
    return FormatTimeStamp(moment.stop, timeSeparator).substr(0, 14) + "   нов. " +
           std::to_string(moment.added) + ", изм. " + std::to_string(moment.changed) + ", удал. " +
           std::to_string(moment.deleted);
}

std::string SizeText(int64_t bytes) {
    if (bytes < 1024)
        return std::to_string(bytes) + " байт";
    const char* const units[] = {"Кб", "Мб", "Гб", "Тб"};
    double value = static_cast<double>(bytes) / 1024;
    int unit = 0;
    for (; value >= 1024 && unit < 3; ++unit)
        value /= 1024;
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    std::string out(text);
    if (const size_t dot = out.find('.'); dot != std::string::npos)
        out[dot] = ','; // the Russian decimal mark
    return out + " " + units[unit];
}

std::string DosStampText(uint32_t packed, char timeSeparator) {
    char text[32];
    std::snprintf(text, sizeof text, "%02u.%02u.%02u %02u%c%02u", (packed >> 16) & 31, (packed >> 21) & 15,
                  ((packed >> 25) + 1980) % 100, (packed >> 11) & 31, timeSeparator, (packed >> 5) & 63);
    return text;
}

std::string TimeLeftText(int64_t done, int64_t total, double elapsedSeconds) {
    // Before two seconds or a hundredth of the bytes the rate says little.
    if (done <= 0 || total <= done || elapsedSeconds < 2 || done * 100 < total)
        return std::string();
    const double left = elapsedSeconds * static_cast<double>(total - done) / static_cast<double>(done);
    if (left < 60)
        return "осталось " + std::to_string(static_cast<int>(left) + 1) + " с";
    return "осталось около " + std::to_string(static_cast<int>(left / 60 + 0.5)) + " мин";
}

} // namespace vestrand
