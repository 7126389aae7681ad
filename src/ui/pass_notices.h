// Which passes the user is told of beyond the journal, and when a notice would only repeat itself.
#pragma once
#include <string>
#include <vector>

#include "engine/pass_result.h"

namespace vestrand {

// What is due after a pass; nothing for a clean pass or one that found another pass at work.
struct NoticeDue {
    bool refusal = false;       // the pass did not run, for a reason (and path) not told since
    bool failures = false;      // it wrote Failed lines, for other paths than the last pass did
    bool diskFull = false;      // it stopped copying at the free-space floor
    bool versionsGiven = false; // held versions were removed before their days were over, for space
    bool paused = false;        // the guard paused it, first or with counts that moved by a tenth
    bool Any() const { return refusal || failures || diskFull || versionsGiven || paused; }
};

class PassNotices {
public:
    // Takes the result of a pass and says what to tell. A refusal is told once until its reason
    // or path changes or a pass has run (the timer retries every 10 seconds); Failed lines are
    // told again only when the set of paths differs from the last pass's, so that a file that
    // stays locked does not raise a notice every pass. Paused passes are told the first time, and
    // again when the counts move by more than a tenth.
    NoticeDue After(const PassResult& result);

private:
    std::vector<std::string> m_lastFailed; // sorted
    bool m_pausedTold = false;             // passes are paused, and the user was told
    PlanDamage m_toldDamage;               // the counts the user was told
    PassRefusal m_lastRefusal = PassRefusal::None;
    std::string m_lastRefusalPath;
};

} // namespace vestrand
