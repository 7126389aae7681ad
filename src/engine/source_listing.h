// The listings of a walk of the source folders, made on a thread of their own while the pass walks
// the mirror, and handed to comparing in the order it asks for the folders (depth first, each
// folder's subfolders in the order listed). Comparing never depends on them: a folder whose listing
// is not there when asked for is listed by comparing itself.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vestrand {

// One folder's entries as a search listed them, kept compact (the names in one string), since the
// listings of a whole source tree may wait while the mirror is walked.
class FolderListing {
public:
    struct Entry {
        int64_t size;
        int64_t written; // the last write to the 100 ns
        int32_t time;    // the last write, packed
        int32_t attr;
        uint32_t nameAt;
        uint32_t nameSize;
    };

    explicit FolderListing(std::wstring folder = std::wstring()) : m_folder(std::move(folder)) {}

    void Add(std::wstring_view name, int32_t time, int64_t size, int32_t attr, int64_t written);
    // How the search ended: whether it found anything at all, and the error it failed with if not.
    void SetOutcome(bool found, uint32_t error) {
        m_found = found;
        m_error = error;
    }

    const std::wstring& Folder() const { return m_folder; }
    const std::vector<Entry>& Entries() const { return m_entries; }
    std::wstring_view NameOf(const Entry& e) const {
        return std::wstring_view(m_names).substr(e.nameAt, e.nameSize);
    }
    bool Found() const { return m_found; }
    uint32_t Error() const { return m_error; }
    // What it holds in memory.
    size_t Bytes() const;
    // Gives back the room its entries and names grew into beyond what they hold: a listing waits
    // in the queue, where that room would be most of a small folder's.
    void Fit();

private:
    std::wstring m_folder;
    std::vector<Entry> m_entries;
    std::wstring m_names;
    bool m_found = false;
    uint32_t m_error = 0;
};

// Listings handed from the thread that makes them to the one that asks for them, in order, holding
// about `byteLimit` bytes at most (a larger listing is still taken when it comes alone).
class ListingQueue {
public:
    explicit ListingQueue(size_t byteLimit) : m_byteLimit(byteLimit) {}

    // Waits for room; false once the queue is closed (the listing is then dropped).
    bool Put(FolderListing listing);
    // No more listings come.
    void Finish();
    // The listing of `folder`: the next one, or a later one when those before it are of folders the
    // taker did not enter (they are dropped). Nothing when it cannot come: the maker has finished
    // without it, or holds the queue full without it; the taker then lists the folder itself. A full
    // queue that cannot serve is closed, as what it holds is not what the taker walks.
    std::optional<FolderListing> Take(const std::wstring& folder);
    // Nothing more is wanted: what is held is dropped, and Put returns false from now on.
    void Close();

private:
    const size_t m_byteLimit;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<FolderListing> m_listings;
    size_t m_bytes = 0;
    bool m_makerWaits = false; // for room
    bool m_finished = false;
    bool m_closed = false;
};

} // namespace vestrand
