#include "log/RunLog.h"

#include <cstdarg>
#include <cstdio>

#include <string>

#include "config/BackupConfig.h"
#include "log/LogText.h"
#include "platform/Time.h"

namespace {

// Room for a line naming two paths of the longest kind (PATH_MAX on POSIX)
// and the words around them; a longer line is cut.
const size_t LINE_BUFFER = 8192;

// The time stamp of the second it was made in: a walk writes many lines a
// second, and formatting local time costs more than the rest of a line.
// Worker thread only, like every write to the log.
const char* TimeStamp()
{
    static time_t s_lastSecond = -1;
    static std::string s_stamp;
    CTime now = CTime::GetCurrentTime();
    if (now.GetTime() != s_lastSecond) {
        s_lastSecond = now.GetTime();
        s_stamp = now.Format("%Y/%m/%d %H:%M:%S  ");
    }
    return s_stamp.c_str();
}

}  // namespace

short g_bLogOpen = 0;
CStdioFile g_logFile;

namespace {

// A line of this run's log could not be written.  Worker thread only.
bool s_bLineLost = false;

}  // namespace

BOOL OpenRunLog(const char* pszFileName, std::string& why)
{
    s_bLineLost = false;
    g_bLogOpen = g_logFile.Open(pszFileName, CStdioFile::modeCreate | CStdioFile::modeWrite, why) ? 1 : 0;
    return g_bLogOpen;
}

BOOL CloseRunLog()
{
    if (g_bLogOpen == 1 && !g_logFile.Close())
        s_bLineLost = true;
    g_bLogOpen = 0;
    const bool bLost = s_bLineLost;
    s_bLineLost = false;
    return bLost ? FALSE : TRUE;
}

BOOL IsLogWritten(short nKind)
{
    // The filter is read on every call: the settings are the only place it lives.
    return g_bLogOpen == 1 &&
           (nKind == LOG_RESULT || g_pConfig == nullptr || g_pConfig->m_bLogResultsOnly == 0);
}

void WriteLog(short nKind, const char* pszText)
{
    if (!IsLogWritten(nKind))
        return;
    // Kept between lines: a walk writes many, and each would allocate anew.
    thread_local std::string text;
    thread_local std::string line;
    EscapeForDisplay(pszText, text);
    line.assign(TimeStamp());
    line += text;
    line += '\n';
    if (!g_logFile.WriteString(line)) {
        // A log that cannot be written any more (a full disk) is given up;
        // the backup itself goes on.
        g_logFile.Close();
        g_bLogOpen = 0;
        s_bLineLost = true;
    }
}

void WriteLogDetail(const char* pszText)
{
    WriteLog(LOG_DETAIL, pszText);
}

BOOL WriteLogFormat(short nKind, const char* pszFormat, ...)
{
    // A walk formats a line or two for every entry: none when it would be
    // dropped.
    if (!IsLogWritten(nKind))
        return TRUE;
    char szLine[LINE_BUFFER];
    va_list args;
    va_start(args, pszFormat);
    int nLength = vsnprintf(szLine, sizeof(szLine), pszFormat, args);
    va_end(args);
    if (nLength < 0)
        return FALSE;
    // A file is never left out because its line is long: the line gives way.
    if (static_cast<size_t>(nLength) >= sizeof(szLine))
        MarkLineCut(szLine, sizeof(szLine));
    WriteLog(nKind, szLine);
    return TRUE;
}
