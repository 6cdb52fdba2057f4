// Windows types and constants come from the SDK; this header only adds the
// platform's path separator.  The POSIX twin defines the same names.
#pragma once

#include <windows.h>
#include <shellapi.h>
#include <process.h>

// <windows.h> maps these names onto its own functions; the program uses them
// as member names (CTime::GetCurrentTime, FileServices::CreateDirectory ...).
#undef GetCurrentTime
#undef CreateDirectory
#undef CopyFile
#undef DeleteFile
#undef MoveFile
#undef GetMessage
#undef MessageBox

// The path separator of this platform.
const char PATH_SEP = '\\';
#define PATH_SEP_STR "\\"

// Room of the buffers that hold one path, terminator included: a Linux
// path (PATH_MAX), and on Windows any path the long-path prefix reaches in
// practice, in UTF-8.
const int PATH_BUFFER = 4096;
