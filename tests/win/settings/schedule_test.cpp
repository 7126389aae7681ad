// The schedule: the three-way rule at its thresholds, the label and hint, the registry value it
// keeps, the restore, values it cannot have written, the timer's strict test and a clock set back;
// and the autostart entry.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "runtime/platform_win.h"
#include "settings/schedule_win.h"
#include "settings/startup_win.h"
#include "settings_helpers.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

constexpr const char* kTestKey = "software\\Oskenvar\\VestrandTests\\";

void DeleteTestKey() {
    ::RegDeleteKeyA(HKEY_CURRENT_USER, "software\\Oskenvar\\VestrandTests");
}

struct StoredValue {
    LONG rc = -1;
    DWORD type = 0;
    DWORD size = 0;
    BYTE data[32] = {};
};

StoredValue ReadStored(const char* keyPath) {
    StoredValue v;
    HKEY key;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return v;
    v.size = sizeof v.data;
    v.rc = ::RegQueryValueExA(key, kScheduleValue, nullptr, &v.type, v.data, &v.size);
    ::RegCloseKey(key);
    return v;
}

void Store(const char* keyPath, DWORD type, const void* data, DWORD size) {
    HKEY key;
    ASSERT_EQ(
        ::RegCreateKeyExA(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExA(key, kScheduleValue, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
}

class ScheduleTest : public ::testing::Test {
protected:
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
    ASSERT_EQ(v.size, 8u);
    double stored;
    std::memcpy(&stored, v.data, 8);
    EXPECT_EQ(stored, expected);
    // Little-endian bytes of the double.
    uint64_t bits;
    std::memcpy(&bits, &expected, 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(v.data[i], static_cast<BYTE>(bits >> (8 * i))) << i;
}

TEST_F(ScheduleTest, RestoreReadsTheStoredTimeOrFallsBackToADayAgo) {
    const double stored = clock.now + 0.25;
    Store(kTestKey, REG_BINARY, &stored, 8);
    schedule.Restore();
    EXPECT_EQ(schedule.NextRunTime(), stored);

    DeleteTestKey(); // missing value: the key is created, the time is a day ago
    schedule.Restore();
    EXPECT_EQ(schedule.NextRunTime(), clock.now - 1.0);

    const char text[] = "12345678";
    Store(kTestKey, REG_SZ, text, 8); // eight bytes, but not binary
    schedule.SetNextRunTime(0);
    schedule.Restore();
    EXPECT_EQ(schedule.NextRunTime(), clock.now - 1.0);

    const BYTE four[4] = {1, 2, 3, 4};
    Store(kTestKey, REG_BINARY, four, 4);
    schedule.SetNextRunTime(0);
    schedule.Restore();
    EXPECT_EQ(schedule.NextRunTime(), clock.now - 1.0);

    const BYTE twelve[12] = {};
    Store(kTestKey, REG_BINARY, twelve, 12);
    schedule.SetNextRunTime(0);
    schedule.Restore();
    EXPECT_EQ(schedule.NextRunTime(), clock.now - 1.0);
}

TEST_F(ScheduleTest, RestoreTakesAValueThatIsNoDateOfTheYears1900To9999ForUnreadable) {
    const double values[] = {std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             1e300,
                             -1.0,
                             EncodeDateTime(CivilTime{10000, 1, 1, 0, 0, 0, 0})};
    for (const double value : values) {
        Store(kTestKey, REG_BINARY, &value, 8);
        schedule.SetNextRunTime(0);
        schedule.Restore();
        EXPECT_EQ(schedule.NextRunTime(), clock.now - 1.0) << value;
        schedule.ScheduleNext(); // as at start: two minutes later, and the value is replaced
        EXPECT_EQ(schedule.NextRunTime(), clock.now + 2 * kMinute) << value;
        const StoredValue v = ReadStored(kTestKey);
        double stored = 0;
        std::memcpy(&stored, v.data, 8);
        EXPECT_EQ(stored, clock.now + 2 * kMinute) << value;
    }
}

TEST_F(ScheduleTest, ATimeFurtherAheadThanTheProgramSetsCountsAsFarPast) {
    settings.SaveMin = 30;
    // A real date, so Restore keeps it, but ten years ahead: the first run is two minutes on.
    const double tenYears = EncodeDateTime(CivilTime{2036, 12, 8, 10, 0, 0, 0});
    Store(kTestKey, REG_BINARY, &tenYears, 8);
    schedule.Restore();
    EXPECT_EQ(schedule.NextRunTime(), tenYears);
    EXPECT_TRUE(schedule.IsBeyondReach());
    schedule.ScheduleNext();
    EXPECT_EQ(schedule.NextRunTime(), clock.now + 2 * kMinute);
    EXPECT_FALSE(schedule.IsBeyondReach());

    // The reach is a day and a minute for SaveMin up to a day, SaveMin + 1 minutes beyond.
    struct Case {
        int saveMin, aheadMinutes;
        bool kept;
    };
    for (const Case c : {Case{30, 1441, true}, Case{30, 1442, false}, Case{1440, 1441, true},
                         Case{1440, 1442, false}, Case{3000, 3001, true}, Case{3000, 3002, false}}) {
        settings.SaveMin = c.saveMin;
        const DateTime ahead = clock.now + c.aheadMinutes * kMinute;
        schedule.SetNextRunTime(ahead);
        EXPECT_EQ(schedule.IsBeyondReach(), !c.kept) << c.saveMin << " " << c.aheadMinutes;
        schedule.ScheduleNext();
        EXPECT_EQ(schedule.NextRunTime(), c.kept ? ahead : clock.now + 2 * kMinute)
            << c.saveMin << " " << c.aheadMinutes;
        EXPECT_EQ(NextRunAfter(ahead, clock.now, c.saveMin), c.kept ? ahead : clock.now + 2 * kMinute);
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

TEST(ScheduleRegistry, TheProgramsOwnKeyHoldsTheValue) {
    BackupSettings settings;
    FakeDisplay display;
    FakeClock clock;
    Schedule schedule(settings, display, clock);
    schedule.Restore();
    schedule.ScheduleNext();
    const StoredValue v = ReadStored("software\\Oskenvar\\Vestrand");
    ASSERT_EQ(v.rc, ERROR_SUCCESS);
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(v.size, 8u);
}

TEST(Autostart, OneRunValueWithTheQuotedPath) {
    WriteAutostartEntry("C:\\old place\\vestrand.exe");
    WriteAutostartEntry("C:\\Program Files\\Vestrand\\vestrand.exe");
    HKEY key;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0,
                              KEY_QUERY_VALUE, &key),
              ERROR_SUCCESS);
    char value[MAX_PATH] = {};
    DWORD size = sizeof value, type = 0;
    EXPECT_EQ(::RegQueryValueExA(key, "Vestrand", nullptr, &type, reinterpret_cast<BYTE*>(value), &size),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(value, "\"C:\\Program Files\\Vestrand\\vestrand.exe\"");
}
