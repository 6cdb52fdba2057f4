#include "platform/Time.h"

int ToLocalTime(time_t t, struct tm* out)
{
    return localtime_r(&t, out) != nullptr;
}
