// Capture times, the list's Time Stamp text of one, and the way back from such a text to a time,
// shared by the capture intake, the records and the capture-file readers and writers.
#pragma once

#include <sys/time.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace wirelark {

// A capture time: seconds since the epoch and the nanoseconds within that second.
struct CPacketTime {
    std::int64_t seconds = 0;
    std::uint32_t nanoseconds = 0;

    friend bool operator==(const CPacketTime&, const CPacketTime&) = default;
};

// "%H:%M:%S" of the local time, then the microseconds as six digits, zero-padded, and a blank
// (7 gives ",000007 ", 80008 gives ",080008 "), so the digits always read as a decimal fraction.
std::string FormatTimeText(const timeval& timestamp);

// The same texts for a long run of timestamps: the clock part is converted only when the
// second changes, and nothing is allocated.
class CTimeTextFormatter {
public:
    // The text of `timestamp`, valid until the next call.
    std::string_view Format(const timeval& timestamp);

private:
    bool m_bHaveClock = false;
    std::time_t m_clockSecond = 0;
    std::size_t m_clockSize = 0;
    char m_text[48] = "";  // the clock part stays in place while the second is the same
};

// What a time text says: the time of day and the microseconds as written.
struct CTimeOfDay {
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    long microseconds = 0;
};

// Reads "HH:MM:SS,digits" (the trailing blank optional); nullopt for anything else. The digits
// count microseconds however many there are: a stored ",007 " is 7 microseconds.
std::optional<CTimeOfDay> ParseTimeText(std::string_view text);

// Turns time texts into times on one day. mktime, which looks at the time zone files on every
// call, runs once per hour of the day that the texts name; the minutes and seconds are added to
// the start of the hour, which is exact wherever clocks change on the hour.
class CTimeTextClock {
public:
    explicit CTimeTextClock(std::time_t date);

    // The time the text names on the clock's day; midnight when the text is not a time.
    CPacketTime ToTime(std::string_view text);

private:
    std::tm m_day{};
    bool m_bHaveHour = false;
    int m_hour = 0;
    std::time_t m_hourStart = 0;
};

}  // namespace wirelark
