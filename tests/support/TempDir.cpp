#include "support/TempDir.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include <utime.h>

#include "PlatformTypes.h"

namespace fs = std::filesystem;

namespace {

std::atomic<unsigned> g_nTempDirCount{0};

}  // namespace

TempDir::TempDir()
{
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec)
        return;
    // The name only has to be unique among concurrent test runs; a clash is
    // simply retried with the next candidate.
    std::random_device device;
    unsigned long long seed = (static_cast<unsigned long long>(device()) << 32) ^
        static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::mt19937_64 random(seed);
    for (int nTry = 0; nTry < 100; ++nTry) {
        char szName[64];
        int n = snprintf(szName, sizeof szName, "tandemix-test-%u-%llx", g_nTempDirCount++,
                         static_cast<unsigned long long>(random() & 0xffffffffffULL));
        if (n < 0 || n >= static_cast<int>(sizeof szName))
            return;
        fs::path candidate = base / szName;
        if (fs::create_directory(candidate, ec) && !ec) {
            // The base and the name are ASCII here, so the narrow form is
            // exact on Windows too.
            m_path = candidate.string();
            while (m_path.size() > 1 && m_path.back() == PATH_SEP)
                m_path.pop_back();
            return;
        }
    }
}

TempDir::~TempDir()
{
    if (m_path.empty())
        return;
    std::error_code ec;
    // Tests may leave read-only entries behind; removal would stop at them.
    for (auto it = fs::recursive_directory_iterator(m_path, fs::directory_options::none, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(m_path, ec);
}

std::string TempDir::Join(const std::string& rel) const
{
    return m_path + PATH_SEP + rel;
}

// The helpers take paths that may hold Shift-JIS names on Windows, which
// std::filesystem would misread there; the C library's narrow calls use the
// ANSI code page, as the program does.
bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    FILE* pFile = fopen(path.c_str(), "wb");
    if (pFile == nullptr)
        return false;
    bool bOk = fwrite(bytes.data(), 1, bytes.size(), pFile) == bytes.size();
    if (fclose(pFile) != 0)
        bOk = false;
    return bOk;
}

std::string ReadFileBytes(const std::string& path)
{
    std::string bytes;
    FILE* pFile = fopen(path.c_str(), "rb");
    if (pFile == nullptr)
        return bytes;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pFile)) > 0)
        bytes.append(buffer, n);
    fclose(pFile);
    return bytes;
}

bool SetFileMTime(const std::string& path, time_t mtime)
{
    struct utimbuf times;
    times.actime = mtime;
    times.modtime = mtime;
    return utime(path.c_str(), &times) == 0;
}
