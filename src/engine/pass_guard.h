// The guard between comparing and the first change: a pass whose plan would overwrite or delete a
// large part of the backup (what encrypting malware or a mistaken script leaves behind) changes
// nothing and waits for the user to confirm.
#pragma once
#include <cstdint>
#include <string>

#include "engine/compare_rule.h"

namespace vestrand {

// What a plan would destroy of the mirror files under the listed, reachable sources. Folders, the
// mirror of a source taken out of the settings and what an unreachable source keeps are not
// counted.
struct PlanDamage {
    int64_t overwritten = 0; // files whose copy an Update replaces, or a folder of their name
    int64_t deleted = 0;     // files no source produces any more
    int64_t mirrored = 0;    // every mirror file under those sources
    // Of the files overwritten or deleted, those that an exclusion taken out of the list since the
    // last complete pass had kept as they were (what the mirror held of an excluded entry).
    int64_t unexcluded = 0;

    int64_t Destroyed() const { return overwritten + deleted; }
    bool operator==(const PlanDamage&) const = default;
};

// What comparing counts for the guard as it goes, and what the plan destroys once the mirror
// files no source matched are known.
class DamageCount {
public:
    // A mirror entry `was` found under the name of a source entry `now`, which comparing decided
    // `act` for: one more file of the backup, overwritten when its content changes (a change of
    // attributes alone is made in place). A file that an entry of the other kind replaces is still
    // in the index: it is counted with what is left there. True for a file overwritten.
    bool Compared(const TFileParam& was, const TFileParam& now, Act act);
    // One of the files overwritten was kept as it was by a pattern taken out of the list.
    void Unexcluded() { ++m_damage.unexcluded; }
    // The plan's damage, with `left` the mirror files no source matched under the listed, reachable
    // sources (deleted, or overwritten by a folder of their name) and `unexcludedLeft` those of
    // them a removed pattern had kept.
    PlanDamage WithLeft(int64_t left, int64_t unexcludedLeft) const;

private:
    PlanDamage m_damage;
    int64_t m_replacedFiles = 0; // mirror files a folder of their name replaces
};

// No guard below this many files, however small the backup.
inline constexpr int64_t kGuardMinFiles = 100;

// True when the plan is to be paused: at least kGuardMinFiles files destroyed, and at least
// `percent` % of the mirror files (percent 0: never).
bool GuardTrips(const PlanDamage& damage, int32_t percent);

// The share of the mirror files destroyed, in whole percent (rounded down, 100 at most).
int32_t DamagePercent(const PlanDamage& damage);

// The balloon of a paused pass: «Копия приостановлена: заменить 1500 и удалить 500 файлов из 2000
// (100 %). Если это ваши изменения, выберите «Разрешить изменения».» When files that a removed
// exclusion had kept are among them, the counts end «… (100 %) после изменения исключений.»
std::string PausedBalloonText(const PlanDamage& damage);
// The tray hint and the window's label while passes are paused, at most 63 characters:
// «Копия приостановлена: 2000 из 2000 файлов (100 %)».
std::string PausedHint(const PlanDamage& damage);

// True when the counts moved by more than a tenth since the balloon last told them, so that it is
// told again.
bool DamageChangedMuch(const PlanDamage& told, const PlanDamage& now);

} // namespace vestrand
