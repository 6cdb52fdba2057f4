#include "engine/BackupReport.h"

#include "engine/RunState.h"
#include "log/RunLog.h"
#include "platform/FileServices.h"

namespace {

const char* OrEmpty(const char* psz)
{
    return psz != nullptr ? psz : "";
}

}  // namespace

void WriteLogNaming(short nKind, const char* pszBefore, const char* pszName, const char* pszAfter)
{
    WriteLogFormat(nKind, "%s%s%s", pszBefore, pszName, pszAfter);
}

void ReportTooLong(const char* pszPart1, const char* pszPart2, const char* pszPart3)
{
    WriteLogFormat(LOG_RESULT, "  パスが長すぎるのでコピーしません  %s%s%s", OrEmpty(pszPart1), OrEmpty(pszPart2),
                   OrEmpty(pszPart3));
    NoteRunFailure();
}

void ReportFailure(const char* pszBefore, const char* pszPath, DWORD dwError)
{
    char szError[256];
    FormatSystemError(dwError, szError, sizeof(szError));
    WriteLogFormat(LOG_RESULT, "%s%s  エラー=%s", pszBefore, pszPath, szError);
    NoteRunFailure();
}
