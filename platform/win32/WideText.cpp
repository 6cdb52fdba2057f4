#include "WideText.h"

#include <climits>

namespace {

// The classic MAX_PATH less the 12 characters that CreateDirectory keeps for
// an 8.3 name inside the folder: from here on a path takes the prefix.
const size_t LONG_PATH_FROM = MAX_PATH - 12;

BOOL IsContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

BOOL Refuse()
{
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return FALSE;
}

void AppendUtf8(std::string& out, unsigned long nCode)
{
    if (nCode < 0x80) {
        out += static_cast<char>(nCode);
    } else if (nCode < 0x800) {
        out += static_cast<char>(0xC0 | (nCode >> 6));
        out += static_cast<char>(0x80 | (nCode & 0x3F));
    } else if (nCode < 0x10000) {
        out += static_cast<char>(0xE0 | (nCode >> 12));
        out += static_cast<char>(0x80 | ((nCode >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (nCode & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (nCode >> 18));
        out += static_cast<char>(0x80 | ((nCode >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((nCode >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (nCode & 0x3F));
    }
}

}  // namespace

BOOL WideFromUtf8(const char* pszText, std::wstring& out)
{
    out.clear();
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pszText);
    while (*p != 0) {
        unsigned long nCode;
        int nMore;
        unsigned long nMin;
        if (*p < 0x80) {
            out += static_cast<wchar_t>(*p++);
            continue;
        } else if (*p >= 0xC2 && *p <= 0xDF) {
            nCode = *p & 0x1F;
            nMore = 1;
            nMin = 0x80;
        } else if (*p >= 0xE0 && *p <= 0xEF) {
            nCode = *p & 0x0F;
            nMore = 2;
            nMin = 0x800;
        } else if (*p >= 0xF0 && *p <= 0xF4) {
            nCode = *p & 0x07;
            nMore = 3;
            nMin = 0x10000;
        } else {
            return Refuse();
        }
        ++p;
        for (int i = 0; i < nMore; i++, ++p) {
            if (!IsContinuation(*p))
                return Refuse();   // also a terminator inside the sequence
            nCode = (nCode << 6) | (*p & 0x3F);
        }
        if (nCode < nMin || nCode > 0x10FFFF)
            return Refuse();
        if (nCode >= 0x10000) {
            nCode -= 0x10000;
            out += static_cast<wchar_t>(0xD800 | (nCode >> 10));
            out += static_cast<wchar_t>(0xDC00 | (nCode & 0x3FF));
        } else {
            out += static_cast<wchar_t>(nCode);
        }
    }
    return TRUE;
}

std::wstring WideForDisplay(const char* pszText)
{
    std::wstring text;
    if (!WideFromUtf8(pszText, text)) {
        text.clear();
        for (const char* p = pszText; *p != '\0'; ++p)
            text += static_cast<unsigned char>(*p) < 0x80 ? static_cast<wchar_t>(*p) : L'\xFFFD';
    }
    return text;
}

std::string Utf8FromWide(const wchar_t* pszText, size_t nLength)
{
    std::string out;
    out.reserve(nLength);
    for (size_t i = 0; i < nLength; i++) {
        unsigned long nCode = static_cast<unsigned short>(pszText[i]);
        if (nCode >= 0xD800 && nCode <= 0xDBFF && i + 1 < nLength) {
            const unsigned long nLow = static_cast<unsigned short>(pszText[i + 1]);
            if (nLow >= 0xDC00 && nLow <= 0xDFFF) {
                nCode = 0x10000 + ((nCode - 0xD800) << 10) + (nLow - 0xDC00);
                ++i;
            }
        }
        AppendUtf8(out, nCode);
    }
    return out;
}

std::string Utf8FromWide(const std::wstring& text)
{
    return Utf8FromWide(text.data(), text.size());
}

BOOL WidePath(const char* pszPath, std::wstring& out, BOOL bAlwaysFull)
{
    if (!WideFromUtf8(pszPath, out))
        return FALSE;
    if ((out.size() < LONG_PATH_FROM && !bAlwaysFull) || out.compare(0, 4, L"\\\\?\\") == 0 || out.compare(0, 4, L"\\\\.\\") == 0)
        return TRUE;
    // Behind the prefix the system no longer reads the path for us: it must
    // be full, with backslashes only and no . or .. parts.
    DWORD nNeeded = GetFullPathNameW(out.c_str(), 0, nullptr, nullptr);
    if (nNeeded == 0)
        return FALSE;
    std::wstring full(nNeeded, L'\0');
    DWORD nLength = GetFullPathNameW(out.c_str(), nNeeded, &full[0], nullptr);
    if (nLength == 0 || nLength >= nNeeded)
        return FALSE;
    full.resize(nLength);
    if (full.compare(0, 2, L"\\\\") == 0)
        out = L"\\\\?\\UNC\\" + full.substr(2);
    else
        out = L"\\\\?\\" + full;
    return TRUE;
}

std::string ShiftJisFromUtf8(const char* pszText)
{
    // U+FFFD, which stands for a byte that is no text, is no Shift-JIS
    // character either: it is written '?' like the others.
    const std::wstring wide = WideForDisplay(pszText);
    // A character outside the basic plane is a surrogate pair here, which
    // the code page would make into two marks: it is one character.
    std::wstring single;
    single.reserve(wide.size());
    for (size_t i = 0; i < wide.size(); i++) {
        const wchar_t c = wide[i];
        if (c >= 0xD800 && c <= 0xDFFF) {
            if (c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF)
                ++i;
            single += L'?';
        } else {
            single += c;
        }
    }
    if (single.empty() || single.size() > static_cast<size_t>(INT_MAX / 2))
        return std::string();
    const int nWide = static_cast<int>(single.size());
    // No best fit: é must not turn into e, which would name another file.
    const int nOut = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, single.data(), nWide, nullptr, 0, "?", nullptr);
    if (nOut <= 0)
        return std::string();
    std::string out(static_cast<size_t>(nOut), '\0');
    WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, single.data(), nWide, &out[0], nOut, "?", nullptr);
    return out;
}
