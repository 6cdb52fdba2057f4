#include "platform/TextCodec.h"

#include <iconv.h>

#include <cerrno>

namespace {

// glibc's "CP932" is the Windows code page, with Microsoft's extensions and
// mappings (plain "SHIFT_JIS" lacks the NEC and IBM rows people do use).
const char* CharsetName(TextEncoding nEncoding)
{
    return nEncoding == ENCODING_SHIFT_JIS ? "CP932" : "UTF-8";
}

}  // namespace

bool ConvertText(const std::string& in, TextEncoding from, TextEncoding to, std::string& out)
{
    out.clear();
    const char* pszFrom = CharsetName(from);
    const char* pszTo = CharsetName(to);
    iconv_t cd = iconv_open(pszTo, pszFrom);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;

    // Converting UTF-8 to itself still goes through iconv, so that malformed
    // input is refused the same way whatever the pair.
    std::string buffer(in.size() * 2 + 16, '\0');
    char* pIn = const_cast<char*>(in.data());
    size_t nInLeft = in.size();
    size_t nUsed = 0;
    bool bOk = true;
    for (;;) {
        char* pOut = &buffer[nUsed];
        size_t nOutLeft = buffer.size() - nUsed;
        const size_t nResult = iconv(cd, &pIn, &nInLeft, &pOut, &nOutLeft);
        nUsed = buffer.size() - nOutLeft;
        if (nResult != static_cast<size_t>(-1))
            break;
        if (errno != E2BIG) {
            // EILSEQ: a sequence that is not valid or has no counterpart;
            // EINVAL: the input ends inside a character.
            bOk = false;
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    iconv_close(cd);
    if (bOk)
        out.assign(buffer, 0, nUsed);
    return bOk;
}
