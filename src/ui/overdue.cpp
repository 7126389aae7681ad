#include "ui/overdue.h"

#include <cmath>
#include <set>

namespace vestrand {
namespace {

constexpr size_t kHintMax = 63;

bool Never(DateTime lastComplete) {
    return !(lastComplete > kNeverComplete);
}

// «Нет полной копии 4 дн.» or «Полной копии ещё не было».
std::string HowOld(DateTime lastComplete, DateTime now) {
    if (Never(lastComplete))
        return "Полной копии ещё не было";
    const double days = std::floor(now - lastComplete);
    return "Нет полной копии " + std::to_string(days > 0 ? static_cast<int64_t>(days) : 0) + " дн.";
}

const char* ShortReason(MissReason reason) {
    switch (reason) {
    case MissReason::DriveMissing:
        return "нет диска копии";
    case MissReason::LowSpace:
        return "мало места";
    case MissReason::Paused:
        return "копия приостановлена";
    case MissReason::Failure:
        break;
    }
    return "сбой копирования";
}

} // namespace

MissReason MissReasonOf(const PassResult& result, bool error) {
    if (error)
        return MissReason::Failure;
    switch (result.refusal) {
    case PassRefusal::RootUnreachable:
        return MissReason::DriveMissing;
    case PassRefusal::LowSpace:
        return MissReason::LowSpace;
    case PassRefusal::None:
        break;
    default:
        return MissReason::Failure;
    }
    if (result.paused)
        return MissReason::Paused;
    if (result.diskFull)
        return MissReason::LowSpace;
    return MissReason::Failure;
}

bool IsOverdue(DateTime lastComplete, DateTime now, int32_t warnDays, bool triedSinceStart) {
    if (warnDays <= 0 || !triedSinceStart)
        return false;
    return Never(lastComplete) || now - lastComplete > warnDays;
}

std::string OverdueHint(DateTime lastComplete, DateTime now, MissReason reason) {
    const std::string old = HowOld(lastComplete, now);
    const std::string hint = old + ": " + ShortReason(reason);
    return hint.size() <= kHintMax ? hint : old.substr(0, kHintMax);
}

std::string OverdueText(DateTime lastComplete, DateTime now, const std::string& reason) {
    return HowOld(lastComplete, now) + ": " + reason;
}

std::string LastCompleteText(DateTime lastComplete, char timeSeparator) {
    if (Never(lastComplete))
        return "Полной копии ещё не было";
    const std::string stamp = FormatTimeStamp(lastComplete, timeSeparator); // dd.mm.yy hh:nn:ss
    return "Последняя полная копия: " + stamp.substr(0, stamp.size() - 3);
}

bool DailyNotice::Due(bool active, DateTime now) {
    if (!active) {
        m_told = false;
        return false;
    }
    // A clock set back below the last telling starts the day anew.
    if (m_told && now >= m_toldAt && now - m_toldAt < 1.0)
        return false;
    m_told = true;
    m_toldAt = now;
    return true;
}

void FailingFiles::After(const PassResult& result, DateTime now) {
    if (!result.Complete())
        return;
    const std::set<std::string> failed(result.failed.begin(), result.failed.end());
    std::map<std::string, Failing> kept;
    for (const std::string& path : failed) {
        const auto known = m_paths.find(path);
        kept[path] = known != m_paths.end() ? known->second : Failing{now, false, 0};
    }
    m_paths = std::move(kept);
}

std::vector<std::string> FailingFiles::Due(DateTime now, int32_t warnDays) {
    std::vector<std::string> due;
    if (warnDays <= 0)
        return due;
    for (auto& [path, failing] : m_paths) {
        if (now - failing.since < warnDays)
            continue;
        if (failing.told && now >= failing.toldAt && now - failing.toldAt < 1.0)
            continue;
        failing.told = true;
        failing.toldAt = now;
        due.push_back(path);
    }
    return due;
}

std::string FailingFilesText(const std::vector<std::string>& paths, int32_t warnDays) {
    if (paths.empty())
        return std::string();
    std::string text = "Не копируется " + std::to_string(warnDays) + " дн. и дольше: " + paths.front();
    if (paths.size() > 1)
        text += " (и ещё " + std::to_string(paths.size() - 1) + ")";
    return text + ". Исключите файл в настройках или закройте программу, которая его держит.";
}

} // namespace vestrand
