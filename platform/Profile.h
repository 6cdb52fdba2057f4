// Reading and writing the settings file the way the Windows profile-string
// functions do.  The file is read once, into a CProfile, whatever number of
// keys is then looked up.  UTF-8 files are read by our own reader on both
// systems (platform/IniFile); on Windows a Shift-JIS file goes to the real
// profile functions, on POSIX to our reader, which behaves like them on the
// files people really write.
#pragma once

#include <string>

#include "PlatformTypes.h"
#include "platform/IniFile.h"
#include "platform/TextCodec.h"

// No settings file is anywhere near this; what is larger is no settings file.
const size_t PROFILE_SIZE_LIMIT = 16 * 1024 * 1024;

enum ProfileStatus {
    PROFILE_READ = 0,
    PROFILE_MISSING,      // no such file
    PROFILE_UNREADABLE,   // it cannot be opened or read
    PROFILE_NOT_A_FILE,   // a folder, a pipe, a device
    PROFILE_TOO_LARGE,    // over PROFILE_SIZE_LIMIT
};

// All texts are UTF-8; the file itself may be Shift-JIS.
class CProfile {
public:
    CProfile() = default;

    // Reads the file.  A link is followed to what it names; only a regular
    // file of at most PROFILE_SIZE_LIMIT bytes is read.
    ProfileStatus Load(const char* pszFile);
    // Takes bytes that come from no file (the fuzz target's).
    void LoadBytes(const std::string& bytes);

    // GetPrivateProfileString with an empty default: copies the value into
    // the buffer, cut to nSize - 1 bytes at a character boundary, and
    // returns its length; 0 for a key that is missing or empty.
    DWORD ReadString(const char* pszSection, const char* pszKey, char* pszBuffer, DWORD nSize) const;

    BOOL HasSection(const char* pszSection) const;
    // The file holds at least one section or key line.
    BOOL HasEntries() const { return m_text.HasEntries() ? TRUE : FALSE; }

    // The encoding of the file's text, which the POSIX run log is written
    // in: ENCODING_UTF8 or ENCODING_SHIFT_JIS.
    TextEncoding GetEncoding() const { return m_text.GetEncoding(); }
    // The first line (from 1) that does not decode in it, or 0: the keys on
    // it may read as missing or garbled.
    size_t GetBadLine() const { return m_text.GetBadLine(); }

private:
    CIniText m_text;
    std::string m_file;  // empty for bytes from no file
};

// GetCurrentDirectory: length of the path written, 0 on failure, or the
// size needed (with the terminator) when nSize is too small.
DWORD GetCurrentFolder(DWORD nSize, char* pszBuffer);

// WritePrivateProfileString: sets one key, adding it or its section when
// missing, and keeps every other byte of the file, its encoding and its
// line ends.  The file is read as Load reads it and replaced whole, so a
// reader sees the old file or the new one.
BOOL WriteProfileString(const char* pszSection, const char* pszKey, const char* pszValue,
                        const char* pszFile);

// The file's bytes as Load takes them; each system has its own.
ProfileStatus ReadProfileBytes(const char* pszFile, std::string& bytes);

// The value of a key found in text, converted to UTF-8 and cut into the
// buffer as ReadString does.  Names are UTF-8.
DWORD ReadIniString(const CIniText& text, const char* pszSection, const char* pszKey, char* pszBuffer,
                    DWORD nSize);

// Section, key and value in the file's encoding, and text updated with
// them (SetIniValue); false when a name or the value cannot be written
// there without damage (a line end, a ']' in the section, a '=' in the key,
// a character the encoding lacks).
bool SetIniString(const CIniText& text, const char* pszSection, const char* pszKey, const char* pszValue,
                  std::string& updated);
