// The list's Time Stamp text of a capture time, and the way back from such a text to a time of
// day, shared by the capture intake and the capture-file readers.
#pragma once

#include <sys/time.h>

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace wirelark {

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

}  // namespace wirelark
