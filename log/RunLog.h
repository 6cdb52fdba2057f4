// The run log: one time-stamped line per event, in the file named by the
// setting "ログファイル名", created anew at each run.
#pragma once

#include <string>

#include "PlatformTypes.h"
#include "platform/StdioFile.h"

const short LOG_DETAIL = 0;
const short LOG_RESULT = 1;

extern short g_bLogOpen;
extern CStdioFile g_logFile;

// Writes one line: local time "%Y/%m/%d %H:%M:%S  ", the text, a line end
// (a line of 8192 bytes or more is cut as WriteLogFormat cuts it).
// Control characters and bytes that are no text are written escaped (see
// EscapeForDisplay), so that no name can forge a line of its own.  Kind 1
// is a result line; any other kind is a detail line, dropped when the
// settings ask for results only.  Nothing happens while the log is closed.
void WriteLog(short nKind, const char* pszText);

// TRUE when a line of this kind would be written now, so that a caller can
// skip the work of making one that would be dropped.
BOOL IsLogWritten(short nKind);
void WriteLogDetail(const char* pszText);

// Formats a line as printf does, its %s arguments escaped as WriteLog
// escapes text, and writes it; a line of 8192 bytes or more is cut at a
// character boundary and marked with an ellipsis.  The line is made later
// on the log's own thread from pszFormat, which must therefore stay as it
// is until the log is closed: a literal, or an array of static storage.
// FALSE only when the format itself fails (nothing is written).
BOOL WriteLogFormat(short nKind, const char* pszFormat, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// Opens the run log for this run (the worker's frame): TRUE when it opened,
// else why says what stood in the way (see CStdioFile::Open).
BOOL OpenRunLog(const char* pszFileName, std::string& why);
// The same where what stood in the way does not matter.
inline BOOL OpenRunLog(const char* pszFileName)
{
    std::string why;
    return OpenRunLog(pszFileName, why);
}
// Closes it once every line asked for is written; no line is written
// after this.  FALSE when a line could not
// be written (a full disk: the log was given up there), so the log that
// was opened is incomplete.
BOOL CloseRunLog();
