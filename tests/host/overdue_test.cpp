#include "ui/overdue.h"

#include <gtest/gtest.h>

using namespace vestrand;

namespace {
const DateTime kNow = EncodeDateTime(CivilTime{2026, 12, 8, 10, 0, 0, 0});
}

TEST(Overdue, OlderThanTheDaysOnceAPassWasTriedSinceTheStart) {
    struct Case {
        DateTime last;
        int32_t warnDays;
        bool tried, overdue;
    };
    const Case cases[] = {
        {kNow - 3.0, 3, true, false},            // exactly three days: not older
        {kNow - 3.0 - kMinute, 3, true, true},   // a minute more
        {kNow - 3.0 - kMinute, 3, false, false}, // nothing tried yet (switched off over the weekend)
        {kNeverComplete, 3, true, true},         // never
        {kNeverComplete, 3, false, false},
        {kNow - 100.0, 0, true, false}, // 0: never warn
        {kNow - 365.0, 365, true, false},
        {kNow - 366.0, 365, true, true},
        {kNow - kMinute, 1, true, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsOverdue(c.last, kNow, c.warnDays, c.tried), c.overdue)
            << kNow - c.last << " days, " << c.warnDays << ", tried " << c.tried;
}

TEST(Overdue, CompletePassesAndTheReasonOfTheOthers) {
    struct Case {
        PassResult result;
        bool error, complete;
        MissReason reason;
    };
    const auto with = [](auto change) {
        PassResult r;
        change(r);
        return r;
    };
    const Case cases[] = {
        {with([](PassResult& r) { r.failed = {"F:\\Arch\\PC\\C\\a.pst"}; }), false, true,
         MissReason::Failure},
        {with([](PassResult& r) { r.refusal = PassRefusal::RootUnreachable; }), false, false,
         MissReason::DriveMissing},
        {with([](PassResult& r) { r.refusal = PassRefusal::LowSpace; }), false, false, MissReason::LowSpace},
        {with([](PassResult& r) { r.diskFull = true; }), false, false, MissReason::LowSpace},
        {with([](PassResult& r) { r.paused = true; }), false, false, MissReason::Paused},
        {with([](PassResult& r) { r.interrupted = true; }), false, false, MissReason::Failure},
        {with([](PassResult& r) { r.refusal = PassRefusal::ForeignMirror; }), false, false,
         MissReason::Failure},
        {with([](PassResult& r) { r.refusal = PassRefusal::Busy; }), false, false, MissReason::Failure},
        {PassResult{}, true, true, MissReason::Failure}, // an error: the outcome, not the result, says so
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(cases[i].result.Complete(), cases[i].complete) << i;
        if (!cases[i].complete || cases[i].error) {
            EXPECT_EQ(MissReasonOf(cases[i].result, cases[i].error), cases[i].reason) << i;
        }
    }
}

TEST(Overdue, HintsSayHowOldAndWhyWithin63Characters) {
    struct Case {
        DateTime last;
        MissReason reason;
        const char* hint;
    };
    const Case cases[] = {
        {kNow - 4.5, MissReason::DriveMissing, "Нет полной копии 4 дн.: нет диска копии"},
        {kNow - 3.0 - kMinute, MissReason::LowSpace, "Нет полной копии 3 дн.: мало места"},
        {kNow - 10.0, MissReason::Paused, "Нет полной копии 10 дн.: копия приостановлена"},
        {kNow - 400.0, MissReason::Failure, "Нет полной копии 400 дн.: сбой копирования"},
        {kNeverComplete, MissReason::Failure, "Полной копии ещё не было: сбой копирования"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OverdueHint(c.last, kNow, c.reason), c.hint);
    // The oldest moment a value can name, and the latest clock, with every reason.
    const DateTime first = EncodeDateTime(CivilTime{1900, 1, 1, 0, 0, 0, 0});
    const DateTime last = EncodeDateTime(CivilTime{9999, 12, 31, 23, 59, 59, 0});
    for (const MissReason reason :
         {MissReason::DriveMissing, MissReason::LowSpace, MissReason::Paused, MissReason::Failure}) {
        const std::string hint = OverdueHint(first, last, reason);
        EXPECT_LE(hint.size(), 63u) << hint;
        EXPECT_EQ(hint.substr(0, 25), "Нет полной копии 2958463 ") << hint;
    }
    EXPECT_EQ(OverdueText(kNow - 5.0, kNow, "Папка копии недоступна: F:\\Arch\\PC\\"),
              "Нет полной копии 5 дн.: Папка копии недоступна: F:\\Arch\\PC\\");
    EXPECT_EQ(LastCompleteText(kNow - 1.0, ':'), "Последняя полная копия: 07.12.26 10:00");
    EXPECT_EQ(LastCompleteText(kNeverComplete, ':'), "Полной копии ещё не было");
}

TEST(Overdue, TheNoticeComesWhenItBeginsThenOnceADay) {
    DailyNotice notice;
    struct Step {
        bool active;
        DateTime at;
        bool due;
    };
    const Step steps[] = {
        {false, kNow, false},          {true, kNow, true},
        {true, kNow + kMinute, false}, {true, kNow + 1.0 - kMinute, false},
        {true, kNow + 1.0, true},      {true, kNow + 1.5, false},
        {false, kNow + 1.6, false}, // a complete pass
        {true, kNow + 1.7, true},   // overdue again: told at once
        {true, kNow - 5.0, true},   // the clock set back: a day anew
    };
    for (size_t i = 0; i < std::size(steps); ++i)
        EXPECT_EQ(notice.Due(steps[i].active, steps[i].at), steps[i].due) << i;
}

TEST(Overdue, FilesFailingInEveryCompletePassForTheDaysAreNamedOnceADay) {
    FailingFiles files;
    PassResult pass;
    pass.failed = {"F:\\Arch\\PC\\C\\mail.pst", "F:\\Arch\\PC\\C\\db.mdb"};
    files.After(pass, kNow);
    PassResult stopped; // it never reached the files: it changes nothing
    stopped.interrupted = true;
    files.After(stopped, kNow + 1.0);
    pass.failed = {"F:\\Arch\\PC\\C\\mail.pst"}; // db.mdb copied at last: forgotten
    files.After(pass, kNow + 2.0);
    pass.failed = {"F:\\Arch\\PC\\C\\mail.pst", "F:\\Arch\\PC\\C\\db.mdb"};
    files.After(pass, kNow + 2.5);
    EXPECT_TRUE(files.Due(kNow + 3.0 - kMinute, 3).empty());
    EXPECT_EQ(files.Due(kNow + 3.0, 3), std::vector<std::string>{"F:\\Arch\\PC\\C\\mail.pst"});
    EXPECT_TRUE(files.Due(kNow + 3.5, 3).empty());
    EXPECT_TRUE(files.Due(kNow + 10.0, 0).empty());
    EXPECT_EQ(files.Due(kNow + 5.6, 3),
              (std::vector<std::string>{"F:\\Arch\\PC\\C\\db.mdb", "F:\\Arch\\PC\\C\\mail.pst"}));
    EXPECT_EQ(FailingFilesText({"C:\\a.pst", "C:\\b", "C:\\c"}, 3),
              "Не копируется 3 дн. и дольше: C:\\a.pst (и ещё 2). Исключите файл в настройках или закройте "
              "программу, которая его держит.");
}
