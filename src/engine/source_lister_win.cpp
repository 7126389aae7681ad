#include "engine/source_lister_win.h"

#include <windows.h>

#include "engine/paths.h"

namespace vestrand {
namespace {

bool IsDots(const std::wstring& name) {
    return name == L"." || name == L"..";
}

} // namespace

SourceLister::SourceLister(std::vector<std::wstring> roots, Enters enters, const std::atomic<bool>* stop,
                           size_t byteLimit)
    : m_roots(std::move(roots)), m_enters(std::move(enters)), m_stop(stop), m_queue(byteLimit) {
    m_thread = std::thread([this] { Walk(); });
}

SourceLister::~SourceLister() {
    m_queue.Close();
    m_thread.join();
}

void SourceLister::Walk() {
    try {
        for (const auto& root : m_roots) {
            std::wstring rootLong = LongFullPath(root);
            if (rootLong.empty() || rootLong.back() != L'\\')
                rootLong += L'\\';
            if (!WalkTree(root, rootLong, L""))
                break;
        }
    } catch (const std::exception&) {
        // Out of memory: comparing lists what is left itself.
    }
    m_queue.Finish();
}

// Lists root + rel, hands the listing on, then walks the subfolders comparing enters, in the order
// listed. False once the walk is to end.
bool SourceLister::WalkTree(const std::wstring& root, const std::wstring& rootLong, const std::wstring& rel) {
    FolderListing listing(root + rel);
    std::vector<std::wstring> entered;
    const bool found = SearchFolder(ExtendedPath(root + rel) + L"*", [&](const WideEntry& e) {
        if (Stopped())
            return false;
        if (IsDots(e.Name))
            return true;
        listing.Add(e.Name, e.Time, e.Size, e.Attr, e.Written);
        if ((e.Attr & FILE_ATTRIBUTE_DIRECTORY) && m_enters(root, rel, rootLong, e))
            entered.push_back(e.Name);
        return true;
    });
    listing.SetOutcome(found, found ? 0 : GetLastError());
    if (Stopped() || !m_queue.Put(std::move(listing)))
        return false;
    for (const auto& name : entered)
        if (!WalkTree(root, rootLong, rel + name + L"\\"))
            return false;
    return true;
}

bool SourceLister::List(const std::wstring& dir, const std::function<bool(const WideEntry&)>& onEntry) {
    std::optional<FolderListing> listing = m_queue.Take(dir);
    if (!listing)
        return SearchFolder(ExtendedPath(dir) + L"*",
                            [&](const WideEntry& e) { return IsDots(e.Name) || onEntry(e); });
    if (!listing->Found()) {
        SetLastError(listing->Error());
        return false;
    }
    WideEntry e;
    for (const auto& entry : listing->Entries()) {
        e.Name = listing->NameOf(entry);
        e.Time = entry.time;
        e.Size = entry.size;
        e.Attr = entry.attr;
        e.Written = entry.written;
        if (!onEntry(e))
            break;
    }
    return true;
}

} // namespace vestrand
