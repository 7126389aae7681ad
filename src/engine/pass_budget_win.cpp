#include "engine/pass_budget_win.h"

#include "engine/fileops_win.h"

namespace vestrand {

PassBudget::PassBudget(const std::wstring& rootFull, int64_t floorBytes, PassVersions& versions)
    : m_rootFull(rootFull), m_floorBytes(floorBytes), m_versions(versions) {}

bool PassBudget::Open() {
    m_reserve = VersionsReserve(m_floorBytes, DriveSize(m_rootFull));
    m_space.emplace(
        m_floorBytes, ClusterBytes(m_rootFull),
        [this](bool exact) {
            if (m_settle)
                m_settle(exact);
            const int64_t free = FreeAboveReserve();
            return free < 0 ? free : free - m_costAhead;
        },
        [this] { return m_versions.RemoveOldest(); });
    return RoomFor(0);
}

bool PassBudget::RoomFor(int64_t cost) {
    m_floorReached = !m_space->RoomFor(cost);
    return !m_floorReached;
}

void PassBudget::ChargeAhead(int64_t cost) {
    m_space->Charge(cost);
    m_costAhead += cost;
}

int64_t PassBudget::FreeAboveReserve() {
    return m_versions.FreeAboveReserve(DriveFree(m_rootFull), m_reserve,
                                       [this] { return DriveFree(m_rootFull); });
}

} // namespace vestrand
