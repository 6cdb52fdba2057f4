#include "engine/BackupFolder.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/RunState.h"
#include "engine/BackupFile.h"
#include "engine/BackupReport.h"
#include "engine/ExclusionFilters.h"
#include "engine/PathUtils.h"
#include "log/RunLog.h"
#include "platform/File.h"
#include "platform/FileServices.h"
#include "platform/PathForms.h"

namespace {

const char ALL_ENTRIES[] = "*.*";

// How many folder listings the walk keeps open at once: those of the
// deepest folders.  When it goes deeper, the listing above them is read
// into memory and closed, so a tree of any depth takes a bounded number of
// descriptors, while an ordinary tree, far shallower, is listed as it is
// walked and never held in memory whole.
const size_t OPEN_LISTINGS = 32;

// Worker thread only.
std::vector<FileIdentity> g_guarded;

// TRUE when the source folder is the backup itself; the detail line says so.
BOOL IsGuardedFolder(const char* pszSrcRoot, const char* pszRelPath)
{
    if (g_guarded.empty())
        return FALSE;
    char szFolder[PATH_BUFFER];
    FileIdentity identity;
    if (!SafeCopy(szFolder, sizeof(szFolder), pszSrcRoot) || !SafeCat(szFolder, sizeof(szFolder), pszRelPath) ||
        !GetFileServices().GetIdentity(szFolder, identity))
        return FALSE;
    for (const FileIdentity& guarded : g_guarded) {
        if (identity.nVolume == guarded.nVolume && identity.nIndex == guarded.nIndex) {
            WriteLogNaming(LOG_DETAIL, "  バックアップ先のフォルダなのでコピーせず ", szFolder, "");
            return TRUE;
        }
    }
    return FALSE;
}

// Gives the copy of a folder whose walk has finished what it keeps of its
// source folder.
void FinishWalkedFolder(const char* pszSrcRoot, const char* pszRelPath, const char* pszDstRoot)
{
    char szSrcFolder[PATH_BUFFER];
    char szDstFolder[PATH_BUFFER];
    FileServices& services = GetFileServices();
    if (SafeCopy(szSrcFolder, sizeof(szSrcFolder), pszSrcRoot) && SafeCat(szSrcFolder, sizeof(szSrcFolder), pszRelPath) &&
        SafeCopy(szDstFolder, sizeof(szDstFolder), pszDstRoot) && SafeCat(szDstFolder, sizeof(szDstFolder), pszRelPath) &&
        !services.FinishFolder(szSrcFolder, szDstFolder))
        ReportFailure("  フォルダの属性をコピーできませんでした  ", szDstFolder, services.GetLastError());
}

// A listing that could not start is an empty folder, a folder removed since
// its parent was listed, or one that cannot be read.  Only the last leaves
// files out of the backup, so only it is reported.
void ReportUnlistableFolder(const char* pszSrcRoot, const char* pszRelPath)
{
    char szFolder[PATH_BUFFER];
    if (!SafeCopy(szFolder, sizeof(szFolder), pszSrcRoot) || !SafeCat(szFolder, sizeof(szFolder), pszRelPath))
        return;
    FileServices& services = GetFileServices();
    if (services.CanList(szFolder))
        return;
    DWORD dwError = services.GetLastError();
    // Asked for without its separator, as Windows finds no entry named
    // "folder\"; a root keeps it.
    char szEntry[PATH_BUFFER];
    const BOOL bRoot = szFolder[1] == '\0' || IsDriveRoot(szFolder) || IsShareRoot(szFolder);
    const BOOL bCopied = bRoot ? SafeCopy(szEntry, sizeof(szEntry), szFolder)
                               : CopyWithoutSeparator(szEntry, sizeof(szEntry), szFolder);
    // An entry that cannot be asked for (no descriptor left, say) is still
    // a folder left out.
    if (!bCopied || (!services.Exists(szEntry) && IsMissingError(services.GetLastError())))
        return;
    ReportFailure("  フォルダを読めないのでコピーしません  ", szFolder, dwError);
}

// An entry whose relative path does not fit: left out, and reported unless
// the set excludes it anyway.
void ReportLongEntry(const char* pszSrcRoot, const char* pszRelPath, const char* pszName, BOOL bDirectory,
                     const BackupSet* pSet)
{
    if (bDirectory) {
        char szFolder[PATH_BUFFER];
        if (SafeCopy(szFolder, sizeof(szFolder), pszName) && SafeCat(szFolder, sizeof(szFolder), PATH_SEP_STR) &&
            IsTargetFolder(szFolder, pSet) == 0)
            return;
    } else if (IsTargetExtension(pszName, pSet) == 0) {
        return;
    }
    ReportTooLong(pszSrcRoot, pszRelPath, pszName);
}

// TRUE when the walk hands the entry on (to BackupFile, or to a walk of
// its own), FALSE when the set's filters leave it out by name.  pszRel is
// its relative path (with a separator after a folder).
BOOL IsHandedOn(const char* pszRel, const char* pszName, BOOL bDirectory, const BackupSet* pSet)
{
    return bDirectory ? IsTargetFolder(pszRel, pSet) != 0 : IsTargetExtension(pszName, pSet) != 0;
}

// One folder on the walk's way down: its place in the walk's relative path,
// its listing, and, when its copy's folder takes names that differ only in
// case for one, the keys of the names it has handed on so far (hashed: a
// folder of many names costs little).
struct WalkFolder {
    size_t nRel;    // length of its relative path in CFolderWalk::m_szRel
    BOOL bNullRel;  // the walk's root, whose relative path is null
    BOOL bMore;     // its listing has entries left
    BOOL bCaseInsensitive;
    std::unordered_set<size_t> caseKeys;
    CFileFind finder;
};

// The walk of one tree, depth first, in the order of each listing.  It
// keeps its own stack on the heap, so that no depth a path can reach runs
// out of the thread's stack.  Each folder's relative path is the start of
// the next one's, so one buffer holds all of them.
class CFolderWalk {
public:
    CFolderWalk(const char* pszSrcRoot, const char* pszDstRoot, BackupSet* pSet)
        : m_pszSrcRoot(pszSrcRoot), m_pszDstRoot(pszDstRoot), m_pSet(pSet), m_nStop(0)
    {
    }

    short Run(const char* pszRelPath);

private:
    // Cuts m_szRel back to the folder's own relative path, and returns that
    // as the walk's lines and calls take it (null for a root given none).
    const char* RelOf(const WalkFolder& folder)
    {
        m_szRel[folder.nRel] = '\0';
        return folder.bNullRel ? nullptr : m_szRel;
    }
    void Enter(BOOL bNullRel);
    void Leave();
    void HandleEntry(WalkFolder& folder);
    BOOL IsCaseCollision(WalkFolder& folder, const char* pszName);

    const char* m_pszSrcRoot;
    const char* m_pszDstRoot;
    BackupSet* m_pSet;
    short m_nStop;
    std::vector<std::unique_ptr<WalkFolder>> m_folders;
    std::string m_caseKey;
    char m_szRel[PATH_BUFFER];  // the deepest folder's, or an entry's, relative path
    char m_szPattern[PATH_BUFFER];
    char m_szEntryDst[PATH_BUFFER];
};

short CFolderWalk::Run(const char* pszRelPath)
{
    if (!SafeCopy(m_szRel, sizeof(m_szRel), pszRelPath)) {
        ReportTooLong(m_pszSrcRoot, pszRelPath);
        return 0;
    }
    Enter(pszRelPath == nullptr);
    while (!m_folders.empty()) {
        WalkFolder& folder = *m_folders.back();
        if (!folder.bMore || m_nStop != 0) {
            Leave();
            continue;
        }
        folder.bMore = folder.finder.FindNextFile();
        if (!folder.finder.IsDots())
            HandleEntry(folder);
    }
    return m_nStop;
}

// Starts the walk of the folder whose relative path is in m_szRel, unless
// the set excludes it.
void CFolderWalk::Enter(BOOL bNullRel)
{
    const char* pszRel = bNullRel ? nullptr : m_szRel;
    BOOL bPatternFits = SafeCopy(m_szPattern, sizeof(m_szPattern), m_pszSrcRoot) &&
                        SafeCat(m_szPattern, sizeof(m_szPattern), pszRel) &&
                        SafeCat(m_szPattern, sizeof(m_szPattern), ALL_ENTRIES);
    if (IsTargetFolder(pszRel, m_pSet) == 0) {
        WriteLogFormat(LOG_DETAIL, "  対象外フォルダ名に指定されたフォルダなのでコピーせず %s%s%s", m_pszSrcRoot,
                       pszRel != nullptr ? pszRel : "", ALL_ENTRIES);
        return;
    }
    if (!bPatternFits) {
        ReportTooLong(m_pszSrcRoot, pszRel);
        return;
    }
    WriteLogFormat(LOG_DETAIL, "  フォルダのコピー開始 %s", m_szPattern);

    std::unique_ptr<WalkFolder> pFolder(new WalkFolder());
    pFolder->nRel = strlen(m_szRel);
    pFolder->bNullRel = bNullRel;
    if (m_folders.size() >= OPEN_LISTINGS)
        m_folders[m_folders.size() - OPEN_LISTINGS]->finder.KeepInMemory();
    pFolder->bMore = pFolder->finder.FindFile(m_szPattern);
    if (!pFolder->bMore && pFolder->finder.GetListingError() == 0)
        ReportUnlistableFolder(m_pszSrcRoot, pszRel);
    pFolder->bCaseInsensitive = pFolder->bMore && SafeCopy(m_szEntryDst, sizeof(m_szEntryDst), m_pszDstRoot) &&
                                SafeCat(m_szEntryDst, sizeof(m_szEntryDst), pszRel) &&
                                GetFileServices().IsCaseInsensitive(m_szEntryDst);
    m_folders.push_back(std::move(pFolder));
}

// Ends the walk of the deepest folder.  A listing that broke off is no end
// of the folder: what it did not name is missing from the copy.
void CFolderWalk::Leave()
{
    WalkFolder& folder = *m_folders.back();
    const char* pszRel = RelOf(folder);
    const DWORD dwError = folder.bMore ? 0 : folder.finder.GetListingError();
    folder.finder.Close();
    if (SafeCopy(m_szPattern, sizeof(m_szPattern), m_pszSrcRoot) && SafeCat(m_szPattern, sizeof(m_szPattern), pszRel)) {
        if (dwError != 0)
            ReportFailure("  フォルダを読めないのでコピーしません  ", m_szPattern, dwError);
        if (SafeCat(m_szPattern, sizeof(m_szPattern), ALL_ENTRIES))
            WriteLogFormat(LOG_DETAIL, "  フォルダのコピー終了 %s", m_szPattern);
    }
    FinishWalkedFolder(m_pszSrcRoot, pszRel, m_pszDstRoot);
    m_folders.pop_back();
}

void CFolderWalk::HandleEntry(WalkFolder& folder)
{
    RelOf(folder);  // the entry's path starts from its folder's
    const char* pszName = folder.finder.GetFileName();
    const BOOL bDirectory = folder.finder.IsDirectory();
    if (!SafeCat(m_szRel, sizeof(m_szRel), pszName) ||
        (bDirectory && !SafeCat(m_szRel, sizeof(m_szRel), PATH_SEP_STR))) {
        ReportLongEntry(m_pszSrcRoot, RelOf(folder), pszName, bDirectory, m_pSet);
        return;
    }
    if (folder.finder.IsFolderLink()) {
        WriteLogFormat(LOG_DETAIL, "  ジャンクションかフォルダへのリンクなのでコピーせず %s%s", m_pszSrcRoot, m_szRel);
        return;
    }
    if (folder.bCaseInsensitive && IsHandedOn(m_szRel, pszName, bDirectory, m_pSet) &&
        IsCaseCollision(folder, pszName))
        return;
    if (!bDirectory) {
        WriteLogFormat(LOG_DETAIL, "  ファイルを発見 %s", m_szRel);
        m_nStop = BackupFile(m_pszSrcRoot, m_pszDstRoot, m_szRel, m_pSet);
        return;
    }
    WriteLogFormat(LOG_DETAIL, "  次のフォルダを発見 %s", m_szRel);
    if (IsTargetFolder(m_szRel, m_pSet) != 0) {
        if (!SafeCopy(m_szEntryDst, sizeof(m_szEntryDst), m_pszDstRoot) ||
            !SafeCat(m_szEntryDst, sizeof(m_szEntryDst), m_szRel)) {
            ReportTooLong(m_pszDstRoot, m_szRel);
            return;
        }
        if (IsGuardedFolder(m_pszSrcRoot, m_szRel) || !MakeDestinationFolder(m_pszSrcRoot, m_szRel, m_pszDstRoot, m_pSet))
            return;
    }
    Enter(FALSE);
}

// TRUE, after a result line, when the folder has already handed on a name
// that its copy's folder takes for this one: the later of the two is left
// out, so that neither copy overwrites the other and no generation churns.
BOOL CFolderWalk::IsCaseCollision(WalkFolder& folder, const char* pszName)
{
    MakeCaseKey(pszName, m_caseKey);
    if (folder.caseKeys.insert(std::hash<std::string>()(m_caseKey)).second)
        return FALSE;
    // Seldom met: the earlier name is looked up in a listing of its own
    // rather than every name kept.  m_szEntryDst is free until the entry is
    // handed on.
    const std::string key = m_caseKey;
    const std::string folderRel(m_szRel, folder.nRel);
    std::string earlier;
    CFileFind finder;
    BOOL bMore = SafeCopy(m_szPattern, sizeof(m_szPattern), m_pszSrcRoot) &&
                 SafeCat(m_szPattern, sizeof(m_szPattern), folderRel.c_str()) &&
                 SafeCat(m_szPattern, sizeof(m_szPattern), ALL_ENTRIES) && finder.FindFile(m_szPattern);
    while (bMore && earlier.empty()) {
        bMore = finder.FindNextFile();
        const char* pszOther = finder.GetFileName();
        const BOOL bDirectory = finder.IsDirectory();
        if (finder.IsDots() || finder.IsFolderLink() || strcmp(pszOther, pszName) == 0)
            continue;
        MakeCaseKey(pszOther, m_caseKey);
        if (m_caseKey == key && SafeCopy(m_szEntryDst, sizeof(m_szEntryDst), folderRel.c_str()) &&
            SafeCat(m_szEntryDst, sizeof(m_szEntryDst), pszOther) &&
            (!bDirectory || SafeCat(m_szEntryDst, sizeof(m_szEntryDst), PATH_SEP_STR)) &&
            IsHandedOn(m_szEntryDst, pszOther, bDirectory, m_pSet))
            earlier = pszOther;
    }
    if (earlier.empty())
        return FALSE;  // gone since, or only the keys' hashes were alike
    WriteLogFormat(LOG_RESULT, "  大文字と小文字だけが違う名前なのでコピーしません  %s%s  先の名前=%s", m_pszSrcRoot,
                   m_szRel, earlier.c_str());
    NoteRunFailure();
    return TRUE;
}

}  // namespace

void ClearWalkGuard()
{
    g_guarded.clear();
}

void GuardFolder(const char* pszPath)
{
    FileIdentity identity;
    if (GetFileServices().GetIdentity(pszPath, identity))
        g_guarded.push_back(identity);
}

short BackupFolder(const char* pszSrcRoot, const char* pszRelPath, const char* pszDstRoot, BackupSet* pSet)
{
    // Three path buffers: on the heap, with the walk's stack.
    std::unique_ptr<CFolderWalk> pWalk(new (std::nothrow) CFolderWalk(pszSrcRoot, pszDstRoot, pSet));
    if (!pWalk) {
        ReportTooLong(pszSrcRoot, pszRelPath);
        return 0;
    }
    return pWalk->Run(pszRelPath);
}
