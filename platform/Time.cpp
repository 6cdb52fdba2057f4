#include "platform/Time.h"

CTime CTime::GetCurrentTime()
{
    return CTime(time(nullptr));
}

std::string CTime::Format(const char* pszPattern) const
{
    struct tm local;
    if (!ToLocalTime(m_time, &local))
        return std::string();
    char text[128];
    // The pattern is the caller's, a literal in every caller.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    size_t length = strftime(text, sizeof(text), pszPattern, &local);
#pragma GCC diagnostic pop
    return std::string(text, length);
}
