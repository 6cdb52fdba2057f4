#include "engine/BackupReport.h"

#include <cstdio>
#include <cstring>

#include "engine/RunState.h"
#include "log/RunLog.h"
#include "platform/FileServices.h"
#include "platform/Text.h"

namespace {

const char CUT_MARK[] = "...";
const size_t CUT_MARK_LENGTH = sizeof(CUT_MARK) - 1;
const size_t LINE_BUFFER = 1024;

}  // namespace

void JoinForLog(char* pszOut, size_t nSize, const char* pszPart1, const char* pszPart2, const char* pszPart3)
{
    if (nSize == 0)
        return;
    pszOut[0] = '\0';
    const char* parts[] = {pszPart1, pszPart2, pszPart3};
    size_t nTotal = 0;
    for (const char* pszPart : parts)
        nTotal += pszPart != nullptr ? strlen(pszPart) : 0;
    BOOL bCut = nTotal >= nSize;
    if (bCut && nSize <= CUT_MARK_LENGTH)
        return;
    size_t nLimit = bCut ? nSize - 1 - CUT_MARK_LENGTH : nSize - 1;
    size_t nLength = 0;
    for (const char* pszPart : parts) {
        if (pszPart == nullptr)
            continue;
        size_t nPart = strlen(pszPart);
        size_t nKeep = nPart;
        if (nLength + nPart > nLimit)
            nKeep = CharBoundaryAtOrBefore(pszPart, nLimit - nLength);
        memcpy(pszOut + nLength, pszPart, nKeep);
        nLength += nKeep;
        if (nKeep != nPart)
            break;
    }
    pszOut[nLength] = '\0';
    if (bCut)
        memcpy(pszOut + nLength, CUT_MARK, sizeof(CUT_MARK));
}

void WriteLogNaming(short nKind, const char* pszBefore, const char* pszName, const char* pszAfter)
{
    char szLine[LINE_BUFFER];
    size_t nBefore = strlen(pszBefore);
    size_t nAfter = strlen(pszAfter);
    // The fixed texts are short; only the name gives way.
    if (nBefore + nAfter + CUT_MARK_LENGTH + 1 > sizeof(szLine))
        return;
    memcpy(szLine, pszBefore, nBefore);
    JoinForLog(szLine + nBefore, sizeof(szLine) - nBefore - nAfter, pszName);
    size_t nLength = strlen(szLine);
    memcpy(szLine + nLength, pszAfter, nAfter + 1);
    WriteLog(nKind, szLine);
}

void ReportTooLong(const char* pszPart1, const char* pszPart2, const char* pszPart3)
{
    char szName[LINE_BUFFER];
    JoinForLog(szName, sizeof(szName), pszPart1, pszPart2, pszPart3);
    WriteLogNaming(LOG_RESULT, "  パスが長すぎるのでコピーしません  ", szName, "");
    NoteRunFailure();
}

void ReportFailure(const char* pszBefore, const char* pszPath, DWORD dwError)
{
    char szError[256];
    FormatSystemError(dwError, szError, sizeof(szError));
    char szAfter[300];
    int nLength = snprintf(szAfter, sizeof(szAfter), "  エラー=%s", szError);
    if (nLength < 0 || static_cast<size_t>(nLength) >= sizeof(szAfter))
        szAfter[0] = '\0';
    WriteLogNaming(LOG_RESULT, pszBefore, pszPath, szAfter);
    NoteRunFailure();
}
