#include "platform/Profile.h"

#include <cstring>
#include <vector>

#include "WideText.h"
#include "platform/Text.h"

// The settings file stays Shift-JIS.  The wide profile functions read and
// write it in the ANSI code page (932 where the program is meant to run) and
// hand us UTF-16, which becomes the program's UTF-8 here; so does the folder
// the file lies in, whatever characters its name holds.

DWORD GetCurrentFolder(DWORD nSize, char* pszBuffer)
{
    const DWORD nWide = GetCurrentDirectoryW(0, nullptr);
    if (nWide == 0)
        return 0;
    std::vector<wchar_t> wide(nWide);
    const DWORD nLength = GetCurrentDirectoryW(nWide, wide.data());
    if (nLength == 0 || nLength >= nWide)
        return 0;
    const std::string folder = Utf8FromWide(wide.data(), nLength);
    if (folder.size() >= nSize)
        return static_cast<DWORD>(folder.size() + 1);
    memcpy(pszBuffer, folder.c_str(), folder.size() + 1);
    return static_cast<DWORD>(folder.size());
}

namespace {

// UTF-16 of an argument that may be absent (null stays null).
BOOL WideArgument(const char* psz, std::wstring& out, const wchar_t*& pszOut)
{
    pszOut = nullptr;
    if (psz == nullptr)
        return TRUE;
    if (!WideFromUtf8(psz, out))
        return FALSE;
    pszOut = out.c_str();
    return TRUE;
}

}  // namespace

DWORD ReadProfileString(const char* pszSection, const char* pszKey, const char* pszDefault,
                        char* pszBuffer, DWORD nSize, const char* pszFile)
{
    if (pszBuffer == nullptr || nSize == 0)
        return 0;
    pszBuffer[0] = '\0';
    std::wstring section, key, fallback, file;
    const wchar_t* pszWideSection;
    const wchar_t* pszWideKey;
    const wchar_t* pszWideDefault;
    if (!WideArgument(pszSection, section, pszWideSection) || !WideArgument(pszKey, key, pszWideKey) ||
        !WideArgument(pszDefault, fallback, pszWideDefault) || !WidePath(pszFile, file))
        return 0;
    // A character takes at least one unit and at most three bytes: nSize
    // units read everything that can fit the buffer.
    std::vector<wchar_t> wide(nSize);
    const DWORD nWide = GetPrivateProfileStringW(pszWideSection, pszWideKey, pszWideDefault, wide.data(), nSize,
                                                 file.c_str());
    const std::string value = Utf8FromWide(wide.data(), nWide < nSize ? nWide : nSize - 1);
    // A value longer than the buffer is cut at a character boundary.
    return static_cast<DWORD>(CopyTextCut(pszBuffer, nSize, value.c_str(), value.size()));
}

BOOL WriteProfileString(const char* pszSection, const char* pszKey, const char* pszValue,
                        const char* pszFile)
{
    std::wstring section, key, value, file;
    const wchar_t* pszWideSection;
    const wchar_t* pszWideKey;
    const wchar_t* pszWideValue;
    if (!WideArgument(pszSection, section, pszWideSection) || !WideArgument(pszKey, key, pszWideKey) ||
        !WideArgument(pszValue, value, pszWideValue) || !WidePath(pszFile, file))
        return FALSE;
    return WritePrivateProfileStringW(pszWideSection, pszWideKey, pszWideValue, file.c_str());
}

TextEncoding GetProfileEncoding(const char*)
{
    return ENCODING_SHIFT_JIS;
}
