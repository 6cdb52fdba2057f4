#include "log/RunLog.h"

#include <cstdarg>
#include <cstdio>

#include "config/BackupConfig.h"
#include "platform/Time.h"

short g_bLogOpen = 0;
CStdioFile g_logFile;

BOOL OpenRunLog(const char* pszFileName)
{
    g_bLogOpen = g_logFile.Open(pszFileName, CStdioFile::modeCreate | CStdioFile::modeWrite) ? 1 : 0;
    return g_bLogOpen;
}

void CloseRunLog()
{
    if (g_bLogOpen == 1)
        g_logFile.Close();
    g_bLogOpen = 0;
}

void WriteLog(short nKind, const char* pszText)
{
    if (g_bLogOpen != 1)
        return;
    // The filter is read on every call: the settings are the only place it lives.
    if (nKind != LOG_RESULT && g_pConfig != nullptr && g_pConfig->m_bLogResultsOnly != 0)
        return;
    std::string stamp = CTime::GetCurrentTime().Format("%Y/%m/%d %H:%M:%S  ");
    if (!g_logFile.WriteString(stamp.c_str()) || !g_logFile.WriteString(pszText) ||
        !g_logFile.WriteString("\n")) {
        // A log that cannot be written any more (a full disk) is given up;
        // the backup itself goes on.
        CloseRunLog();
    }
}

void WriteLogDetail(const char* pszText)
{
    WriteLog(LOG_DETAIL, pszText);
}

BOOL WriteLogFormat(short nKind, const char* pszFormat, ...)
{
    char szLine[1024];
    va_list args;
    va_start(args, pszFormat);
    int nLength = vsnprintf(szLine, sizeof(szLine), pszFormat, args);
    va_end(args);
    if (nLength < 0 || static_cast<size_t>(nLength) >= sizeof(szLine))
        return FALSE;
    WriteLog(nKind, szLine);
    return TRUE;
}
