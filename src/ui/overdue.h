// When the backup has grown old: the last complete pass lies further back than WarnAfterDays days
// and the program has tried since it started. The texts that say so, and the memory of files that
// fail pass after pass.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/pass_result.h"
#include "runtime/datetime.h"

namespace vestrand {

// The moment of the last complete pass when there was none (or what was stored cannot be one).
inline constexpr DateTime kNeverComplete = 0;

// Why the last pass that was tried did not complete, in a word.
enum class MissReason {
    DriveMissing, // the mirror folder could not be reached
    LowSpace,     // the free-space floor, before or during the pass
    Paused,       // the guard paused it
    Failure,      // refused for another reason, or ended by an error
};

// The reason of a pass that did not complete (an error ended it when `error`); a pass that was
// stopped is no try (see TFormVestrand) and has none of its own.
MissReason MissReasonOf(const PassResult& result, bool error);

// True when the backup is overdue: warnDays above 0, a pass tried since the program started, and
// the last complete pass more than warnDays days before now (or none).
bool IsOverdue(DateTime lastComplete, DateTime now, int32_t warnDays, bool triedSinceStart);

// The tray hint while overdue, at most 63 characters: «Нет полной копии 4 дн.: нет диска копии»,
// «Полной копии ещё не было: мало места». The reason is left out where it would not fit.
std::string OverdueHint(DateTime lastComplete, DateTime now, MissReason reason);
// The same at full length, with the reason as the user reads it elsewhere (the refusal's text).
std::string OverdueText(DateTime lastComplete, DateTime now, const std::string& reason);
// The window's line under the next run: «Последняя полная копия: 08.12.26 10:00» or «Полной
// копии ещё не было».
std::string LastCompleteText(DateTime lastComplete, char timeSeparator);

// Something told at most once a day: when it begins, then again each day while it lasts.
class DailyNotice {
public:
    // True when it is to be told now; an `active` false forgets it, so that it is told at once the
    // next time it begins.
    bool Due(bool active, DateTime now);

private:
    bool m_told = false;
    DateTime m_toldAt = 0;
};

// Paths that got a Failed line in every complete pass since a moment, kept while the program runs.
class FailingFiles {
public:
    // A complete pass: its Failed paths that were failing go on, new ones start now, the others
    // are forgotten. Other passes (they may not reach every file) change nothing.
    void After(const PassResult& result, DateTime now);
    // The paths failing for warnDays days or more (warnDays above 0) that were not named within
    // the last day, in order; they count as named now.
    std::vector<std::string> Due(DateTime now, int32_t warnDays);

private:
    struct Failing {
        DateTime since = 0;
        bool told = false;
        DateTime toldAt = 0;
    };
    std::map<std::string, Failing> m_paths;
};

// The balloon that names files failing for days: the first path, how many more, and what to do.
std::string FailingFilesText(const std::vector<std::string>& paths, int32_t warnDays);

} // namespace vestrand
