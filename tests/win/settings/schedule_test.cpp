// The schedule: the three-way rule at its thresholds, the label and hint, the registry value it
// keeps, the restore, values it cannot have written, the timer's strict test and a clock set back;
// and the autostart entry.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "fakes.h"
#include "runtime/handles_win.h"
#include "runtime/platform_win.h"
#include "settings/schedule_win.h"
#include "settings/startup_win.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

constexpr const char* kTestKey = "software\\Oskenvar\\VestrandTests\\";
constexpr const char* kValue = "NextVestrand";

void DeleteTestKey() {
    ::RegDeleteKeyA(HKEY_CURRENT_USER, "software\\Oskenvar\\VestrandTests");
}

// The eight bytes of a moment as the registry keeps it: the double, little-endian.
std::string LittleEndian(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, 8);
    std::string bytes;
    for (int i = 0; i < 8; ++i)
        bytes += static_cast<char>(bits >> (8 * i));
    return bytes;
}

struct StoredValue {
    LONG rc;
    DWORD type;
    std::string bytes;
};
StoredValue ReadStored(const char* keyPath, HKEY root = HKEY_CURRENT_USER, const char* name = kValue) {
    char data[256] = {};
    DWORD size = sizeof data, type = 0;
    const LONG rc = ::RegGetValueA(root, keyPath, name, RRF_RT_ANY, &type, data, &size);
    return {rc, type, std::string(data, rc == ERROR_SUCCESS ? size : 0)};
}

void Store(DWORD type, const std::string& bytes, const char* name = kValue) {
    ASSERT_EQ(::RegSetKeyValueA(HKEY_CURRENT_USER, kTestKey, name, type, bytes.data(),
                                static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
}

struct ScheduleTest : ::testing::Test {
    void SetUp() override { DeleteTestKey(); }
    void TearDown() override { DeleteTestKey(); }
    BackupSettings settings;
    FakeDisplay display;
    FakeClock clock;
    Schedule schedule{settings, display, clock, kTestKey};
};

} // namespace

TEST(ScheduleRule, ThresholdsOfTheThreeWays) {
    const DateTime now = EncodeDateTime(CivilTime{2026, 12, 8, 10, 0, 0, 0});
    const int saveMin = 45;
    EXPECT_EQ(NextRunAfter(0, now, saveMin), now + 2 * kMinute); // never restored: far in the past
    EXPECT_EQ(NextRunAfter(now - 10 * kMinute, now, saveMin), now + 2 * kMinute);
    EXPECT_EQ(NextRunAfter(now - 5 * kMinute - kSecond, now, saveMin), now + 2 * kMinute);
    EXPECT_EQ(NextRunAfter(now - 5 * kMinute, now, saveMin), now + saveMin * kMinute); // exactly 5 past
    EXPECT_EQ(NextRunAfter(now - 3 * kMinute, now, saveMin), now + saveMin * kMinute);
    EXPECT_EQ(NextRunAfter(now, now, saveMin), now + saveMin * kMinute);
    EXPECT_EQ(NextRunAfter(now + 1 * kMinute, now, saveMin), now + saveMin * kMinute); // exactly 1 ahead
    const DateTime later = now + 1 * kMinute + kSecond;
    EXPECT_EQ(NextRunAfter(later, now, saveMin), later);
    EXPECT_EQ(NextRunAfter(now + 600 * kMinute, now, saveMin), now + 600 * kMinute);
    // After a pass the user stopped, never two minutes on: SaveMin instead; otherwise the same.
    for (const DateTime past : {DateTime(0), now - 10 * kMinute, now - 5 * kMinute - kSecond})
        EXPECT_EQ(NextRunAfterStop(past, now, saveMin), now + saveMin * kMinute) << past;
    for (const DateTime next : {now - 5 * kMinute, now, later, now + 600 * kMinute})
        EXPECT_EQ(NextRunAfterStop(next, now, saveMin), NextRunAfter(next, now, saveMin)) << next;
}

TEST_F(ScheduleTest, ScheduleNextShowsAndStoresTheTime) {
    settings.SaveMin = 30;
    schedule.SetNextRunTime(clock.now - 3 * kMinute);
    schedule.ScheduleNext();
    const DateTime expected = clock.now + 30 * kMinute;
    EXPECT_EQ(schedule.NextRunTime(), expected);
    const std::string sep(1, TimeSeparator());
    EXPECT_EQ(display.nextTime, "08.12.26 10" + sep + "30" + sep + "00");
    EXPECT_EQ(display.hint, std::string("Следующий полис: ") + display.nextTime);

    const StoredValue v = ReadStored(kTestKey);
    ASSERT_EQ(v.rc, ERROR_SUCCESS);
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(v.bytes, LittleEndian(expected));
}

TEST_F(ScheduleTest, RestoreReadsTheStoredTimeOrFallsBackToADayAgo) {
    const double stored = clock.now + 0.25;
    Store(REG_BINARY, LittleEndian(stored));
    schedule.Restore();
    EXPECT_EQ(schedule.NextRunTime(), stored);
    // The last complete pass beside it, in the same form; one later than now counts as never.
    EXPECT_EQ(ReadLastComplete(kTestKey, clock.now), 0.0);
    StoreLastComplete(kTestKey, clock.now - 2.5);
    EXPECT_EQ(ReadStored(kTestKey, HKEY_CURRENT_USER, "LastVestrand").bytes, LittleEndian(clock.now - 2.5));
    EXPECT_EQ(ReadLastComplete(kTestKey, clock.now), clock.now - 2.5);
    EXPECT_EQ(ReadLastComplete(kTestKey, clock.now - 2.5 - kSecond), 0.0);

    DeleteTestKey(); // missing value: the key is created, the time is a day ago
    schedule.Restore();
    EXPECT_EQ(schedule.NextRunTime(), clock.now - 1.0);

    // Unreadable: eight bytes but not binary, binary of another size, or no date of the years 1900
    // to 9999. At start that gives the first run two minutes on, and the value is replaced.
    std::vector<std::pair<DWORD, std::string>> unreadable = {
        {REG_SZ, "12345678"}, {REG_BINARY, "\x01\x02\x03\x04"}, {REG_BINARY, std::string(12, '\0')}};
    for (const double value :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
          -std::numeric_limits<double>::infinity(), 1e300, -1.0,
          EncodeDateTime(CivilTime{10000, 1, 1, 0, 0, 0, 0})})
        unreadable.push_back({REG_BINARY, LittleEndian(value)});
    for (size_t i = 0; i < unreadable.size(); ++i) {
        Store(unreadable[i].first, unreadable[i].second);
        Store(unreadable[i].first, unreadable[i].second, "LastVestrand");
        EXPECT_EQ(ReadLastComplete(kTestKey, clock.now), 0.0) << i;
        schedule.SetNextRunTime(0);
        schedule.Restore();
        EXPECT_EQ(schedule.NextRunTime(), clock.now - 1.0) << i;
        schedule.ScheduleNext();
        EXPECT_EQ(schedule.NextRunTime(), clock.now + 2 * kMinute) << i;
        EXPECT_EQ(ReadStored(kTestKey).bytes, LittleEndian(clock.now + 2 * kMinute)) << i;
    }
}

TEST_F(ScheduleTest, ATimeFurtherAheadThanTheProgramSetsCountsAsFarPast) {
    settings.SaveMin = 30;
    // A real date, so Restore keeps it, but ten years ahead: the first run is two minutes on.
    const double tenYears = EncodeDateTime(CivilTime{2036, 12, 8, 10, 0, 0, 0});
    Store(REG_BINARY, LittleEndian(tenYears));
    schedule.Restore();
    EXPECT_EQ(schedule.NextRunTime(), tenYears);
    EXPECT_TRUE(schedule.IsBeyondReach());
    schedule.ScheduleNext();
    EXPECT_EQ(schedule.NextRunTime(), clock.now + 2 * kMinute);
    EXPECT_FALSE(schedule.IsBeyondReach());

    // The reach is a day and a minute for SaveMin up to a day, SaveMin + 1 minutes beyond.
    for (const auto& [saveMin, aheadMinutes, kept] : {std::tuple{30, 1441, true},
                                                      {30, 1442, false},
                                                      {1440, 1441, true},
                                                      {1440, 1442, false},
                                                      {3000, 3001, true},
                                                      {3000, 3002, false}}) {
        settings.SaveMin = saveMin;
        const DateTime ahead = clock.now + aheadMinutes * kMinute,
                       next = kept ? ahead : clock.now + 2 * kMinute;
        schedule.SetNextRunTime(ahead);
        EXPECT_EQ(schedule.IsBeyondReach(), !kept) << saveMin << " " << aheadMinutes;
        schedule.ScheduleNext();
        EXPECT_EQ(schedule.NextRunTime(), next) << saveMin << " " << aheadMinutes;
        EXPECT_EQ(NextRunAfter(ahead, clock.now, saveMin), next) << saveMin << " " << aheadMinutes;
    }
    EXPECT_EQ(NextRunAfter(std::numeric_limits<double>::quiet_NaN(), clock.now, 30), clock.now + 2 * kMinute);
}

TEST_F(ScheduleTest, AClockSetBackMakesTheTimeBeyondReachUntilRescheduled) {
    settings.SaveMin = 60;
    schedule.SetNextRunTime(clock.now);
    schedule.ScheduleNext();
    const DateTime next = clock.now + 60 * kMinute;
    ASSERT_EQ(schedule.NextRunTime(), next);
    // Back by an hour: two hours to wait, within reach, so the time stays.
    clock.now -= 1.0 / 24;
    EXPECT_FALSE(schedule.IsBeyondReach());
    EXPECT_FALSE(schedule.IsDue());
    // Back by two days: the tick finds the time beyond reach and reschedules two minutes on.
    clock.now -= 2.0;
    EXPECT_FALSE(schedule.IsDue());
    ASSERT_TRUE(schedule.IsBeyondReach());
    schedule.ScheduleNext();
    EXPECT_EQ(schedule.NextRunTime(), clock.now + 2 * kMinute);
    EXPECT_FALSE(schedule.IsBeyondReach());
    clock.now += 2 * kMinute + kSecond;
    EXPECT_TRUE(schedule.IsDue());
}

TEST_F(ScheduleTest, AFirstStartRunsTwoMinutesLater) {
    schedule.Restore();
    schedule.ScheduleNext();
    EXPECT_EQ(schedule.NextRunTime(), clock.now + 2 * kMinute);
    // Restarted 3 minutes after the stored time: SaveMin later; 10 minutes after: 2 minutes later.
    Schedule second(settings, display, clock, kTestKey);
    clock.now = schedule.NextRunTime() + 3 * kMinute;
    second.Restore();
    second.ScheduleNext();
    EXPECT_EQ(second.NextRunTime(), clock.now + 60 * kMinute);
    Schedule third(settings, display, clock, kTestKey);
    clock.now = second.NextRunTime() + 10 * kMinute;
    third.Restore();
    third.ScheduleNext();
    EXPECT_EQ(third.NextRunTime(), clock.now + 2 * kMinute);
}

TEST_F(ScheduleTest, TheTickIsDueOnlyStrictlyAfterTheTime) {
    schedule.SetNextRunTime(clock.now);
    EXPECT_FALSE(schedule.IsDue());
    clock.now += kSecond / 1000;
    EXPECT_TRUE(schedule.IsDue());
    schedule.SetNextRunTime(clock.now + kSecond);
    EXPECT_FALSE(schedule.IsDue());
}

TEST_F(ScheduleTest, TheProgramsOwnKeyHoldsTheValue) {
    Schedule own(settings, display, clock);
    own.Restore();
    own.ScheduleNext();
    const StoredValue v = ReadStored("software\\Oskenvar\\Vestrand");
    ASSERT_EQ(v.rc, ERROR_SUCCESS);
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(v.bytes.size(), 8u);
}

// The value INSTALL writes (that INSTALL writes it: the main window's tests).
TEST(Autostart, OneRunValueWithTheQuotedPath) {
    const char* run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    WriteAutostartEntry("C:\\old place\\vestrand.exe");
    WriteAutostartEntry("C:\\Program Files\\Vestrand\\vestrand.exe");
    const StoredValue v = ReadStored(run, HKEY_LOCAL_MACHINE, "Vestrand");
    EXPECT_EQ(v.rc, ERROR_SUCCESS);
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(v.bytes.c_str(), "\"C:\\Program Files\\Vestrand\\vestrand.exe\"");
    // One value of that name in any case.
    RegKey key;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, run, 0, KEY_QUERY_VALUE, key.Put()), ERROR_SUCCESS);
    int named = 0;
    char name[256];
    for (DWORD i = 0, length = sizeof name;
         ::RegEnumValueA(key.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, length = sizeof name)
        named += ::lstrcmpiA(name, "Vestrand") == 0;
    EXPECT_EQ(named, 1);
}
