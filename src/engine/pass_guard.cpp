#include "engine/pass_guard.h"

#include <algorithm>

namespace vestrand {

// Counts of files are far below 2^53, so these products are exact and cannot overflow.
bool GuardTrips(const PlanDamage& damage, int32_t percent) {
    const int64_t destroyed = damage.Destroyed();
    return percent > 0 && destroyed >= kGuardMinFiles &&
           100.0L * static_cast<long double>(destroyed) >=
               static_cast<long double>(percent) * static_cast<long double>(damage.mirrored);
}

int32_t DamagePercent(const PlanDamage& damage) {
    if (damage.mirrored <= 0)
        return 100;
    const long double share =
        100.0L * static_cast<long double>(damage.Destroyed()) / static_cast<long double>(damage.mirrored);
    return share >= 100.0L ? 100 : static_cast<int32_t>(share);
}

std::string PausedBalloonText(const PlanDamage& damage) {
    std::string what;
    if (damage.overwritten > 0)
        what = "заменить " + std::to_string(damage.overwritten);
    if (damage.deleted > 0)
        what += (what.empty() ? "удалить " : " и удалить ") + std::to_string(damage.deleted);
    return "Копия приостановлена: " + what + " файлов из " + std::to_string(damage.mirrored) + " (" +
           std::to_string(DamagePercent(damage)) + " %)" +
           (damage.unexcluded > 0 ? " после изменения исключений" : "") +
           ". Если это ваши изменения, выберите «Разрешить изменения».";
}

std::string PausedHint(const PlanDamage& damage) {
    std::string hint = "Копия приостановлена: " + std::to_string(damage.Destroyed()) + " из " +
                       std::to_string(damage.mirrored) + " файлов (" + std::to_string(DamagePercent(damage)) +
                       " %)";
    if (hint.size() > 63)
        hint = "Копия приостановлена: " + std::to_string(DamagePercent(damage)) + " % файлов";
    return hint;
}

bool DamageChangedMuch(const PlanDamage& told, const PlanDamage& now) {
    const auto far = [](int64_t a, int64_t b) { return std::max(a - b, b - a) > std::max(a, b) / 10; };
    return far(told.overwritten, now.overwritten) || far(told.deleted, now.deleted) ||
           far(told.mirrored, now.mirrored);
}

bool DamageCount::Compared(const TFileParam& was, const TFileParam& now, Act act) {
    if (was.Attr & kFolderAttr)
        return false;
    if (act == Act::Replace) {
        ++m_replacedFiles;
        return false;
    }
    ++m_damage.mirrored;
    if (was.Time == now.Time && was.Size == now.Size)
        return false;
    ++m_damage.overwritten;
    return true;
}

PlanDamage DamageCount::WithLeft(int64_t left, int64_t unexcludedLeft) const {
    PlanDamage damage = m_damage;
    left = std::max<int64_t>(left, 0);
    damage.mirrored += left;
    damage.deleted = std::max<int64_t>(left - m_replacedFiles, 0);
    damage.overwritten += std::min(m_replacedFiles, left);
    damage.unexcluded += unexcludedLeft;
    return damage;
}

} // namespace vestrand
