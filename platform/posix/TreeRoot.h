// The roots of a set's trees on POSIX, and the folders reached below them
// without ever passing through a link.
#pragma once

#include <string>
#include <vector>

// Opens the folder pszName in fdParent, never through a link (nFlags are
// added to O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC).  A link there fails with
// ELOOP rather than the kernel's ENOTDIR, which callers take for an entry
// that is simply gone.
int OpenFolderNoFollow(int fdParent, const char* pszName, int nFlags);

// One tree root and the chain of folders last reached below it.  The walk
// goes depth first, so keeping the chain open makes each operation one
// system call relative to its folder, as cheap as a path and immune to a
// component being swapped for a link between two of them.  So that a tree
// of any depth takes few descriptors, only the deepest CHAIN_OPEN folders
// of the chain stay open, and above them every CHAIN_LANDMARK-th: a folder
// let go is reached again from the landmark above it, at most
// CHAIN_LANDMARK opens for every CHAIN_OPEN levels the walk climbs back.
class CTreeRoot {
public:
    ~CTreeRoot() { Clear(); }

    void Set(const char* pszRoot);
    void Clear();

    // Closes every descriptor; the root is opened again when next needed
    // (it may itself have been renamed).
    void Forget();

    // The length of the root's text when pszPath is the root or lies below
    // it; 0 otherwise.
    size_t Match(const char* pszPath) const;

    // The descriptor of the folder names[0, nCount) below the root, each
    // reached with O_NOFOLLOW; missing ones are made (0700: the walk gives
    // them their source's mode when it is done with them) when bCreate.  -1
    // with *pnError on failure.  The descriptor stays owned by the chain.
    int Reach(const std::vector<std::string>& names, size_t nCount, bool bCreate, int* pnError);

private:
    void Truncate(size_t nKeep);

    // A path buffer's 4,096 bytes hold 2,048 levels: 48 descriptors at most.
    static const size_t CHAIN_OPEN = 16;
    static const size_t CHAIN_LANDMARK = 64;

    std::string m_root;  // without trailing separators ("/" stays)
    int m_fdRoot = -1;
    std::vector<std::string> m_names;
    std::vector<int> m_fds;  // -1 for a folder no longer kept open
};

// Splits the part of a path below its root into names; false for a ".."
// (the engine never makes one below a root, and it would lead out).
bool SplitBelowRoot(const char* pszRest, std::vector<std::string>& names);
