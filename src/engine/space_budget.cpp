#include "engine/space_budget.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace vestrand {

SpaceBudget::SpaceBudget(int64_t floorBytes, int64_t clusterBytes, Measure measure, FreeUp freeUp)
    : m_floor(floorBytes), m_cluster(clusterBytes > 0 ? clusterBytes : kDefaultClusterBytes),
      m_measure(std::move(measure)), m_freeUp(std::move(freeUp)) {}

int64_t SpaceBudget::FileCost(int64_t size) const {
    const int64_t clusters = size > 0 ? (size - 1) / m_cluster + 1 : 0;
    return clusters * m_cluster + kRecordBytes;
}

bool SpaceBudget::MeasureDue(int64_t cost) const {
    return !m_measured || m_left - cost < kRecheckBelow || m_bytesSince >= kRecheckAfterBytes ||
           m_entriesSince >= kRecheckAfterEntries;
}

bool SpaceBudget::RoomFor(int64_t cost) {
    if (MeasureDue(cost))
        MeasureNow(!m_measured || m_left - cost < kRecheckBelow);
    while (m_left - cost < 0 && m_free >= 0 && m_freeUp && m_freeUp())
        MeasureNow(true);
    return m_left - cost >= 0;
}

void SpaceBudget::Charge(int64_t cost) {
    m_left -= cost;
    m_bytesSince += cost;
    ++m_entriesSince;
}

void SpaceBudget::GiveBack(int64_t cost) {
    m_left += cost;
    m_bytesSince -= cost;
    --m_entriesSince;
}

void SpaceBudget::MeasureNow(bool exact) {
    // The measuring may give back copies that were not made (see Measure): what it finds replaces
    // every charge and give-back so far.
    const auto began = std::chrono::steady_clock::now();
    const int64_t free = m_measure(exact);
    m_measuringSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    ++m_measurements;
    m_measured = true;
    m_free = free;
    m_left = free - m_floor;
    m_bytesSince = 0;
    m_entriesSince = 0;
}

int64_t VersionsReserve(int64_t floorBytes, int64_t driveBytes) {
    return std::max(floorBytes, driveBytes > 0 ? driveBytes / 10 : 0);
}

std::optional<size_t> ReserveVictim(const std::vector<StampedFolder>& oldestFirst, DateTime now, int64_t free,
                                    int64_t reserve) {
    if (free < 0 || free >= reserve)
        return std::nullopt;
    for (size_t i = 0; i < oldestFirst.size(); ++i)
        if (!oldestFirst[i].current && now - oldestFirst[i].stamp >= kReserveSparesDays - kSecond / 2)
            return i; // exactly the days old counts as old enough (stamps are whole seconds)
    return std::nullopt;
}

} // namespace vestrand
