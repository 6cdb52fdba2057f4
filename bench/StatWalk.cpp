// The floor for a no-change rerun: list the source tree and lstat() every
// entry on both sides, by full path, and do nothing else.  A backup tool that
// must notice any change by size and time cannot do less work than this, so
// its time on an unchanged tree is measured against this program's.
//
//   statwalk SOURCE DEST
//
// SOURCE/x/y is paired with DEST/x/y.  Prints the number of entries seen (on
// stderr, so that timing runs can discard it).
#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

unsigned long g_nEntries = 0;

void WalkFolder(std::string& src, std::string& dst)
{
    DIR* pDir = opendir(src.c_str());
    if (pDir == nullptr)
        return;
    const size_t nSrc = src.size();
    const size_t nDst = dst.size();
    while (const dirent* pEntry = readdir(pDir)) {
        const char* pszName = pEntry->d_name;
        if (strcmp(pszName, ".") == 0 || strcmp(pszName, "..") == 0)
            continue;
        src.append(1, '/').append(pszName);
        dst.append(1, '/').append(pszName);
        struct stat stSrc;
        struct stat stDst;
        ++g_nEntries;
        const bool bSrc = lstat(src.c_str(), &stSrc) == 0;
        lstat(dst.c_str(), &stDst);
        if (bSrc && S_ISDIR(stSrc.st_mode))
            WalkFolder(src, dst);
        src.resize(nSrc);
        dst.resize(nDst);
    }
    closedir(pDir);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: statwalk SOURCE DEST\n");
        return 2;
    }
    std::string src = argv[1];
    std::string dst = argv[2];
    struct stat st;
    if (lstat(src.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        fprintf(stderr, "statwalk: %s is not a folder\n", argv[1]);
        return 1;
    }
    lstat(dst.c_str(), &st);
    WalkFolder(src, dst);
    fprintf(stderr, "%lu entries\n", g_nEntries);
    return 0;
}
