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
    bool Any() const { return refusal || failures || diskFull || versionsGiven; }
};

class PassNotices {
public:
    // Takes the result of a pass and says what to tell. A refusal is told once until its reason
    // or path changes or a pass has run (the timer retries every 10 seconds); Failed lines are
    // told again only when the set of paths differs from the last pass's, so that a file that
    // stays locked does not raise a notice every pass.
    NoticeDue After(const PassResult& result);

private:
    std::vector<std::string> m_lastFailed; // sorted
    PassRefusal m_lastRefusal = PassRefusal::None;
    std::string m_lastRefusalPath;
};

} // namespace vestrand
