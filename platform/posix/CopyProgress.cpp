#include "platform/CopyProgress.h"

// Without a window there is nobody to show progress to or to abort.
BOOL ReportCopyProgress(const char*, const char*, long long, long long)
{
    return TRUE;
}
