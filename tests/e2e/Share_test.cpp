// Type-2 generations that share their unchanged files: hard links on a
// file system with links, clones where the file system makes them, plain
// copies where it has neither; and nothing shared unless the set asks.
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#include <list>
#include <map>
#include <string>

#include "e2e/Harness.h"

namespace {

class Share : public Backup {
protected:
    // How the files of the tree were shared: the inode and link count of
    // each file of each generation, by generation name and relative path.
    struct Entry {
        ino_t nInode;
        nlink_t nLinks;
    };

    std::map<std::string, Entry> Files(const std::string& rel) const
    {
        std::map<std::string, Entry> files;
        for (const std::string& name : ListTree(rel)) {
            struct stat st;
            if (name.back() != '/' && lstat(HostPath(rel + "/" + name).c_str(), &st) == 0)
                files[name] = Entry{st.st_ino, st.st_nlink};
        }
        return files;
    }

    // A fresh file system of the type on a loop image, mounted at rel until
    // the test ends; false where this machine cannot make one.
    bool MakeFileSystem(const std::string& rel, const std::string& type, const std::string& options)
    {
        const std::string image = HostPath(rel + ".img");
        if (IsWindows() || geteuid() != 0 || access("/dev/loop-control", F_OK) != 0 ||
            std::system(("mkdir -p '" + HostPath(rel) + "' && truncate -s 512M '" + image + "' && mkfs." + type + " " +
                         options + " '" + image + "' >/dev/null 2>&1 && mount -o loop '" + image + "' '" + HostPath(rel) +
                         "' 2>/dev/null")
                            .c_str()) != 0)
            return false;
        m_mounted.emplace_back();
        m_mounted.back().path = HostPath(rel);
        return true;
    }

    unsigned long long UsedBytes(const std::string& rel) const
    {
        struct statvfs vfs;
        return statvfs(HostPath(rel).c_str(), &vfs) == 0 ? (vfs.f_blocks - vfs.f_bfree) * vfs.f_frsize : 0;
    }

    std::list<Mounted> m_mounted;  // a list: a Mounted that moves would unmount
    static const int FILES = 40;
    static const int FILE_BYTES = 64 * 1024;

    void WriteTree() const
    {
        for (int i = 0; i < FILES; i++)
            WriteFile("src/d" + std::to_string(i % 4) + "/f" + std::to_string(i),
                      std::string(FILE_BYTES, static_cast<char>('a' + i % 26)), BASE_TIME);
    }
};

enum Sharing { LINKS, CLONES, COPIES };

// Four unchanged runs keep three generations; every file of every
// generation is the source's, shared as the file system allows.  A changed
// file and a file whose mode or extended attributes alone changed are then
// new files, and the generations before keep what they had.
TEST_F(Share, UnchangedFilesAreSharedAsTheFileSystemAllows)
{
    const struct {
        const char* pszFileSystem;  // "" for the scenario's own folder
        const char* pszMkfs;
        Sharing nSharing;
    } cases[] = {
        {"xfs", "-q -f -m reflink=1", CLONES},
        {"vfat", "", COPIES},
        {"", "", LINKS},  // last: it changes the source
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(*c.pszFileSystem != '\0' ? c.pszFileSystem : "the scenario's folder");
        const std::string bk = *c.pszFileSystem != '\0' ? std::string("mnt-") + c.pszFileSystem : "bk";
        if (*c.pszFileSystem != '\0' && !MakeFileSystem(bk, c.pszFileSystem, c.pszMkfs)) {
            std::printf("[  SKIPPED ] %s: %s\n", c.pszFileSystem,
                        IsWindows() ? "Linux only" : "needs root, loop devices and mkfs for it");
            continue;
        }
        WriteTree();
        WriteSettings({Set("src", bk, "世代数=3\n世代管理タイプ=2\n未変更ファイルの共有=1\n")});
        unsigned long long nUsedBefore = 0;
        for (int run = 1; run <= 4; run++) {
            nUsedBefore = UsedBytes(bk);
            ASSERT_EQ(0, Run()) << "run " << run;
        }
        const std::map<std::string, Entry> item = Files(bk + "/src");
        ASSERT_EQ(static_cast<size_t>(FILES), item.size());
        for (const char* pszGeneration : {"1_src", "2_src", "3_src"}) {
            const std::map<std::string, Entry> generation = Files(bk + "/" + pszGeneration);
            ASSERT_EQ(static_cast<size_t>(FILES), generation.size()) << pszGeneration;
            for (const auto& file : generation) {
                EXPECT_EQ(ReadFile("src/" + file.first), ReadFile(bk + "/" + pszGeneration + "/" + file.first));
                const bool bSameFile = file.second.nInode == item.at(file.first).nInode;
                EXPECT_EQ(c.nSharing == LINKS, bSameFile) << pszGeneration << "/" << file.first;
                EXPECT_TRUE(c.nSharing != CLONES || file.second.nLinks == 1) << pszGeneration << "/" << file.first;
            }
        }
        // The last run dropped a generation and made one: a clone costs its
        // inode, not its data.
        EXPECT_TRUE(c.nSharing != CLONES || UsedBytes(bk) < nUsedBefore + FILES * FILE_BYTES / 10);

        if (c.nSharing == LINKS) {
            WriteFile("src/d1/f1", "changed", BASE_TIME + 60);
            ASSERT_EQ(0, chmod(HostPath("src/d2/f2").c_str(), 0444));
            // An extended attribute alone, where the folder keeps them.
            const bool bAttribute = !IsWindows() && setxattr(HostPath("src/d3/f3").c_str(), "user.t", "1", 1, 0) == 0;
            ASSERT_EQ(0, Run());
            const std::map<std::string, Entry> after = Files(bk + "/src");
            for (const char* pszRel : {"d1/f1", "d2/f2", bAttribute ? "d3/f3" : "d2/f2"})
                EXPECT_NE(item.at(pszRel).nInode, after.at(pszRel).nInode) << pszRel;
            EXPECT_EQ(item.at("d0/f0").nInode, after.at("d0/f0").nInode);
            EXPECT_EQ(std::string(FILE_BYTES, 'b'), ReadFile(bk + "/1_src/d1/f1"));
            struct stat st;
            ASSERT_EQ(0, stat(HostPath(bk + "/1_src/d2/f2").c_str(), &st));
            EXPECT_NE(0u, st.st_mode & S_IWUSR);
        }
    }
}

// Without the key nothing is shared: each generation is a copy of its own.
TEST_F(Share, NothingIsSharedUnlessTheSetAsks)
{
    WriteTree();
    WriteSettings({Set("src", "bk", "世代数=1\n世代管理タイプ=2\n")});
    for (int run = 1; run <= 2; run++)
        ASSERT_EQ(0, Run()) << "run " << run;
    const std::map<std::string, Entry> item = Files("bk/src");
    for (const auto& file : Files("bk/1_src")) {
        EXPECT_EQ(1u, file.second.nLinks) << file.first;
        EXPECT_NE(item.at(file.first).nInode, file.second.nInode) << file.first;
    }
    EXPECT_EQ(0u, CountPrefix(Log(), "  前回のコピーを共有します"));
}

}  // namespace
