// Progress of the program's own file copy (POSIX, where no shell draws a
// copy window).  The copy calls this between chunks of data unless it was
// asked to be silent.
#pragma once

#include "PlatformTypes.h"

// nDone of nTotal bytes of pszFrom are copied towards pszTo.  Returns FALSE
// when the user aborts the copy: it then stops, removes what it wrote and
// reports the abort to its caller.
BOOL ReportCopyProgress(const char* pszFrom, const char* pszTo, long long nDone, long long nTotal);
