// Reading and writing the settings file the way the Windows profile-string
// functions do.  On Windows these are the real functions; on POSIX our own
// reader and writer (config/IniFile) behave like them on the files people
// really write, in UTF-8 or Shift-JIS.
#pragma once

#include "PlatformTypes.h"
#include "platform/TextCodec.h"

// All texts are UTF-8; on Windows the file itself stays Shift-JIS.

// GetCurrentDirectory: length of the path written, 0 on failure, or the
// size needed (with the terminator) when nSize is too small.
DWORD GetCurrentFolder(DWORD nSize, char* pszBuffer);

// GetPrivateProfileString: copies the value (or the default) into the
// buffer, cut to nSize - 1 bytes at a character boundary; returns its length.
DWORD ReadProfileString(const char* pszSection, const char* pszKey, const char* pszDefault,
                        char* pszBuffer, DWORD nSize, const char* pszFile);

// WritePrivateProfileString: sets one key, adding it or its section when
// missing, and keeps every other byte of the file.
BOOL WriteProfileString(const char* pszSection, const char* pszKey, const char* pszValue,
                        const char* pszFile);

// Encoding of the file's text, which the run log is written in: Shift-JIS on
// Windows; on POSIX as detected (ENCODING_NATIVE for a file that does not
// exist), and a line that does not decode is named in one line on stderr.
TextEncoding GetProfileEncoding(const char* pszFile);
