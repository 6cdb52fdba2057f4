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
    size_t length = strftime(text, sizeof(text), pszPattern, &local);
    return std::string(text, length);
}
