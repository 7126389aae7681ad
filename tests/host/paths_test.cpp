#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/paths.h"

using namespace vestrand;

using Cases = std::vector<std::pair<std::string, std::string>>; // argument, result

TEST(NormalizeDir, Rules) {
    // A Cyrillic letter (\xC4) is not a drive letter.
    for (const auto& [path, dir] : Cases{{"", ""},
                                         {"F:\\Arch", "F:\\Arch\\"},
                                         {"F:\\", "F:\\"},
                                         {"F:", "F:"},
                                         {"d", "d:\\"},
                                         {"Z", "Z:\\"},
                                         {"1", "1\\"},
                                         {"\xC4", "\xC4\\"}})
        EXPECT_EQ(NormalizeDir(path), dir) << path;
}

TEST(FileDirOf, Rules) {
    for (const auto& [path, dir] : Cases{{"F:\\Arch\\Test\\Data\\a.txt", "F:\\Arch\\Test\\Data"},
                                         {"F:\\a.txt", "F:\\"},
                                         {"F:a.txt", "F:"},
                                         {"a.txt", ""},
                                         {"\\\\srv\\share", "\\\\srv"},
                                         {"\\a", "\\"},
                                         {"F:\\Arch\\\\a", "F:\\Arch\\\\"}})
        EXPECT_EQ(FileDirOf(path), dir) << path;
}

TEST(IsSafeIdentifComp, OnlyAPlainFolderNameOfItsOwn) {
    // Names the file system would trim to another folder, and names with separators or wildcards.
    for (const char* bad : {"", ".", "..", "...", " ", "Other.", "Other ", "a\\b", "a/b", "x:y", "a*", "a?",
                            "a\"b", "a<b", "a>b", "a|b", "a\tb"})
        EXPECT_FALSE(IsSafeIdentifComp(bad)) << bad;
    for (const char* good : {"Test", "PC-01", ".hidden", "a b", "a.b", "Компьютер"})
        EXPECT_TRUE(IsSafeIdentifComp(good)) << good;
}

TEST(IsBackupTarget, ADriveAloneOrFollowedByABackslashOrAShareFolderEndingInOne) {
    for (const char* good : {"F:", "F:\\", "q:\\nowhere\\", "\\\\srv\\share\\", "\\\\nas\\backup\\Arch\\"})
        EXPECT_TRUE(IsBackupTarget(good)) << good;
    // A share without the separator would take IdentifComp into its own name.
    for (const char* bad :
         {"", "F", "nowhere\\", "\\rooted\\", "1:\\", "F:x", "Ф:\\", "\\\\srv\\share",
          "\\\\nas\\backup\\Arch", "\\\\srv\\", "\\\\srv", "\\\\\\share\\", "\\\\srv\\\\x\\",
          "\\\\..\\share\\", "\\\\?\\UNC\\srv\\share\\", "\\\\.\\pipe\\x\\", "//srv/share/"})
        EXPECT_FALSE(IsBackupTarget(bad)) << bad;
}

TEST(PathRoots, ExtendedFormVolumeRootAndMirrorKeyOfEachForm) {
    struct Case {
        std::wstring path, extended, plain, volume, key;
    };
    for (const Case& c : std::vector<Case>{
             {L"C:\\x\\y", L"\\\\?\\C:\\x\\y", L"C:\\x\\y", L"C:\\", L"x\\y"},
             {L"\\\\nas\\projects\\2026", L"\\\\?\\UNC\\nas\\projects\\2026", L"\\\\nas\\projects\\2026",
              L"\\\\nas\\projects\\", L"projects\\2026"},
             {L"\\\\nas\\projects", L"\\\\?\\UNC\\nas\\projects", L"\\\\nas\\projects",
              L"\\\\nas\\projects\\", L"projects"},
             {L"\\\\?\\UNC\\nas\\D\\x", L"\\\\?\\UNC\\nas\\D\\x", L"\\\\nas\\D\\x", L"\\\\nas\\D\\", L"D\\x"},
             {L"\\\\?\\D:\\x", L"\\\\?\\D:\\x", L"D:\\x", L"D:\\", L"x"},
             {L"\\\\nas", L"\\\\?\\\\\\nas", L"\\\\nas", L"", L""}, // a server alone is no root
             {L"x\\y", L"\\\\?\\x\\y", L"x\\y", L"", L""},
         }) {
        EXPECT_EQ(ExtendedPath(c.path), c.extended) << c.path;
        EXPECT_EQ(PlainPath(c.extended), c.plain) << c.path;
        EXPECT_EQ(VolumeRoot(c.path), c.volume) << c.path;
        EXPECT_EQ(c.path.substr(MirrorKeyStart(c.path) ? MirrorKeyStart(c.path) : c.path.size()), c.key)
            << c.path;
    }
}

TEST(ExpandVariables, ReferencesAreReplacedOnceAndAnUnsetOneIsNamed) {
    const std::map<std::string, std::string> set = {
        {"COMPUTERNAME", "PC-7"}, {"DATA", "D:\\Backup\\"}, {"EMPTY", ""}, {"LOOP", "%DATA%"}};
    const VariableLookup lookup = [&](const std::string& name) -> std::optional<std::string> {
        const auto it = set.find(name);
        return it == set.end() ? std::nullopt : std::optional<std::string>(it->second);
    };
    for (const auto& [text, result] : Cases{{"Test", "Test"},
                                            {"%COMPUTERNAME%", "PC-7"},
                                            {"PC-%COMPUTERNAME%.%COMPUTERNAME%", "PC-PC-7.PC-7"},
                                            {"%DATA%Arch\\", "D:\\Backup\\Arch\\"},
                                            {"x%EMPTY%y", "xy"},
                                            {"%LOOP%", "%DATA%"}, // a value is not expanded again
                                            {"100%", "100%"},
                                            {"%%", "%%"},
                                            {"%%DATA%", "%D:\\Backup\\"},
                                            {"F:\\50%\\x%DATA%", "F:\\50%\\xD:\\Backup\\"},
                                            {"%=C:%", "%=C:%"}}) {
        std::string expanded, unset;
        EXPECT_TRUE(ExpandVariables(text, lookup, expanded, unset)) << text;
        EXPECT_EQ(expanded, result) << text;
        EXPECT_EQ(unset, "") << text;
    }
    for (const auto& [text, named] : Cases{{"%NOPE%", "%NOPE%"},
                                           {"%COMPUTERNAME%-%NOPE%-%DATA%", "%NOPE%"},
                                           {"F:\\%Arch %\\", "%Arch %"}}) {
        std::string expanded, unset;
        EXPECT_FALSE(ExpandVariables(text, lookup, expanded, unset)) << text;
        EXPECT_EQ(unset, named) << text;
    }
}
