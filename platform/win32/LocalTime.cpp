#include "platform/Time.h"

int ToLocalTime(time_t t, struct tm* out)
{
    // The C runtime keeps localtime's result per thread, so this is safe on
    // the worker; copy it out before anything else calls it.
    struct tm* local = localtime(&t);
    if (local == nullptr)
        return 0;
    *out = *local;
    return 1;
}
