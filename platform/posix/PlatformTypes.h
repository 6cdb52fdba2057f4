// The handful of Windows types and constants that the program's records and
// interfaces use, defined for POSIX.  The Windows twin takes them from the SDK.
#pragma once

#include <cerrno>
#include <cstdint>

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned int UINT;
typedef uint32_t DWORD;
typedef int32_t LONG;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

// The path separator of this platform.
const char PATH_SEP = '/';
#define PATH_SEP_STR "/"

// Room of the buffers that hold one path, terminator included: a Linux
// path (PATH_MAX), and on Windows any path the long-path prefix reaches in
// practice, in UTF-8.
const int PATH_BUFFER = 4096;

// A medium that is not there (an empty card reader, an ejected disc) is the
// POSIX counterpart of a drive that is not ready.
const DWORD ERROR_NOT_READY = ENOMEDIUM;

// Answers of the not-ready question, with the Windows values.
const int IDCANCEL = 2;
const int IDRETRY = 4;
const UINT MB_RETRYCANCEL = 0x05;
const UINT MB_ICONEXCLAMATION = 0x30;

// Shell operation flags, with the Windows values.
const UINT FOF_SILENT = 0x0004;
const UINT FOF_NOCONFIRMATION = 0x0010;
const UINT FOF_NOCONFIRMMKDIR = 0x0200;

// The kernel's sleep, as the program calls it on Windows.
void Sleep(DWORD dwMilliseconds);
