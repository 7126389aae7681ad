// The room a pass has for what it copies: above the free-space floor, and above the reserve that
// held versions leave on the drive. Held versions never stop today's backup: at the floor, the
// oldest stamped folders (never this pass's) give way first.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/held_versions_win.h"
#include "engine/space_budget.h"

namespace vestrand {

class PassBudget {
public:
    // `rootFull` the mirror folder; `floorBytes` the free space the backup drive always keeps.
    PassBudget(const std::wstring& rootFull, int64_t floorBytes, PassVersions& versions);

    // Measures the room for the first time; false when there is none even once the oldest held
    // versions are gone.
    bool Open();

    // Whether an entry of `cost` (see SpaceBudget) fits above the floor; once one does not, the
    // floor is reached and copying stops before it.
    bool RoomFor(int64_t cost);
    bool FloorReached() const { return m_floorReached; }
    // At the pass's end: the floor was reached, or the budget used up to its last byte, which has
    // always counted as the floor reached.
    bool EndedAtFloor() const { return m_floorReached || m_space->UsedUp(); }

    int64_t FileCost(int64_t size) const { return m_space->FileCost(size); }
    int64_t FolderCost() const { return m_space->FolderCost(); }
    void Charge(int64_t cost) { m_space->Charge(cost); }
    void GiveBack(int64_t cost) { m_space->GiveBack(cost); }
    // A copy asked for and not yet finished: charged now, and not counted as free by a measurement
    // made before it finishes; Settled once it has.
    void ChargeAhead(int64_t cost);
    void Settled(int64_t cost) { m_costAhead -= cost; }
    // What a measurement first does with the copies under way: all finished (`exact`), or those
    // finished without waiting taken back.
    void SetSettling(std::function<void(bool exact)> settle) { m_settle = std::move(settle); }

    // The drive's free space once held versions have given way to the reserve (see PassVersions).
    int64_t FreeAboveReserve();

    int64_t Floor() const { return m_space->Floor(); }
    int64_t Free() const { return m_space->Free(); }
    int Measurements() const { return m_space->Measurements(); }
    double MeasuringSeconds() const { return m_space->MeasuringSeconds(); }

private:
    const std::wstring& m_rootFull;
    const int64_t m_floorBytes;
    PassVersions& m_versions;
    int64_t m_reserve = 0; // the free space held versions leave (see VersionsReserve)
    std::optional<SpaceBudget> m_space;
    int64_t m_costAhead = 0;
    bool m_floorReached = false;
    std::function<void(bool exact)> m_settle;
};

} // namespace vestrand
