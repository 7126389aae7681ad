#include "engine/source_listing.h"

#include <algorithm>

namespace vestrand {

void FolderListing::Add(std::wstring_view name, int32_t time, int64_t size, int32_t attr, int64_t written) {
    m_entries.push_back(Entry{size, written, time, attr, static_cast<uint32_t>(m_names.size()),
                              static_cast<uint32_t>(name.size())});
    m_names += name;
}

size_t FolderListing::Bytes() const {
    return sizeof(FolderListing) + (m_folder.capacity() + m_names.capacity()) * sizeof(wchar_t) +
           m_entries.capacity() * sizeof(Entry);
}

void FolderListing::Fit() {
    m_entries.shrink_to_fit();
    m_names.shrink_to_fit();
}

bool ListingQueue::Put(FolderListing listing) {
    listing.Fit();
    const size_t bytes = listing.Bytes();
    std::unique_lock lock(m_mutex);
    while (!m_closed && !m_listings.empty() && m_bytes + bytes > m_byteLimit) {
        m_makerWaits = true;
        m_changed.notify_all(); // a taker waiting for a listing not held learns that none can come
        m_changed.wait(lock);
    }
    m_makerWaits = false;
    if (m_closed)
        return false;
    m_bytes += bytes;
    m_listings.push_back(std::move(listing));
    m_changed.notify_all();
    return true;
}

void ListingQueue::Finish() {
    const std::lock_guard lock(m_mutex);
    m_finished = true;
    m_changed.notify_all();
}

std::optional<FolderListing> ListingQueue::Take(const std::wstring& folder) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        const auto found = std::find_if(m_listings.begin(), m_listings.end(),
                                        [&](const FolderListing& l) { return l.Folder() == folder; });
        if (found != m_listings.end()) {
            for (auto it = m_listings.begin(); it <= found; ++it)
                m_bytes -= it->Bytes();
            FolderListing taken = std::move(*found);
            m_listings.erase(m_listings.begin(), found + 1);
            m_makerWaits = false; // there may be room now: the maker tells again if not
            m_changed.notify_all();
            return taken;
        }
        if (m_closed || m_finished)
            return std::nullopt;
        if (m_makerWaits && !m_listings.empty()) {
            m_closed = true;
            m_listings.clear();
            m_bytes = 0;
            m_changed.notify_all();
            return std::nullopt;
        }
        m_changed.wait(lock);
    }
}

void ListingQueue::Close() {
    const std::lock_guard lock(m_mutex);
    m_closed = true;
    m_listings.clear();
    m_bytes = 0;
    m_changed.notify_all();
}

} // namespace vestrand
