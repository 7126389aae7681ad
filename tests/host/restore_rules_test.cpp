// The rules of getting files back that need no file system.
#include <gtest/gtest.h>

#include "engine/restore_rules.h"
#include "runtime/cp1251.h"

using namespace vestrand;

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
