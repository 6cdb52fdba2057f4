#include "platform/TextCodec.h"

#include <climits>

#include "PlatformTypes.h"

namespace {

UINT CodePageOf(TextEncoding nEncoding)
{
    return nEncoding == ENCODING_SHIFT_JIS ? 932 : CP_UTF8;
}

}  // namespace

bool ConvertText(const std::string& in, TextEncoding from, TextEncoding to, std::string& out)
{
    out.clear();
    if (in.empty())
        return true;
    if (in.size() > static_cast<size_t>(INT_MAX / 2))
        return false;
    const UINT nFrom = CodePageOf(from);
    const UINT nTo = CodePageOf(to);
    const int nIn = static_cast<int>(in.size());

    // MB_ERR_INVALID_CHARS makes a malformed sequence fail instead of
    // turning silently into U+FFFD or '?'.
    const int nWide = MultiByteToWideChar(nFrom, MB_ERR_INVALID_CHARS, in.data(), nIn, nullptr, 0);
    if (nWide <= 0)
        return false;
    std::wstring wide(static_cast<size_t>(nWide), L'\0');
    if (MultiByteToWideChar(nFrom, MB_ERR_INVALID_CHARS, in.data(), nIn, &wide[0], nWide) != nWide)
        return false;

    // UTF-8 takes no default character; for a code page, a character that
    // had to be replaced by the default one (or a "best fit" look-alike)
    // counts as not convertible.
    DWORD dwFlags = 0;
    BOOL bUsedDefault = FALSE;
    BOOL* pbUsedDefault = nullptr;
    if (nTo == CP_UTF8) {
        dwFlags = WC_ERR_INVALID_CHARS;
    } else {
        dwFlags = WC_NO_BEST_FIT_CHARS;
        pbUsedDefault = &bUsedDefault;
    }
    const int nOut = WideCharToMultiByte(nTo, dwFlags, wide.data(), nWide, nullptr, 0, nullptr, pbUsedDefault);
    if (nOut <= 0 || bUsedDefault)
        return false;
    std::string converted(static_cast<size_t>(nOut), '\0');
    if (WideCharToMultiByte(nTo, dwFlags, wide.data(), nWide, &converted[0], nOut, nullptr, pbUsedDefault) != nOut
        || bUsedDefault)
        return false;
    out.swap(converted);
    return true;
}
