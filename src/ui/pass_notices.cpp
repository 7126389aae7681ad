#include "ui/pass_notices.h"

#include <algorithm>

namespace vestrand {

NoticeDue PassNotices::After(const PassResult& result) {
    NoticeDue due;
    if (result.refusal == PassRefusal::Busy)
        return due; // another pass is at work: not a failure, the next tick tries again
    due.versionsGiven = result.versionsRemovedEarly; // even when space still ran short
    if (!result.Ran()) {
        due.refusal = result.refusal != m_lastRefusal || result.path != m_lastRefusalPath;
        m_lastRefusal = result.refusal;
        m_lastRefusalPath = result.path;
        return due;
    }
    m_lastRefusal = PassRefusal::None;
    m_lastRefusalPath.clear();
    if (result.paused) {
        due.paused = !m_pausedTold || DamageChangedMuch(m_toldDamage, result.damage);
        if (due.paused)
            m_toldDamage = result.damage;
        m_pausedTold = true;
        return due;
    }
    m_pausedTold = false;
    std::vector<std::string> failed = result.failed;
    std::sort(failed.begin(), failed.end());
    failed.erase(std::unique(failed.begin(), failed.end()), failed.end());
    due.failures = !failed.empty() && failed != m_lastFailed;
    m_lastFailed = std::move(failed);
    due.diskFull = result.diskFull;
    due.versionsGiven = result.versionsRemovedEarly;
    return due;
}

} // namespace vestrand
