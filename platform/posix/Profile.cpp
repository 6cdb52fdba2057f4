#include "platform/Profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/posix/IniFile.h"
#include "platform/Text.h"

namespace {

enum ReadResult { READ_OK, READ_MISSING, READ_FAILED };

ReadResult ReadWholeFile(const char* pszFile, std::string& bytes)
{
    bytes.clear();
    const int fd = open(pszFile, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? READ_MISSING : READ_FAILED;
    char buffer[8192];
    ReadResult nResult = READ_OK;
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, static_cast<size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            nResult = READ_FAILED;  // a folder, an I/O error
            break;
        }
    }
    close(fd);
    return nResult;
}

// The settings file as the reader and writer see it.
struct ProfileText {
    std::string bom;         // the byte-order mark, kept on writing
    std::string text;        // everything after it
    TextEncoding nEncoding;  // ENCODING_UTF8 or ENCODING_SHIFT_JIS
};

void SplitProfile(const std::string& bytes, ProfileText& profile)
{
    const size_t nBom = GetIniBomLength(bytes);
    profile.bom.assign(bytes, 0, nBom);
    profile.text.assign(bytes, nBom, std::string::npos);
    profile.nEncoding = DetectIniEncoding(bytes);
}

// The program's strings are UTF-8; a Shift-JIS file is searched and written
// in its own bytes.
bool ToFileText(const char* psz, TextEncoding nEncoding, std::string& out)
{
    if (nEncoding != ENCODING_SHIFT_JIS) {
        out = psz;
        return true;
    }
    return ConvertText(psz, ENCODING_NATIVE, ENCODING_SHIFT_JIS, out);
}

DWORD CopyCut(const char* pszText, char* pszBuffer, DWORD nSize)
{
    const size_t nLength = CharBoundaryAtOrBefore(pszText, nSize - 1);
    memcpy(pszBuffer, pszText, nLength);
    pszBuffer[nLength] = '\0';
    return static_cast<DWORD>(nLength);
}

bool HasLineEnd(const char* psz)
{
    return strpbrk(psz, "\r\n") != nullptr;
}

bool WriteAll(int fd, const std::string& bytes)
{
    size_t nDone = 0;
    while (nDone < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + nDone, bytes.size() - nDone);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        nDone += static_cast<size_t>(n);
    }
    return true;
}

// Replaces the file by a complete new version: a reader (or a crash) sees
// the old file or the new one, never half of either.  The temporary file
// lies in the same folder, so the rename stays on one file system.
bool ReplaceFile(const std::string& target, const std::string& bytes, const struct stat* pOld)
{
    static std::atomic<unsigned> s_nCounter{0};
    const size_t nSlash = target.rfind('/');
    const std::string folder = nSlash == std::string::npos ? std::string() : target.substr(0, nSlash + 1);
    const std::string name = nSlash == std::string::npos ? target : target.substr(nSlash + 1);

    std::string temp;
    int fd = -1;
    for (int nTry = 0; nTry < 100 && fd < 0; nTry++) {
        temp = folder + "." + name + "." + std::to_string(getpid()) + "."
               + std::to_string(s_nCounter.fetch_add(1)) + ".tmp";
        // Only we can read the temporary until it has the old file's mode:
        // the settings may be private.  A new file is left to the umask, as
        // any new file is.
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, pOld != nullptr ? 0600 : 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;

    bool bOk = WriteAll(fd, bytes);
    if (bOk && pOld != nullptr) {
        // Run as root on a user's file, the file stays the user's; where
        // that cannot be done the owner is ours, as for any rewritten file.
        const int nChown = fchown(fd, pOld->st_uid, pOld->st_gid);
        (void)nChown;
        bOk = fchmod(fd, pOld->st_mode & 07777) == 0;
    }
    if (bOk)
        bOk = fsync(fd) == 0;
    if (close(fd) != 0)
        bOk = false;
    if (bOk)
        bOk = rename(temp.c_str(), target.c_str()) == 0;
    if (!bOk)
        unlink(temp.c_str());
    return bOk;
}

}  // namespace

DWORD GetCurrentFolder(DWORD nSize, char* pszBuffer)
{
    std::string cwd(256, '\0');
    for (;;) {
        if (getcwd(&cwd[0], cwd.size()) != nullptr)
            break;
        if (errno != ERANGE || cwd.size() > (1u << 20))
            return 0;
        cwd.resize(cwd.size() * 2);
    }
    cwd.resize(strlen(cwd.c_str()));
    if (cwd.size() + 1 > nSize)
        return static_cast<DWORD>(cwd.size() + 1);
    memcpy(pszBuffer, cwd.c_str(), cwd.size() + 1);
    return static_cast<DWORD>(cwd.size());
}

DWORD ReadProfileString(const char* pszSection, const char* pszKey, const char* pszDefault,
                        char* pszBuffer, DWORD nSize, const char* pszFile)
{
    if (pszBuffer == nullptr || nSize == 0)
        return 0;
    const char* pszFallback = pszDefault != nullptr ? pszDefault : "";
    // Listing all sections or keys (a null name) is not needed here.
    if (pszSection == nullptr || pszKey == nullptr || pszFile == nullptr)
        return CopyCut("", pszBuffer, nSize);

    std::string bytes;
    if (ReadWholeFile(pszFile, bytes) != READ_OK)
        return CopyCut(pszFallback, pszBuffer, nSize);
    ProfileText profile;
    SplitProfile(bytes, profile);

    std::string section;
    std::string key;
    std::string value;
    if (!ToFileText(pszSection, profile.nEncoding, section) || !ToFileText(pszKey, profile.nEncoding, key)
        || !FindIniValue(profile.text, profile.nEncoding, section.c_str(), key.c_str(), value))
        return CopyCut(pszFallback, pszBuffer, nSize);

    if (profile.nEncoding == ENCODING_SHIFT_JIS) {
        std::string converted;
        // Bytes that are not Shift-JIS cannot name anything on this system;
        // the key reads as missing rather than as a garbled path.
        if (!ConvertText(value, ENCODING_SHIFT_JIS, ENCODING_NATIVE, converted))
            return CopyCut(pszFallback, pszBuffer, nSize);
        value.swap(converted);
    }
    // A NUL inside the value ends it, as it would for any C string.
    return CopyCut(value.c_str(), pszBuffer, nSize);
}

BOOL WriteProfileString(const char* pszSection, const char* pszKey, const char* pszValue,
                        const char* pszFile)
{
    // Deleting a key or a section (a null name or value) is not needed here;
    // a line end inside a name or value would break the file's lines.
    if (pszSection == nullptr || pszKey == nullptr || pszValue == nullptr || pszFile == nullptr
        || HasLineEnd(pszSection) || HasLineEnd(pszKey) || HasLineEnd(pszValue)
        || strchr(pszSection, ']') != nullptr || strchr(pszKey, '=') != nullptr)
        return FALSE;

    // Through a symbolic link, the file it points to is the one replaced.
    std::string target = pszFile;
    char* pszReal = realpath(pszFile, nullptr);
    if (pszReal != nullptr) {
        target = pszReal;
        free(pszReal);
    }

    std::string bytes;
    const ReadResult nRead = ReadWholeFile(target.c_str(), bytes);
    if (nRead == READ_FAILED)
        return FALSE;
    struct stat old;
    const bool bExists = nRead == READ_OK && stat(target.c_str(), &old) == 0;
    if (nRead == READ_OK && !bExists)
        return FALSE;

    // A new file is UTF-8 with LF line ends.
    ProfileText profile;
    SplitProfile(bytes, profile);
    const char* pszLineEnd = DetectIniLineEnd(profile.text);

    std::string section;
    std::string key;
    std::string value;
    if (!ToFileText(pszSection, profile.nEncoding, section) || !ToFileText(pszKey, profile.nEncoding, key)
        || !ToFileText(pszValue, profile.nEncoding, value))
        return FALSE;
    SetIniValue(profile.text, profile.nEncoding, section.c_str(), key.c_str(), value.c_str(), pszLineEnd);

    const std::string updated = profile.bom + profile.text;
    if (bExists && updated == bytes)
        return TRUE;
    return ReplaceFile(target, updated, bExists ? &old : nullptr) ? TRUE : FALSE;
}

TextEncoding GetProfileEncoding(const char* pszFile)
{
    std::string bytes;
    if (pszFile == nullptr || ReadWholeFile(pszFile, bytes) != READ_OK)
        return ENCODING_NATIVE;
    size_t nBadLine = 0;
    const TextEncoding nEncoding = DetectIniEncoding(bytes, &nBadLine);
    // The keys on that line may read as missing or garbled; a hand-edited
    // file deserves to be told which line to look at.
    if (nBadLine > 0)
        fprintf(stderr, "Tandemix: %s の %zu 行目は %s として読めません\n", pszFile, nBadLine,
                nEncoding == ENCODING_SHIFT_JIS ? "Shift-JIS" : "UTF-8");
    return nEncoding;
}
