#include "engine/Generations.h"

#include <cstdio>
#include <cstring>

#include "engine/PathUtils.h"
#include "engine/RunState.h"
#include "log/RunLog.h"
#include "platform/FileServices.h"

namespace {

const int32_t MAX_GENERATIONS = 9;

const char MOVE_LINE[] = "    %s => %s";

// The oldest generation waits under this name, beside its item, until every
// other rename of the rotation has succeeded.  A leading dot keeps it out of
// sight on POSIX; no generation name ("%d_%s") starts with one.  It is one
// name for the whole folder, so that it fits beside the longest item name:
// whatever a run that ended early left under it was being dropped anyway.
const char DROPPED_NAME[] = ".tandemix-old";

enum GenerationType { GENERATIONS_FILE, GENERATIONS_TOP };

// The paths of one rotation: index n holds generation n (0 the item
// itself), and the name the oldest waits under.
struct GenerationPaths {
    char aszPath[MAX_GENERATIONS + 1][PATH_BUFFER];
    char szDropped[PATH_BUFFER];
};

BOOL FormatGenerationName(char* pszOut, size_t nSize, const char* pszFolder, const char* pszName, int n)
{
    char szGeneration[256];
    int nLength = snprintf(szGeneration, sizeof(szGeneration), "%d_%s", n, pszName);
    if (nLength < 0 || static_cast<size_t>(nLength) >= sizeof(szGeneration))
        return FALSE;
    return SafeCopy(pszOut, nSize, pszFolder) && SafeCat(pszOut, nSize, szGeneration);
}

// Makes every path of the rotation before anything is touched: a name that
// does not fit then stops the rotation with nothing moved, and no path is
// ever cut into another name.
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
        if (!FormatGenerationName(paths.aszPath[n], sizeof(paths.aszPath[n]), szFolder, szName, n))
            return FALSE;
    }
    return SafeCopy(paths.szDropped, sizeof(paths.szDropped), szFolder) &&
           SafeCat(paths.szDropped, sizeof(paths.szDropped), DROPPED_NAME);
}

BOOL RefuseRotation(const char* pszItem)
{
    WriteLogFormat(LOG_RESULT, "  世代名を作れないので世代を作りません %s", pszItem);
    return FALSE;
}

BOOL ReportFailedDelete(const char* pszPath, DWORD dwError)
{
    char szError[256];
    FormatSystemError(dwError, szError, sizeof(szError));
    WriteLogFormat(LOG_RESULT, "  世代の削除に失敗しました %s (%s)", pszPath, szError);
    return FALSE;
}

BOOL ReportFailedRename(const char* pszFrom, const char* pszTo, DWORD dwError)
{
    char szError[256];
    FormatSystemError(dwError, szError, sizeof(szError));
    WriteLogFormat(LOG_RESULT, "  世代の名前変更に失敗しました %s => %s (%s)", pszFrom, pszTo, szError);
    return FALSE;
}

// Deletes a generation, with everything in it when it is a folder; a
// missing one is no error.  A type-1 generation is never a folder, but the
// dropped name of its folder may hold a type-2 one.
BOOL RemoveGeneration(const char* pszPath)
{
    CFileStatus status;
    if (!GetFileServices().GetStatus(pszPath, status))
        return TRUE;
    if ((status.m_attribute & FILE_ATTR_DIRECTORY) != 0)
        return GetFileServices().DeleteTree(pszPath);
    return GetFileServices().RemoveFile(pszPath);
}

BOOL Exists(const char* pszPath)
{
    CFileStatus status;
    return GetFileServices().GetStatus(pszPath, status);
}

// The renames of one rotation, in the order they were made, so that a
// failure can put every name back.
class RenameJournal {
public:
    RenameJournal() : m_nDone(0) {}

    BOOL Move(const char* pszFrom, const char* pszTo, BOOL bLogged)
    {
        if (bLogged)
            WriteLogFormat(LOG_DETAIL, MOVE_LINE, pszFrom, pszTo);
        if (!GetFileServices().RenameFile(pszFrom, pszTo))
            return ReportFailedRename(pszFrom, pszTo, GetFileServices().GetLastError());
        m_apszFrom[m_nDone] = pszFrom;
        m_apszTo[m_nDone] = pszTo;
        m_abLogged[m_nDone] = bLogged;
        m_nDone++;
        return TRUE;
    }

    // Undoes every rename, newest first.  A name that cannot go back is
    // reported; the copy is still there under the name the log gave it.
    void Undo()
    {
        while (m_nDone > 0) {
            m_nDone--;
            const char* pszFrom = m_apszTo[m_nDone];
            const char* pszTo = m_apszFrom[m_nDone];
            if (m_abLogged[m_nDone])
                WriteLogFormat(LOG_DETAIL, MOVE_LINE, pszFrom, pszTo);
            if (!GetFileServices().RenameFile(pszFrom, pszTo))
                ReportFailedRename(pszFrom, pszTo, GetFileServices().GetLastError());
        }
    }

private:
    // One rename per generation, the oldest's and the new item's.
    static const int MAX_RENAMES = MAX_GENERATIONS + 2;
    const char* m_apszFrom[MAX_RENAMES];
    const char* m_apszTo[MAX_RENAMES];
    BOOL m_abLogged[MAX_RENAMES];
    int m_nDone;
};

int32_t CapCount(int32_t* pnCountField)
{
    if (*pnCountField > MAX_GENERATIONS)
        *pnCountField = MAX_GENERATIONS;
    return *pnCountField;
}

// Shifts generation n to n + 1 from the oldest down, then puts pszNewItem
// (if any) under the item's name.  The oldest generation is first moved
// aside, not deleted, so that until every rename has succeeded each copy
// still exists and a failure can restore every name.
BOOL RotateGenerations(const char* pszItem, int32_t* pnCountField, GenerationType nType, const char* pszNewItem)
{
    int32_t nCount = CapCount(pnCountField);
    if (nCount <= 0)
        return TRUE;

    static GenerationPaths paths;   // worker thread only; too large for its stack at every depth
    if (!MakeGenerationPaths(pszItem, nCount, paths))
        return RefuseRotation(pszItem);

    const char* pszCountLine = nType == GENERATIONS_FILE ? "  タイプ１の世代を作ります 世代数=%d"
                                                          : "  タイプ２の世代を作ります 世代数=%d";
    WriteLogFormat(LOG_DETAIL, pszCountLine, nCount);

    // An oldest copy still waiting from a run that ended before it was
    // deleted is what that rotation dropped.
    if (!RemoveGeneration(paths.szDropped))
        return ReportFailedDelete(paths.szDropped, GetFileServices().GetLastError());

    // The oldest goes only when a younger copy moves onto its name.
    RenameJournal journal;
    BOOL bDropped = Exists(paths.aszPath[nCount - 1]) && Exists(paths.aszPath[nCount]);
    if (bDropped && !journal.Move(paths.aszPath[nCount], paths.szDropped, FALSE))
        return FALSE;
    for (int n = nCount - 1; n >= 0; n--) {
        if (Exists(paths.aszPath[n]) && !journal.Move(paths.aszPath[n], paths.aszPath[n + 1], TRUE)) {
            journal.Undo();
            return FALSE;
        }
    }
    if (pszNewItem != nullptr && !journal.Move(pszNewItem, pszItem, TRUE)) {
        journal.Undo();
        return FALSE;
    }

    // Every copy has its new name; only now is the oldest let go.  If it
    // cannot be, it waits under its hidden name for the next rotation.
    if (bDropped && !RemoveGeneration(paths.szDropped)) {
        ReportFailedDelete(paths.szDropped, GetFileServices().GetLastError());
        NoteRunFailure();
    }
    return TRUE;
}

}  // namespace

BOOL RotateFileGenerations(const char* pszPath, BackupSet* pSet)
{
    return RotateGenerations(pszPath, &pSet->nFileGenerations, GENERATIONS_FILE, nullptr);
}

BOOL DropOldestTopGeneration(const char* pszPath, BackupSet* pSet)
{
    int32_t nCount = CapCount(&pSet->nTopGenerations);
    if (nCount <= 0)
        return TRUE;
    static GenerationPaths paths;   // worker thread only
    if (!MakeGenerationPaths(pszPath, nCount, paths))
        return RefuseRotation(pszPath);
    const char* apszDoomed[] = {paths.szDropped, paths.aszPath[nCount]};
    for (const char* pszDoomed : apszDoomed) {
        if (!RemoveGeneration(pszDoomed))
            return ReportFailedDelete(pszDoomed, GetFileServices().GetLastError());
    }
    return TRUE;
}

BOOL RotateTopGenerations(const char* pszPath, BackupSet* pSet, const char* pszNewItem)
{
    return RotateGenerations(pszPath, &pSet->nTopGenerations, GENERATIONS_TOP, pszNewItem);
}
