// Time texts shared by the intake and the file readers: both formatters write the same texts,
// and texts read back to the time of day they show.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "common/progress.h"
#include "store/time_text.h"

namespace wirelark {
namespace {

TEST(TimeText, BothFormattersShowTheLocalClockAndMicrosecondsPaddedToSix) {
    const char* tz = std::getenv("TZ");
    const std::optional<std::string> savedTz = tz ? std::optional<std::string>(tz) : std::nullopt;
    setenv("TZ", "UTC", 1);
    tzset();
    // 1700000000 is 22:13:20 UTC. The reused formatter changes seconds, goes back to an earlier
    // one and shows fractions out of range as they are.
    const struct {
        timeval time;
        const char* text;
    } cases[] = {
        {{1'700'000'000, 7}, "22:13:20,000007 "},
        {{1'700'000'000, 250'000}, "22:13:20,250000 "},
        {{1'700'000'000, 0}, "22:13:20,000000 "},
        {{1'700'000'000, 80'008}, "22:13:20,080008 "},
        {{1'700'000'000, 999'999}, "22:13:20,999999 "},
        {{1'700'000'001, 123'456}, "22:13:21,123456 "},
        {{1'700'000'001, -5}, "22:13:21,-000005 "},
        {{1'700'000'001, 1'234'567}, "22:13:21,1234567 "},
        {{1'700'003'600, 12}, "23:13:20,000012 "},
        {{0, 1}, "00:00:00,000001 "},
        {{1'700'000'000, 100}, "22:13:20,000100 "},
    };
    CTimeTextFormatter formatter;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(FormatTimeText(c.time), c.text);
        EXPECT_EQ(formatter.Format(c.time), c.text);
    }
    if (savedTz) {
        setenv("TZ", savedTz->c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

TEST(PcapTimeText, ParsesWhatTheIntakeWritesAndRefusesTheRest) {
    struct CCase {
        const char* text;
        bool bValid;
        CTimeOfDay time;
    };
    for (const CCase& c : {CCase{"10:00:00,007 ", true, {10, 0, 0, 7}},
                           CCase{"23:59:59,999999 ", true, {23, 59, 59, 999'999}},
                           CCase{"23:59:60,5 ", true, {23, 59, 60, 5}},  // a leap second
                           CCase{"00:00:01,000", true, {0, 0, 1, 0}},
                           CCase{"12:34:56,1234567 ", true, {12, 34, 56, 1'234'567}},
                           CCase{"", false, {}}, CCase{"24:00:00,000 ", false, {}},
                           CCase{"10:60:00,000 ", false, {}}, CCase{"10:00:61,000 ", false, {}},
                           CCase{"10:00:00,", false, {}}, CCase{"10:00:00,1234567890", false, {}},
                           CCase{"10:00:00.000 ", false, {}}, CCase{"1a:00:00,000 ", false, {}},
                           CCase{"10:00:00,0x0 ", false, {}}, CCase{",007 ", false, {}}}) {
        SCOPED_TRACE(c.text);
        const auto time = ParseTimeText(c.text);
        ASSERT_EQ(time.has_value(), c.bValid);
        if (time) {
            EXPECT_EQ(time->hours, c.time.hours);
            EXPECT_EQ(time->minutes, c.time.minutes);
            EXPECT_EQ(time->seconds, c.time.seconds);
            EXPECT_EQ(time->microseconds, c.time.microseconds);
        }
    }
}

TEST(PcapTimeText, ProgressReporterCallsAtStartInStepsAndAtTheEndAndStopsWhenCancelled) {
    std::vector<std::uint64_t> seen;
    const ProgressCallback callback = [&seen](std::uint64_t done, std::uint64_t total) {
        EXPECT_EQ(total, 10'000u);
        seen.push_back(done);
        return done < 5'000;
    };
    CProgressReporter reporter(callback, 10'000);
    std::uint64_t stoppedAt = 0;
    while (reporter.Advance(stoppedAt) && stoppedAt < 10'000) {
        ++stoppedAt;
    }
    EXPECT_EQ(seen.front(), 0u);
    EXPECT_GT(seen.size(), 200u);
    EXPECT_LT(seen.size(), 300u);
    EXPECT_GE(stoppedAt, 5'000u);
    EXPECT_LT(stoppedAt, 5'100u);
    EXPECT_TRUE(reporter.IsCancelled());
    EXPECT_FALSE(reporter.Advance(10'000));
    EXPECT_EQ(seen.back(), stoppedAt);
}

}  // namespace
}  // namespace wirelark
