// Time Stamp texts: local clock time and raw microseconds, and the times such texts name.
#include "store/time_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace wirelark {

namespace {

// The clock part, or an empty text for a time the C library cannot convert.
std::size_t FormatClock(std::time_t seconds, char (&clock)[16]) {
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) {
        clock[0] = '\0';
        return 0;
    }
    const std::size_t size = std::strftime(clock, sizeof clock, "%H:%M:%S", &local);
    if (size == 0) {
        clock[0] = '\0';
    }
    return size;
}

// ",%.6ld " for a value that is not negative: at least six digits.
std::size_t AppendFraction(char* out, unsigned long value) {
    char digits[24];
    std::size_t count = 0;
    while (value >= 100) {
        const unsigned long pair = value % 100;
        value /= 100;
        digits[count++] = static_cast<char>('0' + pair % 10);
        digits[count++] = static_cast<char>('0' + pair / 10);
    }
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count < 6) {
        digits[count++] = '0';
    }
    std::size_t size = 0;
    out[size++] = ',';
    while (count > 0) {
        out[size++] = digits[--count];
    }
    out[size++] = ' ';
    return size;
}

}  // namespace

std::string FormatTimeText(const timeval& timestamp) {
    CTimeTextFormatter formatter;
    return std::string(formatter.Format(timestamp));
}

std::string_view CTimeTextFormatter::Format(const timeval& timestamp) {
    const std::time_t seconds = timestamp.tv_sec;
    if (!m_bHaveClock || seconds != m_clockSecond) {
        char clock[16];
        m_clockSize = FormatClock(seconds, clock);
        std::memcpy(m_text, clock, m_clockSize);
        m_clockSecond = seconds;
        m_bHaveClock = true;
    }
    if (timestamp.tv_usec < 0) {
        char text[48];
        const int length =
            std::snprintf(text, sizeof text, "%.*s,%.6ld ", static_cast<int>(m_clockSize), m_text,
                          static_cast<long>(timestamp.tv_usec));
        const std::size_t size = static_cast<std::size_t>(std::clamp(length, 0, 47));
        std::memcpy(m_text, text, size);
        return {m_text, size};
    }
    const std::size_t size =
        m_clockSize +
        AppendFraction(m_text + m_clockSize, static_cast<unsigned long>(timestamp.tv_usec));
    return {m_text, size};
}

std::optional<CTimeOfDay> ParseTimeText(std::string_view text) {
    const auto twoDigits = [&text](std::size_t at, int limit) -> std::optional<int> {
        if (text[at] < '0' || text[at] > '9' || text[at + 1] < '0' || text[at + 1] > '9') {
            return std::nullopt;
        }
        const int value = (text[at] - '0') * 10 + (text[at + 1] - '0');
        return value <= limit ? std::optional<int>(value) : std::nullopt;
    };
    if (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    if (text.size() < 10 || text[2] != ':' || text[5] != ':' || text[8] != ',') {
        return std::nullopt;
    }
    // 60 allows the leap second a clock may show.
    const auto hours = twoDigits(0, 23);
    const auto minutes = twoDigits(3, 59);
    const auto seconds = twoDigits(6, 60);
    if (!hours || !minutes || !seconds) {
        return std::nullopt;
    }
    const std::string_view digits = text.substr(9);
    if (digits.empty() || digits.size() > 9) {
        return std::nullopt;
    }
    long microseconds = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        microseconds = microseconds * 10 + (c - '0');
    }
    return CTimeOfDay{*hours, *minutes, *seconds, microseconds};
}

CTimeTextClock::CTimeTextClock(std::time_t date) {
    localtime_r(&date, &m_day);
}

CPacketTime CTimeTextClock::ToTime(std::string_view text) {
    const std::optional<CTimeOfDay> time = ParseTimeText(text);
    const CTimeOfDay clock = time.value_or(CTimeOfDay{});
    if (!m_bHaveHour || clock.hours != m_hour) {
        std::tm local = m_day;
        local.tm_hour = clock.hours;
        local.tm_min = 0;
        local.tm_sec = 0;
        local.tm_isdst = -1;
        m_hourStart = std::mktime(&local);
        m_hour = clock.hours;
        m_bHaveHour = true;
    }
    // Microsecond texts beyond a second (a raw value of a damaged file) carry over.
    const long microseconds = time ? time->microseconds : 0;
    return {static_cast<std::int64_t>(m_hourStart) + clock.minutes * 60 + clock.seconds +
                microseconds / 1'000'000,
            static_cast<std::uint32_t>(microseconds % 1'000'000) * 1000u};
}

}  // namespace wirelark
