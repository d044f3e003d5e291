// Time texts shared by the intake and the file readers: both formatters write the same texts,
// and texts read back to the time of day they show.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <tuple>
#include <vector>

#include "common/progress.h"
#include "store/time_text.h"

namespace wirelark {
namespace {

TEST(TimeText, BothFormattersShowTheLocalClockAndMicrosecondsPaddedToSix) {
    const char* tz = std::getenv("TZ");
    const bool bHadTz = tz != nullptr;
    const std::string savedTz = bHadTz ? tz : "";
    setenv("TZ", "UTC", 1);
    tzset();
    // Seconds after 1700000000, which is 22:13:20 UTC. The reused formatter changes seconds,
    // goes back to an earlier one and shows fractions out of range as they are.
    const struct {
        time_t seconds;
        suseconds_t microseconds;
        const char* text;
    } cases[] = {{0, 7, "22:13:20,000007 "},       {0, 250'000, "22:13:20,250000 "},
                 {0, 0, "22:13:20,000000 "},       {0, 80'008, "22:13:20,080008 "},
                 {0, 999'999, "22:13:20,999999 "}, {1, 123'456, "22:13:21,123456 "},
                 {1, -5, "22:13:21,-000005 "},     {1, 1'234'567, "22:13:21,1234567 "},
                 {3600, 12, "23:13:20,000012 "},   {-1'700'000'000, 1, "00:00:00,000001 "},
                 {0, 100, "22:13:20,000100 "}};
    CTimeTextFormatter formatter;
    for (const auto& c : cases) {
        const timeval time{1'700'000'000 + c.seconds, c.microseconds};
        EXPECT_EQ(FormatTimeText(time), c.text);
        EXPECT_EQ(formatter.Format(time), c.text);
    }
    bHadTz ? setenv("TZ", savedTz.c_str(), 1) : unsetenv("TZ");
    tzset();
}

TEST(PcapTimeText, ParsesWhatTheIntakeWritesAndRefusesTheRest) {
    const struct {
        const char* text;
        int hours, minutes, seconds;
        long microseconds;
    } cases[] = {{"10:00:00,007 ", 10, 0, 0, 7},
                 {"23:59:59,999999 ", 23, 59, 59, 999'999},
                 {"23:59:60,5 ", 23, 59, 60, 5},  // a leap second
                 {"00:00:01,000", 0, 0, 1, 0},
                 {"12:34:56,1234567 ", 12, 34, 56, 1'234'567}};
    for (const auto& c : cases) {
        const auto time = ParseTimeText(c.text);
        ASSERT_TRUE(time) << c.text;
        EXPECT_EQ(std::tie(time->hours, time->minutes, time->seconds, time->microseconds),
                  std::tie(c.hours, c.minutes, c.seconds, c.microseconds));
    }
    for (const char* text :
         {"", "24:00:00,000 ", "10:60:00,000 ", "10:00:61,000 ", "10:00:00,", "10:00:00,1234567890",
          "10:00:00.000 ", "1a:00:00,000 ", "10:00:00,0x0 ", ",007 "}) {
        EXPECT_FALSE(ParseTimeText(text)) << text;
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
    EXPECT_TRUE(seen.size() > 200 && seen.size() < 300) << seen.size();
    EXPECT_TRUE(stoppedAt >= 5'000 && stoppedAt < 5'100) << stoppedAt;
    EXPECT_TRUE(reporter.IsCancelled());
    EXPECT_FALSE(reporter.Advance(10'000));
    EXPECT_EQ(seen.back(), stoppedAt);
}

}  // namespace
}  // namespace wirelark
