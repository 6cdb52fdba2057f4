#include "platform/Profile.h"

#include <cstring>

#include "platform/Text.h"

namespace {

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
    return static_cast<DWORD>(CopyTextCut(pszBuffer, nSize, pszText, strlen(pszText)));
}

bool HasLineEnd(const char* psz)
{
    return strpbrk(psz, "\r\n") != nullptr;
}

}  // namespace

ProfileStatus CProfile::Load(const char* pszFile)
{
    std::string bytes;
    const ProfileStatus nStatus = ReadProfileBytes(pszFile, bytes);
    LoadBytes(bytes);
    m_file = nStatus == PROFILE_READ ? pszFile : "";
    return nStatus;
}

void CProfile::LoadBytes(const std::string& bytes)
{
    m_text.Assign(bytes);
    m_file.clear();
}

BOOL CProfile::HasSection(const char* pszSection) const
{
    std::string section;
    return ToFileText(pszSection, m_text.GetEncoding(), section) && m_text.HasSection(section.c_str());
}

DWORD ReadIniString(const CIniText& text, const char* pszSection, const char* pszKey, char* pszBuffer,
                    DWORD nSize)
{
    if (pszBuffer == nullptr || nSize == 0)
        return 0;
    pszBuffer[0] = '\0';
    std::string section;
    std::string key;
    std::string value;
    if (!ToFileText(pszSection, text.GetEncoding(), section) || !ToFileText(pszKey, text.GetEncoding(), key)
        || !text.Find(section.c_str(), key.c_str(), value))
        return 0;
    if (text.GetEncoding() == ENCODING_SHIFT_JIS) {
        std::string converted;
        // Bytes that are not Shift-JIS cannot name anything on this system;
        // the key reads as missing rather than as a garbled path.
        if (!ConvertText(value, ENCODING_SHIFT_JIS, ENCODING_NATIVE, converted))
            return 0;
        value.swap(converted);
    }
    // A NUL inside the value ends it, as it would for any C string.
    return CopyCut(value.c_str(), pszBuffer, nSize);
}

bool SetIniString(const CIniText& text, const char* pszSection, const char* pszKey, const char* pszValue,
                  std::string& updated)
{
    // Deleting a key or a section (a null name or value) is not needed here;
    // a line end inside a name or value would break the file's lines.
    if (pszSection == nullptr || pszKey == nullptr || pszValue == nullptr || HasLineEnd(pszSection)
        || HasLineEnd(pszKey) || HasLineEnd(pszValue) || strchr(pszSection, ']') != nullptr
        || strchr(pszKey, '=') != nullptr)
        return false;
    const TextEncoding nEncoding = text.GetEncoding();
    std::string section;
    std::string key;
    std::string value;
    if (!ToFileText(pszSection, nEncoding, section) || !ToFileText(pszKey, nEncoding, key)
        || !ToFileText(pszValue, nEncoding, value))
        return false;
    // A new file is UTF-8 with LF line ends.
    std::string body = text.GetText();
    SetIniValue(body, nEncoding, section.c_str(), key.c_str(), value.c_str(), DetectIniLineEnd(body));
    updated = text.GetBom() + body;
    return true;
}
