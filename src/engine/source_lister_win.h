// The walk of the listed source folders on a thread of its own, ahead of comparing (see
// source_listing.h), so that it runs while the pass walks the mirror.
#pragma once
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/fileops_win.h"
#include "engine/source_listing.h"

namespace vestrand {

class SourceLister {
public:
    // Whether comparing enters the folder `e`, listed at `rel` (empty or ending in "\") below the
    // listed folder `root`, whose long full form is `rootLong`. Called on the lister's thread: it
    // must read nothing that changes during comparing.
    using Enters = std::function<bool(const std::wstring& root, const std::wstring& rel,
                                      const std::wstring& rootLong, const WideEntry& e)>;

    // Lists the folders `roots` (full forms ending in "\") one after the other, each depth first,
    // holding about `byteLimit` bytes of listings not yet asked for. Stops once `stop` is set.
    SourceLister(std::vector<std::wstring> roots, Enters enters, const std::atomic<bool>* stop,
                 size_t byteLimit);
    // Listings not asked for are dropped; the walk ends at its next folder.
    ~SourceLister();
    SourceLister(const SourceLister&) = delete;
    SourceLister& operator=(const SourceLister&) = delete;

    // As SearchFolder(ExtendedPath(dir) + L"*", onEntry) without "." and "..", from the listing made
    // ahead when it is there. False when the search found nothing, GetLastError then telling why.
    bool List(const std::wstring& dir, const std::function<bool(const WideEntry&)>& onEntry);

private:
    void Walk();
    bool WalkTree(const std::wstring& root, const std::wstring& rootLong, const std::wstring& rel);
    bool Stopped() const { return m_stop && m_stop->load(std::memory_order_relaxed); }

    const std::vector<std::wstring> m_roots;
    const Enters m_enters;
    const std::atomic<bool>* m_stop;
    ListingQueue m_queue;
    std::thread m_thread;
};

} // namespace vestrand
