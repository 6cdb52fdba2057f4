#include "config/BackupConfig.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/PathForms.h"
#include "platform/Profile.h"

CBackupConfig* g_pConfig = nullptr;

namespace {

const char SECTION_GENERAL[] = "全般";

// m_szLogFile less its terminator.  A longer name is refused, not cut: a cut
// name would write the log over some other file.
const size_t LOG_NAME_LIMIT = sizeof(CBackupConfig::m_szLogFile) - 1;

// No file extension or folder name can be longer, on either system: 255
// bytes on POSIX, 255 UTF-16 units (three UTF-8 bytes at most each) on
// Windows.
const size_t LIST_ENTRY_LIMIT = 255 * 3;

const char ROOT_FOLDER[] = "root" PATH_SEP_STR;

// Reads a number the way the runtime's atoi does: blanks, an optional sign,
// then digits up to the first other character; no digits read as 0.  A
// number beyond the 32-bit range saturates, as the Windows runtime's does.
int ParseNumber(const char* psz)
{
    while (*psz == ' ' || (*psz >= '\t' && *psz <= '\r'))
        psz++;
    bool bNegative = false;
    if (*psz == '+' || *psz == '-') {
        bNegative = *psz == '-';
        psz++;
    }
    const long long nCap = static_cast<long long>(INT_MAX) + 1;
    long long n = 0;
    while (*psz >= '0' && *psz <= '9') {
        n = n * 10 + (*psz - '0');
        if (n > nCap)
            n = nCap;
        psz++;
    }
    if (bNegative)
        n = -n;
    if (n > INT_MAX)
        return INT_MAX;
    return static_cast<int>(n);
}

// The low 16 bits as a signed number: how a value lands in a 16-bit field.
short LowWord(int n)
{
    const unsigned nLow = static_cast<unsigned>(n) & 0xFFFFu;
    return static_cast<short>(nLow >= 0x8000u ? static_cast<int>(nLow) - 0x10000 : static_cast<int>(nLow));
}

// Appends the whole of pszText or, when it does not fit, nothing.
bool AppendWhole(char* pszOut, size_t nSize, const char* pszText)
{
    const size_t nUsed = strlen(pszOut);
    const size_t nText = pszText != nullptr ? strlen(pszText) : 0;
    if (nUsed + nText >= nSize)
        return false;
    memcpy(pszOut + nUsed, pszText, nText);
    pszOut[nUsed + nText] = '\0';
    return true;
}

bool CopyWhole(char* pszOut, size_t nSize, const char* pszText)
{
    pszOut[0] = '\0';
    return AppendWhole(pszOut, nSize, pszText);
}

// Reads one key.  Returns the number of bytes delivered: 0 for a key that
// is missing or empty.
DWORD ReadKey(const CProfile& profile, const char* pszSection, const char* pszKey, char* pszBuffer, DWORD nSize)
{
    return profile.ReadString(pszSection, pszKey, pszBuffer, nSize);
}

// Room to read a path whole or see that it does not fit: a value longer than
// the buffer is cut at a character boundary, at most three bytes short of
// it, so what does not fit the field always reads as longer than the field.
const size_t PATH_READ_BUFFER = SETTING_PATH_BUFFER + 4;

bool FitsPathField(const char* pszValue)
{
    return strlen(pszValue) < SETTING_PATH_BUFFER;
}

// The current folder is read into a whole path buffer, so that a deep
// working folder still finds its settings.  When even that cannot hold the
// folder, a separator and the name, the path stays empty and every key
// reads as missing.
void FormIniPath(char* pszPath, size_t nSize, const char* pszName)
{
    pszPath[0] = '\0';
    char szPath[PATH_BUFFER];
    const DWORD nFolder = GetCurrentFolder(sizeof szPath, szPath);
    if (nFolder == 0 || nFolder >= sizeof szPath)
        return;
    if (!EndsWithSeparator(szPath) && !AppendWhole(szPath, sizeof szPath, PATH_SEP_STR))
        return;
    if (!AppendWhole(szPath, sizeof szPath, pszName))
        return;
    CopyWhole(pszPath, nSize, szPath);
}

// The destination as the engine uses it: with its trailing separator and,
// under type-2 generations, a "root" folder below a drive or share root (the
// older copies of a whole drive need a folder to be named after).  False
// when the result does not fit: a cut path would back up into some other
// folder.
bool FormDestination(char* pszOut, size_t nSize, const char* pszValue, int nTopGenerations)
{
    if (!CopyWhole(pszOut, nSize, pszValue))
        return false;
    if (!EndsWithSeparator(pszOut) && !AppendWhole(pszOut, nSize, PATH_SEP_STR))
        return false;
    if (nTopGenerations > 0 && (IsDriveRoot(pszOut) || IsShareRoot(pszOut)) &&
        !AppendWhole(pszOut, nSize, ROOT_FOLDER))
        return false;
    return true;
}

bool IsListSeparator(unsigned char c)
{
    return c == ',' || c <= 0x20;
}

// Splits a list at commas and blanks.  Bytes from 0x80 up are never
// separators, so double-byte characters stay whole.
short ParseList(const char* pszValue, char** ppszEntries)
{
    short nCount = 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pszValue);
    for (;;) {
        while (*p != '\0' && IsListSeparator(*p))
            p++;
        if (*p == '\0')
            break;
        const unsigned char* pStart = p;
        while (*p != '\0' && !IsListSeparator(*p))
            p++;
        const size_t nLength = static_cast<size_t>(p - pStart);
        // An entry too long to be any name could never match; it is left
        // out rather than cut into a name that might.
        if (nLength > LIST_ENTRY_LIMIT || nCount >= MAX_LIST_ENTRIES)
            continue;
        char* pszEntry = new (std::nothrow) char[nLength + 1];
        if (pszEntry == nullptr)
            continue;
        memcpy(pszEntry, pStart, nLength);
        pszEntry[nLength] = '\0';
        ppszEntries[nCount++] = pszEntry;
    }
    return nCount;
}

void FreeSet(BackupSet* pSet)
{
    for (int i = 0; i < pSet->nExcludedExtCount && i < MAX_LIST_ENTRIES; i++)
        delete[] pSet->pszExcludedExt[i];
    for (int i = 0; i < pSet->nExcludedFolderCount && i < MAX_LIST_ENTRIES; i++)
        delete[] pSet->pszExcludedFolder[i];
    delete pSet;
}

// Reads set n.  Null when its section lacks a source or a destination, or
// (nRefusal then says why) when a path does not fit its field.
BackupSet* ReadSet(const CProfile& profile, int n, SetRefusal& nRefusal)
{
    nRefusal = SET_ACCEPTED;
    char szSection[64];
    const int nSection = snprintf(szSection, sizeof szSection, "バックアップセット%d", n);
    if (nSection < 0 || static_cast<size_t>(nSection) >= sizeof szSection)
        return nullptr;

    char szSource[PATH_READ_BUFFER];
    if (ReadKey(profile, szSection, "バックアップ元", szSource, sizeof szSource) == 0)
        return nullptr;
    char szDestValue[PATH_READ_BUFFER];
    if (ReadKey(profile, szSection, "バックアップ先", szDestValue, sizeof szDestValue) == 0)
        return nullptr;
    char szCommand[PATH_READ_BUFFER];
    ReadKey(profile, szSection, "バックアップ後実行", szCommand, sizeof szCommand);

    char szValue[SETTING_PATH_BUFFER];
    int nFileGenerations = 0;
    int nTopGenerations = 0;
    if (ReadKey(profile, szSection, "世代数", szValue, sizeof szValue) > 0) {
        const int nCount = LowWord(ParseNumber(szValue));
        int nType = 1;
        if (ReadKey(profile, szSection, "世代管理タイプ", szValue, sizeof szValue) > 0)
            nType = LowWord(ParseNumber(szValue));
        if (nType == 1)
            nFileGenerations = nCount;
        else if (nType == 2)
            nTopGenerations = nCount;
    }

    char szDest[SETTING_PATH_BUFFER];
    if (!FitsPathField(szSource))
        nRefusal = SET_SOURCE_TOO_LONG;
    else if (!FitsPathField(szDestValue) || !FormDestination(szDest, sizeof szDest, szDestValue, nTopGenerations))
        nRefusal = SET_DEST_TOO_LONG;
    else if (!FitsPathField(szCommand))
        nRefusal = SET_COMMAND_TOO_LONG;
    if (nRefusal != SET_ACCEPTED)
        return nullptr;

    BackupSet* pSet = new (std::nothrow) BackupSet();
    if (pSet == nullptr)
        return nullptr;
    // Each fits: each was measured against its field.
    CopyWhole(pSet->szSource, sizeof pSet->szSource, szSource);
    CopyWhole(pSet->szDest, sizeof pSet->szDest, szDest);
    CopyWhole(pSet->szAfterCommand, sizeof pSet->szAfterCommand, szCommand);
    pSet->nFileGenerations = nFileGenerations;
    pSet->nTopGenerations = nTopGenerations;
    if (ReadKey(profile, szSection, "対象外拡張子", szValue, sizeof szValue) > 0)
        pSet->nExcludedExtCount = ParseList(szValue, pSet->pszExcludedExt);
    if (ReadKey(profile, szSection, "対象外フォルダ名", szValue, sizeof szValue) > 0)
        pSet->nExcludedFolderCount = ParseList(szValue, pSet->pszExcludedFolder);
    if (ReadKey(profile, szSection, "タイムスタンプ比較マージン", szValue, sizeof szValue) > 0)
        pSet->nTimeMargin = LowWord(ParseNumber(szValue));
    // Judged on the whole number, like the display level: 65536 is not 0.
    if (ReadKey(profile, szSection, "未変更ファイルの共有", szValue, sizeof szValue) > 0)
        pSet->bShareUnchanged = ParseNumber(szValue) != 0 ? 1 : 0;
    return pSet;
}

SettingsState StateOf(ProfileStatus nStatus)
{
    switch (nStatus) {
    case PROFILE_READ:
        return SETTINGS_READ;
    case PROFILE_NOT_A_FILE:
        return SETTINGS_NOT_A_FILE;
    case PROFILE_TOO_LARGE:
        return SETTINGS_TOO_LARGE;
    case PROFILE_MISSING:
    case PROFILE_UNREADABLE:
        break;
    }
    return SETTINGS_MISSING;
}

}  // namespace

CBackupConfig::CBackupConfig(const char* pszIniName)
    : m_nSetCount(0),
      m_pSets(),
      m_bShowWindow(1),
      m_bShowShellProgress(1),
      m_szLogFile(),
      m_bLogNameTooLong(FALSE),
      m_bLogResultsOnly(0),
      m_szIniPath(),
      m_nWindowLeft(0),
      m_nWindowTop(0),
      m_nWindowRight(0),
      m_nWindowBottom(0),
      m_nTextEncoding(ENCODING_NATIVE),
      m_nBadLine(0),
      m_nState(SETTINGS_MISSING),
      m_bSetRefused()
{
    if (pszIniName != nullptr)
        Load(pszIniName);
}

CBackupConfig::~CBackupConfig()
{
    for (int i = 0; i < MAX_BACKUP_SETS; i++) {
        if (m_pSets[i] != nullptr) {
            FreeSet(m_pSets[i]);
            m_pSets[i] = nullptr;
        }
    }
}

void CBackupConfig::Load(const char* pszIniName)
{
    FormIniPath(m_szIniPath, sizeof m_szIniPath, pszIniName);
    CProfile profile;
    m_nState = m_szIniPath[0] == '\0' ? SETTINGS_MISSING : StateOf(profile.Load(m_szIniPath));
    ReadSettings(profile);
}

void CBackupConfig::LoadBytes(const std::string& bytes)
{
    m_szIniPath[0] = '\0';
    CProfile profile;
    profile.LoadBytes(bytes);
    m_nState = SETTINGS_READ;
    ReadSettings(profile);
}

void CBackupConfig::ReadSettings(const CProfile& profile)
{
    if (m_nState != SETTINGS_READ)
        return;
    m_nTextEncoding = profile.GetEncoding();
    m_nBadLine = profile.GetBadLine();
    // An empty file, or one of comments only, is settings with nothing set.
    if (profile.HasEntries() && !profile.HasSection(SECTION_GENERAL)) {
        m_nState = SETTINGS_NO_GENERAL;
        return;
    }

    char szValue[SETTING_TEXT_BUFFER];
    if (ReadKey(profile, SECTION_GENERAL, "バックアップセット数", szValue, sizeof szValue) > 0) {
        const int nCount = ParseNumber(szValue);
        m_nSetCount = static_cast<short>(nCount > MAX_BACKUP_SETS ? MAX_BACKUP_SETS : LowWord(nCount));
    }
    if (ReadKey(profile, SECTION_GENERAL, "画面表示レベル", szValue, sizeof szValue) > 0) {
        // Judged on the whole number: 65538 is no level 2.
        const int nLevel = ParseNumber(szValue);
        if (nLevel >= 0 && nLevel <= 3) {
            m_bShowWindow = nLevel >= 2 ? 1 : 0;
            m_bShowShellProgress = (nLevel & 1) != 0 ? 1 : 0;
        }
    }
    if (ReadKey(profile, SECTION_GENERAL, "ログファイル名", szValue, sizeof szValue) > 0) {
        m_bLogNameTooLong = strlen(szValue) > LOG_NAME_LIMIT ? TRUE : FALSE;
        if (!m_bLogNameTooLong)
            CopyWhole(m_szLogFile, sizeof m_szLogFile, szValue);
    }
    if (ReadKey(profile, SECTION_GENERAL, "コピー結果のみログ", szValue, sizeof szValue) > 0)
        m_bLogResultsOnly = LowWord(ParseNumber(szValue));

    struct WindowKey {
        const char* pszKey;
        short* pnField;
    };
    const WindowKey windowKeys[] = {
        {"ウィンドウ位置X", &m_nWindowLeft},
        {"ウィンドウ位置Y", &m_nWindowTop},
        {"ウィンドウサイズX", &m_nWindowRight},
        {"ウィンドウサイズY", &m_nWindowBottom},
    };
    for (const WindowKey& key : windowKeys) {
        *key.pnField = 0;
        if (ReadKey(profile, SECTION_GENERAL, key.pszKey, szValue, sizeof szValue) > 0)
            *key.pnField = LowWord(ParseNumber(szValue));
    }

    for (int n = 1; n <= m_nSetCount; n++) {
        SetRefusal nRefusal = SET_ACCEPTED;
        m_pSets[n - 1] = ReadSet(profile, n, nRefusal);
        m_bSetRefused[n - 1] = static_cast<BYTE>(nRefusal);
    }
}

void CBackupConfig::SaveWindowRect(RECT rc)
{
    if (m_szIniPath[0] == '\0')
        return;
    struct WindowValue {
        const char* pszKey;
        LONG nValue;
    };
    // Size X and Y hold the right and bottom edges, not a width and height.
    const WindowValue values[] = {
        {"ウィンドウ位置X", rc.left},
        {"ウィンドウ位置Y", rc.top},
        {"ウィンドウサイズX", rc.right},
        {"ウィンドウサイズY", rc.bottom},
    };
    for (const WindowValue& value : values) {
        char szNumber[16];
        const int nLength = snprintf(szNumber, sizeof szNumber, "%d", static_cast<int>(value.nValue));
        // A write that fails is not retried: the window merely opens at its
        // default place next time.
        if (nLength > 0 && static_cast<size_t>(nLength) < sizeof szNumber)
            WriteProfileString(SECTION_GENERAL, value.pszKey, szNumber, m_szIniPath);
    }
}

RECT CBackupConfig::GetWindowRect() const
{
    RECT rc;
    rc.left = m_nWindowLeft;
    rc.top = m_nWindowTop;
    rc.right = m_nWindowRight;
    rc.bottom = m_nWindowBottom;
    return rc;
}
