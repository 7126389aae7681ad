#include "engine/mirror_owner_win.h"

#include <windows.h>

#include <optional>

#include "engine/backup_index_win.h" // SameFileName
#include "engine/fileops_win.h"
#include "runtime/cp1251.h"
#include "runtime/handles_win.h"

namespace vestrand {
namespace {

// An owner file is one short line; anything longer is not one this program wrote.
constexpr DWORD kOwnerFileLimit = 1024;

enum class OwnerFile { Missing, Read, Unreadable };

// The owner's name: the file's first line without the blanks around it.
OwnerFile ReadOwner(const std::wstring& path, std::string& owner) {
    FileHandle h(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? OwnerFile::Missing
                                                                              : OwnerFile::Unreadable;
    }
    char text[kOwnerFileLimit + 1];
    DWORD got = 0;
    if (!::ReadFile(h.Get(), text, sizeof text, &got, nullptr) || got > kOwnerFileLimit)
        return OwnerFile::Unreadable;
    owner.assign(text, got);
    owner = owner.substr(0, owner.find_first_of("\r\n"));
    const size_t first = owner.find_first_not_of(" \t");
    owner = first == std::string::npos ? std::string()
                                       : owner.substr(first, owner.find_last_not_of(" \t") + 1 - first);
    return owner.empty() ? OwnerFile::Unreadable : OwnerFile::Read;
}

// A complete owner file or none: written to `temp`, then given its name, which it never replaces.
bool WriteOwner(const std::wstring& path, const std::wstring& temp, const std::string& owner) {
    WriteAttributes(temp, 0); // a leftover of a pass that was ended part-way
    DeleteFileW(temp.c_str());
    FileHandle h(
        CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    const std::string text = owner + "\r\n";
    DWORD put = 0;
    bool ok = h && ::WriteFile(h.Get(), text.data(), static_cast<DWORD>(text.size()), &put, nullptr) &&
              put == text.size();
    h.Reset();
    ok = ok && MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
    if (!ok)
        DeleteFileW(temp.c_str());
    return ok;
}

std::optional<std::string> EnvironmentValue(const std::string& name) {
    std::string value(256, '\0');
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        const DWORD size =
            GetEnvironmentVariableA(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
        if (size == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND)
            return std::nullopt;
        if (size < value.size()) {
            value.resize(size);
            return value;
        }
        value.assign(size, '\0'); // too small: `size` counts the closing NUL
    }
}

} // namespace

std::string ThisComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? JournalText(std::wstring(name, size)) : std::string();
}

OwnerClaim ClaimMirror(const std::wstring& root, const std::string& rootText, const std::wstring& temp) {
    const std::wstring path = root + WidenCp1251(kOwnerName);
    const std::string self = ThisComputerName();
    std::string owner;
    switch (ReadOwner(path, owner)) {
    case OwnerFile::Missing:
        if (self.empty() || !WriteOwner(path, temp, self))
            return {PassRefusal::RootUnreachable, rootText};
        return {};
    case OwnerFile::Unreadable:
        return {PassRefusal::OwnerUnreadable, rootText + kOwnerName};
    case OwnerFile::Read:
        break;
    }
    // Computer names are the same in any letter case.
    if (self.empty() || !SameFileName(WidenCp1251(owner), WidenCp1251(self)))
        return {PassRefusal::ForeignMirror, owner};
    return {};
}

bool ExpandSettingsVariables(BackupSettings& settings, std::string& unset) {
    for (std::string* value : {&settings.IdentifComp, &settings.TargetDir}) {
        std::string expanded;
        if (!ExpandVariables(*value, EnvironmentValue, expanded, unset))
            return false;
        *value = std::move(expanded);
    }
    return true;
}

} // namespace vestrand
