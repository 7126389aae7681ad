// The room a pass has above the free-space floor of the backup drive: what it may still write
// before the drive's free space would fall below the floor. The drive is measured only now and
// then; in between, each entry made is charged at what it takes on a drive (its size rounded up
// to the cluster, and the file system's record of it), so that many small files cannot cross the
// floor unseen.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "runtime/datetime.h"

namespace vestrand {

class SpaceBudget {
public:
    // The drive's free space in bytes, -1 when it cannot be read. `exact`: near the floor, where
    // the pass waits for the copies it has asked for, so that the drive shows them; otherwise it
    // does not wait, and leaves out what those not yet seen finished were charged, as if none of
    // them had begun (waiting at every measurement would leave its copiers idle).
    using Measure = std::function<int64_t(bool exact)>;
    // Frees room by removing the oldest held versions: false when there are none left to remove.
    using FreeUp = std::function<bool()>;

    // Taken when the cluster size of the drive cannot be read.
    static constexpr int64_t kDefaultClusterBytes = 4096;
    // What the file system keeps of each entry beyond its clusters: an NTFS file record is 1 KiB
    // (4 KiB on drives of 4 KiB sectors), and a folder's index (on ext4 its blocks) grows by 4 KiB
    // as names are added to it. It is also how far a file may take the drive below the floor.
    static constexpr int64_t kRecordBytes = 4096;
    // The drive is measured again before an entry that would leave less than this above the floor,
    static constexpr int64_t kRecheckBelow = 500000;
    // and after this much has been charged, or this many entries, since it was last measured.
    static constexpr int64_t kRecheckAfterBytes = 64 * 1024 * 1024;
    static constexpr int64_t kRecheckAfterEntries = 1000;

    // `clusterBytes` 0 or less: not known (kDefaultClusterBytes is taken).
    SpaceBudget(int64_t floorBytes, int64_t clusterBytes, Measure measure, FreeUp freeUp);

    // A file of `size` bytes: its clusters and its record. A folder: one cluster and its record.
    int64_t FileCost(int64_t size) const;
    int64_t FolderCost() const { return m_cluster + kRecordBytes; }

    // Whether an entry of `cost` fits above the floor. Measures the drive first when that is due,
    // and while it does not fit by a measured free space, has the oldest held versions removed
    // (a free space that could not be read never costs them). Nothing is charged.
    bool RoomFor(int64_t cost);
    // The drive is to be measured before an entry of `cost`.
    bool MeasureDue(int64_t cost) const;
    // An entry made, and one charged that was not made after all.
    void Charge(int64_t cost);
    void GiveBack(int64_t cost);

    int64_t Floor() const { return m_floor; }
    // The free space last measured, -1 when it could not be read or was never measured.
    int64_t Free() const { return m_free; }
    // No room is left above the floor, as far as the budget knows.
    bool UsedUp() const { return m_left <= 0; }
    // How often the drive was measured, and the time spent measuring (waiting for the copies ahead
    // included): what the floor costs a pass.
    int Measurements() const { return m_measurements; }
    double MeasuringSeconds() const { return m_measuringSeconds; }

private:
    void MeasureNow(bool exact);

    int64_t m_floor;
    int64_t m_cluster;
    Measure m_measure;
    FreeUp m_freeUp;
    bool m_measured = false;
    int64_t m_free = -1;
    int64_t m_left = 0;
    int64_t m_bytesSince = 0;   // charged since the drive was last measured
    int64_t m_entriesSince = 0; // the same in entries
    int m_measurements = 0;
    double m_measuringSeconds = 0;
};

// ---- The reserve that held versions leave on the backup drive ----

// Held versions never keep the drive's free space below this: the larger of the floor and a tenth
// of the drive's size (`driveBytes` 0 or less: not known, the floor alone).
int64_t VersionsReserve(int64_t floorBytes, int64_t driveBytes);

// Stamped folders younger than this many days are never removed for the reserve (the floor alone,
// which stops today's backup, takes them).
inline constexpr double kReserveSparesDays = 7;

// A stamped folder under the versions folder.
struct StampedFolder {
    DateTime stamp;
    bool current; // the folder of the pass at work: never removed
};

// The folder to remove for the reserve from `oldestFirst` at `now`: the oldest one that is not the
// current pass's and is at least kReserveSparesDays old. None while the measured `free` is at least
// `reserve`, or when it could not be measured (negative).
std::optional<size_t> ReserveVictim(const std::vector<StampedFolder>& oldestFirst, DateTime now, int64_t free,
                                    int64_t reserve);

} // namespace vestrand
