// The settings of one run, read once from "Tandemix.ini" at start-up.
#pragma once

#include "PlatformTypes.h"
#include "platform/TextCodec.h"

const int MAX_BACKUP_SETS = 256;
const int MAX_LIST_ENTRIES = 1024;

// Text fields hold what the Windows profile functions deliver into a
// 1024-byte buffer of Shift-JIS, after conversion to UTF-8: a double-byte
// character there takes three bytes here, so half as much room again.
const int SETTING_TEXT_BUFFER = 1024 * 3 / 2;
const int SETTING_PATH_BUFFER = SETTING_TEXT_BUFFER;

// One backup set, zero-filled when created.
struct BackupSet {
    char szSource[SETTING_PATH_BUFFER];        // source path as written in the file
    char szDest[SETTING_PATH_BUFFER];          // destination folder, ends with a separator
    char szAfterCommand[SETTING_PATH_BUFFER];  // opened after the set; empty when none
    int32_t nFileGenerations;                  // type 1: older copies kept per replaced file
    int32_t nTopGenerations;                   // type 2: older copies of the top-level item
    short nExcludedExtCount;
    char* pszExcludedExt[MAX_LIST_ENTRIES];
    short nExcludedFolderCount;
    char* pszExcludedFolder[MAX_LIST_ENTRIES];
    short nTimeMargin;                         // seconds
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
    char m_szLogFile[256 * 3 / 2];  // 255 bytes of Shift-JIS, in UTF-8
    short m_bLogResultsOnly;
    char m_szIniPath[PATH_BUFFER];
    short m_nWindowLeft;
    short m_nWindowTop;
    short m_nWindowRight;
    short m_nWindowBottom;

    // The settings file's text encoding; the run log is written in it.
    TextEncoding m_nTextEncoding;

    // FALSE when the settings file is missing or cannot be read: the run
    // then cannot start (it would back up nothing and look like success).
    BOOL m_bFileFound;

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
