// A system error code as the text the user reads, for the start-up checks
// that report in a sentence of their own.
#pragma once

#include <string>

#include "platform/FileServices.h"

inline std::string SystemErrorText(DWORD dwError)
{
    char szText[256];
    FormatSystemError(dwError, szText, sizeof szText);
    return szText;
}
