// The rules of getting files back that need no file system.
#include <gtest/gtest.h>

#include <cwctype>

#include "engine/restore_rules.h"
#include "runtime/cp1251.h"
#include "settings/command_line.h"

using namespace vestrand;

namespace {

bool Same(const std::wstring& a, const std::wstring& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](wchar_t x, wchar_t y) {
        return std::towlower(static_cast<wint_t>(x)) == std::towlower(static_cast<wint_t>(y));
    });
}

SourceSpot Spot(const std::wstring& form, bool folder, SourceRole role = SourceRole::Mirror) {
    SourceSpot spot;
    spot.written = "x";
    spot.form = spot.longForm = form;
    spot.folder = folder;
    spot.role = role;
    return spot;
}

} // namespace

TEST(RestoreRules, ARestoredCopyBesideTheUsersFileIsNamedByTheRestoresMoment) {
    const DateTime when = EncodeDateTime(CivilTime{2026, 12, 6, 9, 5, 7, 0});
    const std::wstring mark = WidenCp1251(" (восстановлено 2026-12-06 090507)");
    const struct {
        std::wstring name, beside;
    } cases[] = {
        {L"report.docx", L"report" + mark + L".docx"},
        {L"archive.tar.gz", L"archive.tar" + mark + L".gz"},
        {L"README", L"README" + mark},
        {L".profile", L".profile" + mark},
        {L"\u65e5.txt", L"\u65e5" + mark + L".txt"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BesideName(c.name, when), c.beside);
}

TEST(RestoreRules, AMomentOnTheCommandLineIsTheLastSecondOfItsMinute) {
    const struct {
        const char* text;
        bool ok;
        CivilTime at;
    } cases[] = {
        {"2026-12-06 10:07", true, {2026, 12, 6, 10, 7, 59, 0}},
        {"2024-02-29 23:59", true, {2024, 2, 29, 23, 59, 59, 0}},
        {"2026-02-29 10:00", false, {}},
        {"2026-12-06 24:00", false, {}},
        {"2026-12-06 1000", false, {}},
        {"2026-12-06", false, {}},
        {"06.12.26 10:00", false, {}},
    };
    for (const auto& c : cases) {
        DateTime when = 0;
        EXPECT_EQ(ParseRestoreMoment(c.text, when), c.ok) << c.text;
        if (c.ok)
            EXPECT_EQ(FormatTimeStamp(when, ':'), FormatTimeStamp(EncodeDateTime(c.at), ':')) << c.text;
    }
}

TEST(RestoreRules, RestoreIsTheOneSwitchWithArguments) {
    const struct {
        const char* line;
        bool ok;
        RestoreCommand command;
    } cases[] = {
        {"v.exe RESTORE C:\\a.txt", true, {"C:\\a.txt", "", ""}},
        {"v.exe restore \"C:\\My Docs\" \"2026-12-06 10:00\" D:\\out",
         true,
         {"C:\\My Docs", "2026-12-06 10:00", "D:\\out"}},
        {"v.exe RESTORE C:\\a 2026-12-06 10:00", true, {"C:\\a", "2026-12-06 10:00", ""}},
        {"v.exe RESTORE C:\\a D:\\out", true, {"C:\\a", "", "D:\\out"}},
        {"v.exe RESTORE", false, {}},
        {"v.exe RESTORE C:\\a D:\\out E:\\more", false, {}},
        {"v.exe START C:\\a", false, {}},
    };
    for (const auto& c : cases) {
        RestoreCommand got;
        EXPECT_EQ(ParseRestoreCommand(c.line, got), c.ok) << c.line;
        if (c.ok) {
            EXPECT_EQ(got.path, c.command.path) << c.line;
            EXPECT_EQ(got.moment, c.command.moment) << c.line;
            EXPECT_EQ(got.folder, c.command.folder) << c.line;
        }
    }
    EXPECT_EQ(StartModeOf("RESTORE"), StartMode::Restore);
    EXPECT_FALSE(IsOneShot(StartMode::Restore));
}

TEST(RestoreRules, AMirrorPathMapsBackToTheListedSourceThatProducesIt) {
    const std::vector<SourceSpot> spots = {
        Spot(L"C:\\Data\\", true),
        Spot(L"\\\\nas\\projects\\", true),
        Spot(L"D:\\Data\\", true, SourceRole::Overlaps),
        Spot(L"E:\\notes.txt", false),
        Spot(L"C:\\Data\\Sub\\", true, SourceRole::Covered),
    };
    const struct {
        std::wstring rel, original; // "" for none
    } cases[] = {
        {L"Data\\a.txt", L"C:\\Data\\a.txt"},
        {L"Data", L"C:\\Data"},
        {L"projects\\x\\y.doc", L"\\\\nas\\projects\\x\\y.doc"},
        {L"notes.txt", L"E:\\notes.txt"},
        {L"DataMore\\a.txt", L""},
        {L"other.txt", L""},
    };
    for (const auto& c : cases) {
        const auto original = OriginalPathOf(spots, c.rel, Same);
        EXPECT_EQ(original.value_or(L""), c.original) << std::string(c.rel.begin(), c.rel.end());
        if (!c.original.empty())
            EXPECT_EQ(MirrorRelOfOriginal(spots, c.original, Same).value_or(L"?"), c.rel);
    }
    // The other drive's folder of the same mirror path is no source, nor is what a file source is not.
    EXPECT_FALSE(MirrorRelOfOriginal(spots, L"D:\\Data\\a.txt", Same));
    EXPECT_FALSE(MirrorRelOfOriginal(spots, L"E:\\other.txt", Same));
    EXPECT_EQ(MirrorRelOfOriginal(spots, L"c:\\data\\sub\\k.txt", Same).value_or(L"?"), L"data\\sub\\k.txt");
}
