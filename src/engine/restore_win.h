// Getting files back from the backup: the history of a mirror folder read from the disk, and a
// restore of entries of one moment to their original places or into a chosen folder. A window runs
// a restore on a worker thread (RestoreWorker); the command line runs it at once (RunRestore).
#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/backup_settings.h"
#include "engine/history.h"
#include "engine/mirror_names.h" // kRestoreMarkName
#include "engine/source_plan.h"
#include "runtime/datetime.h"

namespace vestrand {

// A mirror folder's history as read from the disk, and what a restore needs to follow it back.
struct LoadedHistory {
    std::string rootText;             // the mirror folder as the settings give it, ending in "\"
    std::wstring root;                // the same, extended-length
    std::vector<SourceSpot> spots;    // the listed sources, as the pass plans them
    std::wstring signature;           // the journal's files and the stamped folders when read
    std::unique_ptr<History> history; // none when the mirror folder cannot be read
    std::string error;                // why there is none
};

// Reads the journal (its archives first), the stamped folders and the mirror now. `settings` as
// the settings file gives them ("%NAME%" expanded here).
LoadedHistory LoadHistory(const BackupSettings& settings);

enum class RestoreOutcome {
    Done,    // every entry was dealt with (see the counts)
    Stopped, // the stop flag ended it
    Busy,    // a pass holds the mirror folder: nothing was done
    Nothing, // nothing in the backup under the selection at that moment
    Error,   // the backup cannot be read (see RestoreSummary::error)
};

struct RestoreRequest {
    HistoryMoment moment;           // History::Now() for the mirror as it is
    std::vector<std::wstring> rels; // the entries selected, relative to the mirror folder
    std::wstring destination; // empty: the original paths; else a folder, paths below the selection kept
    bool replace = false;     // a different file at the destination is held under ~versions and replaced
    // The bytes copied so far and in all; called on the restore's thread.
    std::function<void(int64_t done, int64_t total)> onProgress;
    const std::atomic<bool>* stop = nullptr; // ends the restore at the next block, no temporary file left
};

// A file or folder a restore could not write, and why.
struct RestoreFailure {
    std::wstring path;
    std::string reason; // in the program's code page: the system's message, or what stood in the way
};

struct RestoreSummary {
    RestoreOutcome outcome = RestoreOutcome::Done;
    int restored = 0;                   // files put in a free place, or in place of a different one (replace)
    int replaced = 0;                   // of those, the ones whose earlier file went to ~versions
    int identical = 0;                  // files left as they were: the destination was the same
    int folders = 0;                    // folders made
    std::vector<std::wstring> beside;   // restored copies put beside a different file of the user's
    std::vector<RestoreFailure> failed; // destinations that could not be written (or traced to a source)
    std::string error;
};

// Restores `request` from `loaded` (read again under the mirror's lock when a pass has added to
// the journal or the stamped folders since). `now` stamps the beside names and the held folder.
RestoreSummary RunRestore(const BackupSettings& settings, LoadedHistory& loaded,
                          const RestoreRequest& request, DateTime now);

// A restore on a thread of its own; `onDone` gets the summary on that thread.
class RestoreWorker {
public:
    RestoreWorker() = default;
    ~RestoreWorker(); // stops a restore under way and waits for it
    RestoreWorker(const RestoreWorker&) = delete;
    RestoreWorker& operator=(const RestoreWorker&) = delete;

    // False when one is running already. `loaded` is read (and read again, see RunRestore) by the
    // restore's thread: it must stay, untouched, until `onDone` has been called.
    bool Start(const BackupSettings& settings, LoadedHistory& loaded, RestoreRequest request, DateTime now,
               std::function<void(const RestoreSummary&)> onDone);
    void Stop() { m_stop = true; }
    bool Running() const { return m_running; }
    void Wait();

private:
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{false};
};

} // namespace vestrand
