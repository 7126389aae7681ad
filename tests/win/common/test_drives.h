// Drive letters mapped for the tests by tools/wine-run: S: and T: (plain folders), R: (a small
// tmpfs where the machine allows mounting one); and the network shares \\nas\backup and \\nas\data.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "journal_kit.h"

namespace vestrand::test {

// Makes an empty folder for one test on a mapped drive, e.g. FreshFolder('T', "pass_first") gives
// "T:\pass_first\" with nothing in it.
std::string FreshFolder(char drive, const std::string& name);
// The folder behind a test drive or share (tools/wine-run links "V:" to drives\v, "\\nas\data" to
// drives\nas-data), seen through Z: (the whole Unix file system under Wine). Renaming it away makes
// the letter or share lead nowhere, as when a drive is unplugged or a server does not answer.
class VanishingDrive {
public:
    explicit VanishingDrive(char letter)
        : VanishingDrive(std::string(1, static_cast<char>(letter - 'A' + 'a')),
                         std::string(1, letter) + ":\\") {}
    VanishingDrive(const std::string& folder, const std::string& root);
    ~VanishingDrive() { Back(); }
    bool Usable() const { return m_ok; }
    bool Vanish() { return m_ok && !m_gone && (m_gone = MoveFileA(m_here.c_str(), m_away.c_str()) != 0); }
    void Back() {
        if (m_gone && MoveFileA(m_away.c_str(), m_here.c_str()))
            m_gone = false;
    }

private:
    std::string m_here, m_away;
    bool m_ok = false, m_gone = false;
};

// Removes a folder tree, clearing attributes first.
void RemoveTree(const std::string& path);
// Writes a file with the given content (creating missing folders).
void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);

// The same for any name and path length: `path` is a full drive-letter path in UTF-16, used as an
// extended-length path ("\\?\" is added).
void WriteFileW(const std::wstring& path, const std::string& content);
// A file that cannot be read gives `unreadable`.
std::string ReadFileW(const std::wstring& path, const std::string& unreadable = "");
void RemoveTreeW(const std::wstring& path);
// The last-write time of an entry, 0 when it cannot be read.
uint64_t WriteTimeW(const std::wstring& path);

// True when R: is the small tmpfs volume (the test runner leaves a marker file in its root).
bool SmallVolumeMounted();
// Writes a file of `bytes` bytes, or with a negative count, as much as the drive takes. Returns the
// number of bytes written.
int64_t WriteFiller(const std::string& path, int64_t bytes);
// Sets the last-write time of a file or folder; gives `to` the last-write time of `from`.
bool SetWriteTime(const std::string& path, const FILETIME& written);
bool CopyWriteTime(const std::string& from, const std::string& to);
// Sets the last-write time of a file to 1 January 2020 + `seconds`, so that a test's changes do
// not share one of the two-second steps of the stored time stamp.
void SetStamp(const std::string& path, int64_t seconds);

} // namespace vestrand::test
