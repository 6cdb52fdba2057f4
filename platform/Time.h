// CTime and CTimeSpan: whole-second times, formatted in local time.
#pragma once

#include <ctime>
#include <string>

class CTimeSpan {
public:
    explicit CTimeSpan(long long nSeconds = 0) : m_nSeconds(nSeconds) {}
    long long GetTotalSeconds() const { return m_nSeconds; }

private:
    long long m_nSeconds;
};

class CTime {
public:
    CTime() : m_time(0) {}
    explicit CTime(time_t t) : m_time(t) {}

    static CTime GetCurrentTime();
    time_t GetTime() const { return m_time; }

    // Local time through strftime; at most 127 characters, and empty when
    // the time cannot be converted.
    std::string Format(const char* pszPattern) const;

    CTime operator+(CTimeSpan span) const { return CTime(m_time + static_cast<time_t>(span.GetTotalSeconds())); }
    bool operator<(CTime other) const { return m_time < other.m_time; }
    bool operator>(CTime other) const { return m_time > other.m_time; }
    bool operator<=(CTime other) const { return m_time <= other.m_time; }
    bool operator>=(CTime other) const { return m_time >= other.m_time; }
    bool operator==(CTime other) const { return m_time == other.m_time; }
    bool operator!=(CTime other) const { return m_time != other.m_time; }

private:
    time_t m_time;
};

// Local broken-down time of t; FALSE when it cannot be converted.
// One implementation per platform (thread-safe on both).
int ToLocalTime(time_t t, struct tm* out);
