#include "engine/Generations.h"

#include <cstdio>
#include <cstring>

#include "engine/PathUtils.h"
#include "log/RunLog.h"
#include "platform/File.h"

namespace {

const int32_t MAX_GENERATIONS = 9;

// Room of one run-log line (WriteLogFormat's buffer, terminator included).
const size_t LOG_LINE_BUFFER = 1024;

const char MOVE_LINE[] = "    %s => %s";

enum GenerationType { GENERATIONS_FILE, GENERATIONS_TOP };

// The item path and the paths of its generations 1..nCount, index n holding
// generation n (0 the item itself).
struct GenerationPaths {
    char aszPath[MAX_GENERATIONS + 1][PATH_BUFFER];
};

BOOL FormatGenerationPath(char* pszOut, size_t nSize, const char* pszFolder, const char* pszName, int n)
{
    char szGeneration[256];
    int nLength = snprintf(szGeneration, sizeof(szGeneration), "%d_%s", n, pszName);
    if (nLength < 0 || static_cast<size_t>(nLength) >= sizeof(szGeneration))
        return FALSE;
    return SafeCopy(pszOut, nSize, pszFolder) && SafeCat(pszOut, nSize, szGeneration);
}

// Makes every path of the rotation and checks that every move line fits the
// log, before anything is touched: a name that does not fit then stops the
// rotation with nothing moved, and no path is ever cut into another name.
BOOL MakeGenerationPaths(const char* pszItem, int32_t nCount, GenerationPaths& paths)
{
    char szFolder[PATH_BUFFER];
    char szName[PATH_BUFFER];
    if (!SafeCopy(paths.aszPath[0], sizeof(paths.aszPath[0]), pszItem) ||
        !GetFolderPart(szFolder, sizeof(szFolder), pszItem) ||
        !GetFileNamePart(szName, sizeof(szName), pszItem))
        return FALSE;
    // Without a name ("D:\bk\", or an empty path) the generations would be
    // "1_" beside the destination, or the destination itself would move.
    if (szName[0] == '\0')
        return FALSE;
    for (int n = 1; n <= nCount; n++) {
        if (!FormatGenerationPath(paths.aszPath[n], sizeof(paths.aszPath[n]), szFolder, szName, n))
            return FALSE;
        int nLine = snprintf(nullptr, 0, MOVE_LINE, paths.aszPath[n - 1], paths.aszPath[n]);
        if (nLine < 0 || static_cast<size_t>(nLine) >= LOG_LINE_BUFFER)
            return FALSE;
    }
    return TRUE;
}

BOOL RefuseRotation(const char* pszItem)
{
    if (!WriteLogFormat(LOG_RESULT, "  世代名を作れないので世代を作りません %s", pszItem))
        WriteLog(LOG_RESULT, "  世代名を作れないので世代を作りません");
    return FALSE;
}

BOOL ReportFailedDelete(const char* pszPath, DWORD dwError)
{
    char szError[256];
    FormatSystemError(dwError, szError, sizeof(szError));
    if (!WriteLogFormat(LOG_RESULT, "  世代の削除に失敗しました %s (%s)", pszPath, szError))
        WriteLogFormat(LOG_RESULT, "  世代の削除に失敗しました %s", pszPath);
    return FALSE;
}

BOOL ReportFailedRename(const char* pszFrom, const char* pszTo, DWORD dwError)
{
    char szError[256];
    FormatSystemError(dwError, szError, sizeof(szError));
    // The two paths fit a move line, but with the error text they may not:
    // the line then names the generation that stayed where it was.
    if (!WriteLogFormat(LOG_RESULT, "  世代の名前変更に失敗しました %s => %s (%s)", pszFrom, pszTo, szError) &&
        !WriteLogFormat(LOG_RESULT, "  世代の名前変更に失敗しました %s (%s)", pszFrom, szError))
        WriteLogFormat(LOG_RESULT, "  世代の名前変更に失敗しました %s", pszFrom);
    return FALSE;
}

BOOL RemoveGeneration(const char* pszPath, const CFileStatus& status, GenerationType nType)
{
    if (nType == GENERATIONS_TOP && (status.m_attribute & FILE_ATTR_DIRECTORY) != 0)
        return GetFileServices().DeleteTree(pszPath);
    return CFile::Remove(pszPath);
}

// Shifts generation n to n + 1 from the oldest down.  The first step may
// delete the oldest generation, which falls out of the count anyway; every
// later step moves onto the name that the step before it vacated or found
// empty.
// So a failure stops the rotation with every other copy still in place (at
// worst with a gap in the numbering), and the caller then keeps the item.
BOOL RotateGenerations(const char* pszItem, int32_t* pnCountField, GenerationType nType)
{
    int32_t nCount = *pnCountField;
    if (nCount <= 0)
        return TRUE;
    if (nCount > MAX_GENERATIONS) {
        *pnCountField = MAX_GENERATIONS;
        nCount = MAX_GENERATIONS;
    }

    GenerationPaths paths;
    if (!MakeGenerationPaths(pszItem, nCount, paths))
        return RefuseRotation(pszItem);

    const char* pszCountLine = nType == GENERATIONS_FILE ? "  タイプ１の世代を作ります 世代数=%d"
                                                          : "  タイプ２の世代を作ります 世代数=%d";
    if (!WriteLogFormat(LOG_DETAIL, pszCountLine, nCount))
        return RefuseRotation(pszItem);

    FileServices& services = GetFileServices();
    for (int n = nCount - 1; n >= 0; n--) {
        const char* pszFrom = paths.aszPath[n];
        const char* pszTo = paths.aszPath[n + 1];
        CFileStatus status;
        if (!CFile::GetStatus(pszFrom, status))
            continue;
        if (CFile::GetStatus(pszTo, status) && !RemoveGeneration(pszTo, status, nType))
            return ReportFailedDelete(pszTo, services.GetLastError());
        if (!WriteLogFormat(LOG_DETAIL, MOVE_LINE, pszFrom, pszTo))
            return RefuseRotation(pszItem);
        if (!CFile::Rename(pszFrom, pszTo))
            return ReportFailedRename(pszFrom, pszTo, services.GetLastError());
    }
    return TRUE;
}

}  // namespace

BOOL RotateFileGenerations(const char* pszPath, BackupSet* pSet)
{
    return RotateGenerations(pszPath, &pSet->nFileGenerations, GENERATIONS_FILE);
}

BOOL RotateTopGenerations(const char* pszPath, BackupSet* pSet)
{
    return RotateGenerations(pszPath, &pSet->nTopGenerations, GENERATIONS_TOP);
}
