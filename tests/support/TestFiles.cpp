#include "support/TestFiles.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <system_error>

#include "PlatformTypes.h"
#include "platform/TextCodec.h"

namespace fs = std::filesystem;

TempDir::TempDir()
{
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    std::random_device random;
    // A name taken by another run is simply retried; the base and the name
    // are ASCII, so the narrow form is exact on Windows too.
    for (int nTry = 0; !ec && nTry < 100 && m_path.empty(); ++nTry) {
        const fs::path candidate = base / ("tandemix-test-" + std::to_string(random()));
        if (fs::create_directory(candidate, ec))
            m_path = candidate.string();
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Tests leave read-only entries behind; removal would stop at them.
    for (auto it = fs::recursive_directory_iterator(m_path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    if (!m_path.empty())
        fs::remove_all(m_path, ec);
}

std::string TempDir::Join(const std::string& rel) const
{
    return m_path + PATH_SEP + rel;
}

CurrentDir::CurrentDir(const fs::path& folder)
{
    std::error_code ec;
    m_previous = fs::current_path(ec);
    if (!ec)
        fs::current_path(folder, ec);
    m_bChanged = !ec;
}

CurrentDir::~CurrentDir()
{
    std::error_code ec;
    if (m_bChanged)
        fs::current_path(m_previous, ec);
}

// Through the C library's narrow calls, which use the ANSI code page as the
// program does; std::filesystem would misread Shift-JIS names on Windows.
bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    FILE* pFile = fopen(path.c_str(), "wb");
    if (pFile == nullptr)
        return false;
    bool bOk = fwrite(bytes.data(), 1, bytes.size(), pFile) == bytes.size();
    return fclose(pFile) == 0 && bOk;
}

std::string ReadFileBytes(const std::string& path)
{
    std::string bytes;
    FILE* pFile = fopen(path.c_str(), "rb");
    if (pFile == nullptr)
        return bytes;
    char buffer[65536];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pFile)) > 0;)
        bytes.append(buffer, n);
    fclose(pFile);
    return bytes;
}

Lines ListTree(const std::string& folder)
{
    Lines entries;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        entries.push_back(it->path().lexically_relative(folder).generic_string() + (it->is_directory() ? "/" : ""));
    std::sort(entries.begin(), entries.end());
    return entries;
}

Lines ReadLogTexts(const std::string& path, int bShiftJis)
{
    const size_t nStamp = sizeof("2007/05/01 09:05:03  ") - 1;
    std::string bytes = ReadFileBytes(path);
    // The Windows log is Shift-JIS; the tests compare UTF-8 texts.
    std::string converted;
    if ((bShiftJis == 1 || (bShiftJis == -1 && PATH_SEP == '\\')) &&
        ConvertText(bytes, ENCODING_SHIFT_JIS, ENCODING_UTF8, converted))
        bytes.swap(converted);
    Lines lines = SplitLines(bytes);
    for (std::string& line : lines)
        line = line.size() >= nStamp ? line.substr(nStamp) : "(short line) " + line;
    return lines;
}

Lines SplitLines(const std::string& text)
{
    Lines lines;
    for (size_t nStart = 0, nEnd; nStart < text.size(); nStart = nEnd + 1) {
        nEnd = std::min(text.find('\n', nStart), text.size());
        lines.push_back(text.substr(nStart, nEnd - nStart));
        if (!lines.back().empty() && lines.back().back() == '\r')
            lines.back().pop_back();
    }
    return lines;
}

std::string NativePath(const std::string& path, char from)
{
    std::string native = path;
    for (char& c : native) {
        if (c == from)
            c = PATH_SEP;
    }
    return native;
}

size_t CountPrefix(const Lines& lines, const std::string& prefix)
{
    size_t n = 0;
    for (const std::string& line : lines)
        n += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
}
