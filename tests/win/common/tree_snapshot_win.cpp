#include "tree_snapshot.h"

#include "test_drives.h"

#include "engine/paths.h"

#include <cstdio>

namespace vestrand::test {

std::string NarrowU(const std::wstring& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned long point = static_cast<unsigned long>(text[i]) & 0xFFFF;
        size_t units = 1;
        if (point >= 0xD800 && point <= 0xDBFF && i + 1 < text.size()) {
            point = 0x10000 + ((point - 0xD800) << 10) +
                    ((static_cast<unsigned long>(text[i + 1]) & 0xFFFF) - 0xDC00);
            units = 2;
        }
        char byte = 0;
        BOOL defaulted = FALSE;
        if (units == 1 && point >= 0x20 &&
            ::WideCharToMultiByte(1251, WC_NO_BEST_FIT_CHARS, text.data() + i, 1, &byte, 1, nullptr,
                                  &defaulted) == 1 &&
            !defaulted) {
            out += byte;
        } else {
            char buf[16];
            std::snprintf(buf, sizeof buf, "<U+%04lX>", point);
            out += buf;
        }
        i += units - 1;
    }
    return out;
}

std::wstring WidenU(const std::string& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size();) {
        if (text.compare(i, 3, "<U+") == 0) {
            const size_t end = text.find('>', i);
            const unsigned long point = std::stoul(text.substr(i + 3, end - i - 3), nullptr, 16);
            if (point >= 0x10000) {
                out += static_cast<wchar_t>(0xD800 + ((point - 0x10000) >> 10));
                out += static_cast<wchar_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
            } else {
                out += static_cast<wchar_t>(point);
            }
            i = end + 1;
            continue;
        }
        wchar_t w = 0;
        ::MultiByteToWideChar(1251, 0, text.data() + i, 1, &w, 1);
        out += w;
        ++i;
    }
    return out;
}

std::wstring ExtendedPath(const std::string& path) {
    const std::wstring w = WidenU(path);
    return RootLength(w) > 0 ? vestrand::ExtendedPath(w) : w;
}

namespace {

bool Walk(const std::wstring& top, const std::wstring& rel, const TreeVisitor& visit) {
    WIN32_FIND_DATAW found;
    HANDLE h = ::FindFirstFileW((top + rel + L"*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const bool link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (visit(rel + name, found) && folder && !link)
            Walk(top, rel + name + L"\\", visit);
    } while (::FindNextFileW(h, &found));
    ::FindClose(h);
    return true;
}

} // namespace

bool WalkTree(const std::string& folder, const TreeVisitor& visit) {
    std::wstring top = ExtendedPath(folder);
    if (!top.empty() && top.back() != L'\\')
        top += L'\\';
    return Walk(top, L"", visit);
}

TreeSnapshot SnapshotTree(const std::string& folder, Snap what) {
    TreeSnapshot out;
    std::wstring top = ExtendedPath(folder);
    if (!top.empty() && top.back() != L'\\')
        top += L'\\';
    WalkTree(folder, [&](const std::wstring& rel, const WIN32_FIND_DATAW& found) {
        TreeEntry e;
        e.folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        e.attributes = found.dwFileAttributes;
        e.writeTime = (static_cast<uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                      found.ftLastWriteTime.dwLowDateTime;
        if (!e.folder)
            e.content = ReadFileW(top + rel, "<unreadable>");
        if (!e.folder || what == Snap::Everything)
            out[NarrowU(rel) + (e.folder ? "\\" : "")] = std::move(e);
        return true;
    });
    return out;
}

TreeSnapshot SnapshotMirror(const std::string& folder) {
    TreeSnapshot tree = SnapshotTree(folder);
    for (const char* own : {"journal.txt", "pass.~vestrand.lock", "owner.~vestrand", "copy.~vestrand.tmp"})
        tree.erase(own);
    return tree;
}

std::map<std::string, std::string> Contents(const TreeSnapshot& tree) {
    std::map<std::string, std::string> out;
    for (const auto& [rel, e] : tree)
        out[rel] = e.content;
    return out;
}

void PrintTo(const TreeEntry& e, std::ostream* os) {
    *os << (e.folder ? "folder" : "file") << " attr=" << e.attributes << " time=" << e.writeTime;
    if (!e.folder)
        *os << " \"" << e.content.substr(0, 40) << (e.content.size() > 40 ? "...\"" : "\"");
}

} // namespace vestrand::test
