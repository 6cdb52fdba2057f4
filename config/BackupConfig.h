// The settings of one run, read once from "Tandemix.ini" at start-up.
#pragma once

#include "PlatformTypes.h"
#include "platform/TextCodec.h"

const int MAX_BACKUP_SETS = 256;
const int MAX_LIST_ENTRIES = 1024;
const int PATH_BUFFER = 1024;

// One backup set, zero-filled when created.
struct BackupSet {
    char szSource[PATH_BUFFER];        // source path as written in the file
    char szDest[PATH_BUFFER];          // destination folder, ends with a separator
    char szAfterCommand[PATH_BUFFER];  // opened after the set; empty when none
    int32_t nFileGenerations;          // type 1: older copies kept per replaced file
    int32_t nTopGenerations;           // type 2: older copies of the top-level item
    short nExcludedExtCount;
    char* pszExcludedExt[MAX_LIST_ENTRIES];
    short nExcludedFolderCount;
    char* pszExcludedFolder[MAX_LIST_ENTRIES];
    short nTimeMargin;                 // seconds
};

class CBackupConfig {
public:
    explicit CBackupConfig(const char* pszIniName);
    ~CBackupConfig();

    void Load(const char* pszIniName);

    // Writes the progress window's rectangle (screen coordinates) into the
    // settings file.  The loaded fields are not changed.
    void SaveWindowRect(RECT rc);
    RECT GetWindowRect() const;

    short m_nSetCount;
    BackupSet* m_pSets[MAX_BACKUP_SETS];
    short m_bShowWindow;
    short m_bShowShellProgress;
    char m_szLogFile[256];
    short m_bLogResultsOnly;
    char m_szIniPath[PATH_BUFFER];
    short m_nWindowLeft;
    short m_nWindowTop;
    short m_nWindowRight;
    short m_nWindowBottom;

    // The settings file's text encoding; the run log is written in it.
    TextEncoding m_nTextEncoding;

    // Non-zero in slot n-1 when set n had a source and a destination but was
    // refused because its destination, with the separator and "root" folder
    // added to it, does not fit szDest.  Its m_pSets slot stays null; the set
    // loop reports it.
    BYTE m_bSetRefused[MAX_BACKUP_SETS];

private:
    CBackupConfig(const CBackupConfig&) = delete;
    CBackupConfig& operator=(const CBackupConfig&) = delete;
};

extern CBackupConfig* g_pConfig;
