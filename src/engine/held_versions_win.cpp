#include "engine/held_versions_win.h"

#include <windows.h>

#include <algorithm>

#include "engine/backup_index_win.h" // SameFileName
#include "engine/fileops_win.h"
#include "engine/paths.h"
#include "engine/space_budget.h"
#include "runtime/handles_win.h"
#include "runtime/cp1251.h"

namespace vestrand {

std::vector<StampedFolderEntry> ListStampedFolders(const std::wstring& versions) {
    std::vector<StampedFolderEntry> found;
    SearchFolder(versions + L"*", [&](const WideEntry& e) {
        DateTime stamp = 0;
        if ((e.Attr & FILE_ATTRIBUTE_DIRECTORY) && StampOfFolderName(e.Name, stamp))
            found.push_back({stamp, e.Name});
        return true;
    });
    std::sort(found.begin(), found.end(),
              [](const StampedFolderEntry& a, const StampedFolderEntry& b) { return a.stamp < b.stamp; });
    return found;
}

PassVersions::PassVersions(const std::wstring& root, DateTime start, int keepDays)
    : m_root(root), m_versions(root + WidenCp1251(kVersionsFolderName) + L"\\"),
      m_current(StampedFolderName(start)), m_start(start), m_keepDays(keepDays) {}

void PassVersions::PruneByAge(const std::function<bool()>& stopped) {
    for (const auto& folder : ListStampedFolders(m_versions))
        if (!stopped() && m_start - folder.stamp > m_keepDays + kSecond / 2) // exactly the days old is kept
            RemoveFolderTree(m_versions + folder.name);
}

bool PassVersions::RemoveOldest() {
    for (const auto& folder : ListStampedFolders(m_versions)) {
        if (Spared(folder.name))
            continue;
        RemoveStamped(folder.name);
        return true;
    }
    return false;
}

int64_t PassVersions::FreeAboveReserve(int64_t free, int64_t reserve,
                                       const std::function<int64_t()>& measure) {
    while (!m_reserveSpent && free >= 0 && free < reserve) {
        const auto stamped = ListStampedFolders(m_versions);
        std::vector<StampedFolder> folders;
        for (const auto& folder : stamped)
            folders.push_back({folder.stamp, Spared(folder.name)});
        const std::optional<size_t> victim = ReserveVictim(folders, m_start, free, reserve);
        if (!victim) {
            m_reserveSpent = true;
            break;
        }
        RemoveStamped(stamped[*victim].name);
        free = measure();
    }
    return free;
}

namespace {

// Writes a line for every file below `folder` + `rel`, in the order the search gives them.
void ListHeld(const std::wstring& folder, const std::wstring& rel,
              const std::function<void(std::string)>& line, size_t& count) {
    SearchFolder(folder + rel + L"*", [&](const WideEntry& e) {
        if (e.Name == L"." || e.Name == L".." ||
            (rel.empty() && SameFileName(e.Name, WidenCp1251(kHeldListName))))
            return true;
        if (e.Attr & FILE_ATTRIBUTE_DIRECTORY) {
            ListHeld(folder, rel + e.Name + L"\\", line, count);
        } else {
            line(HeldListLine(rel + e.Name, TFileParam{e.Time, e.Size, e.Attr}));
            ++count;
        }
        return true;
    });
}

} // namespace

void PassVersions::WriteHeldList() const {
    const std::wstring folder = m_versions + m_current + L"\\";
    if (!IsFolder(folder))
        return;
    FileHandle list(CreateFileW((folder + WidenCp1251(kHeldListName)).c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!list)
        return; // the history searches the folder instead
    std::string buffer;
    bool written = true;
    const auto flush = [&] {
        DWORD done = 0;
        written = written &&
                  WriteFile(list.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &done, nullptr) &&
                  done == buffer.size();
        buffer.clear();
    };
    size_t count = 0;
    ListHeld(
        folder, L"",
        [&](std::string line) {
            buffer += line;
            if (buffer.size() >= 64 * 1024)
                flush();
        },
        count);
    buffer += HeldListEnd(count);
    flush();
    if (!written) {
        list.Reset();
        DeleteFileW((folder + WidenCp1251(kHeldListName)).c_str());
    }
}

bool PassVersions::Hold(const std::wstring& rel) {
    const std::wstring held = HeldPathOf(rel);
    return MoveFileExW((m_root + rel).c_str(), held.c_str(), 0) != 0;
}

std::wstring PassVersions::HeldPathOf(const std::wstring& rel) {
    const std::wstring held = m_versions + m_current + L"\\" + rel;
    CreateDirChain(FileDirOf(held));
    return held;
}

// Removes a stamped folder before its days are over. One that cannot be removed whole (a file in it
// held open) is not tried again by this pass, so that asking for room always ends.
void PassVersions::RemoveStamped(const std::wstring& name) {
    if (!RemoveFolderTree(m_versions + name))
        m_unremovable.push_back(name);
    m_removedEarly = true;
}

bool PassVersions::Spared(const std::wstring& name) const {
    return SameFileName(name, m_current) ||
           std::any_of(m_unremovable.begin(), m_unremovable.end(),
                       [&](const std::wstring& tried) { return SameFileName(tried, name); });
}

} // namespace vestrand
