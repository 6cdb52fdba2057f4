// The settings of one run, read once from "Tandemix.ini" at start-up.
#pragma once

#include <string>

#include "PlatformTypes.h"
#include "platform/TextCodec.h"

class CProfile;

const int MAX_BACKUP_SETS = 256;  // a larger count is read as this
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
    short bShareUnchanged;                     // type 2: unchanged files shared with the item's copy
};

// Whether the settings file could be read, and what stands in the way.
enum SettingsState {
    SETTINGS_READ = 0,
    SETTINGS_MISSING,      // no settings file, or it cannot be read
    SETTINGS_NOT_A_FILE,   // a folder, a pipe, a device under its name
    SETTINGS_TOO_LARGE,    // larger than any settings file can sensibly be
    SETTINGS_NO_GENERAL,   // text, but no [全般]: another encoding, another file
};

// Why set n was left out although its section names a source and a
// destination: a value that does not fit its field.  A cut path would back
// up some other folder, or start some other program.
enum SetRefusal {
    SET_ACCEPTED = 0,
    SET_DEST_TOO_LONG,      // with its separator and "root" folder added
    SET_SOURCE_TOO_LONG,
    SET_COMMAND_TOO_LONG,   // the after-command
};

class CBackupConfig {
public:
    // Loads the settings file of that name in the current folder; with a
    // null name nothing is loaded, for LoadBytes.
    explicit CBackupConfig(const char* pszIniName);
    ~CBackupConfig();

    // Either, once: the settings file is read once, however many keys it has.
    void Load(const char* pszIniName);
    // Settings that come from no file (the fuzz target's); SaveWindowRect
    // then writes nothing.
    void LoadBytes(const std::string& bytes);

    // Writes the progress window's rectangle (screen coordinates) into the
    // settings file.  The loaded fields are not changed.
    void SaveWindowRect(RECT rc);
    RECT GetWindowRect() const;

    short m_nSetCount;
    BackupSet* m_pSets[MAX_BACKUP_SETS];
    short m_bShowWindow;
    short m_bShowShellProgress;
    char m_szLogFile[256 * 3 / 2];  // 255 bytes of Shift-JIS, in UTF-8
    // A log name was given but is too long for m_szLogFile: no log can be
    // written, and the run says so.
    BOOL m_bLogNameTooLong;
    short m_bLogResultsOnly;
    char m_szIniPath[PATH_BUFFER];
    short m_nWindowLeft;
    short m_nWindowTop;
    short m_nWindowRight;
    short m_nWindowBottom;

    // The settings file's text encoding; the run log is written in it.
    TextEncoding m_nTextEncoding;
    // The first line of the settings file that does not decode in it, or 0.
    size_t m_nBadLine;

    // Anything but SETTINGS_READ: the run cannot start (it would back up
    // nothing and look like success).
    SettingsState m_nState;

    // A SetRefusal in slot n-1: non-zero when set n was refused.  Its
    // m_pSets slot stays null; the set loop reports it.
    BYTE m_bSetRefused[MAX_BACKUP_SETS];

private:
    void ReadSettings(const CProfile& profile);

    CBackupConfig(const CBackupConfig&) = delete;
    CBackupConfig& operator=(const CBackupConfig&) = delete;
};

extern CBackupConfig* g_pConfig;
