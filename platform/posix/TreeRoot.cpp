#include "platform/posix/TreeRoot.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

int OpenFolderNoFollow(int fdParent, const char* pszName, int nFlags)
{
    int fd = openat(fdParent, pszName, nFlags | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 || errno != ENOTDIR)
        return fd;
    struct stat st;
    bool bLink = fstatat(fdParent, pszName, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
    errno = bLink ? ELOOP : ENOTDIR;
    return -1;
}

void CTreeRoot::Set(const char* pszRoot)
{
    Clear();
    m_root = pszRoot != nullptr ? pszRoot : "";
    while (m_root.size() > 1 && m_root.back() == '/')
        m_root.pop_back();
}

void CTreeRoot::Clear()
{
    Forget();
    m_root.clear();
}

void CTreeRoot::Forget()
{
    Truncate(0);
    if (m_fdRoot >= 0)
        close(m_fdRoot);
    m_fdRoot = -1;
}

size_t CTreeRoot::Match(const char* pszPath) const
{
    size_t nLength = m_root.size();
    if (nLength == 0 || strncmp(pszPath, m_root.c_str(), nLength) != 0)
        return 0;
    char c = pszPath[nLength];
    return c == '\0' || c == '/' || m_root.back() == '/' ? nLength : 0;
}

int CTreeRoot::Reach(const std::vector<std::string>& names, size_t nCount, bool bCreate, int* pnError)
{
    if (m_fdRoot < 0) {
        // The root itself is reached as the user wrote it.
        m_fdRoot = open(m_root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (m_fdRoot < 0) {
            *pnError = errno;
            return -1;
        }
    }
    if (nCount == 0)
        return m_fdRoot;
    size_t nSame = 0;
    while (nSame < nCount && nSame < m_names.size() && m_names[nSame] == names[nSame])
        ++nSame;
    if (nSame == nCount && m_fds[nCount - 1] >= 0)
        return m_fds[nCount - 1];
    // The chain goes on from the deepest folder on the way still open.
    size_t nKeep = nSame;
    while (nKeep > 0 && m_fds[nKeep - 1] < 0)
        --nKeep;
    Truncate(nKeep);
    for (size_t i = nKeep; i < nCount; ++i) {
        int fdParent = i == 0 ? m_fdRoot : m_fds.back();
        const char* pszName = names[i].c_str();
        int fd = OpenFolderNoFollow(fdParent, pszName, O_PATH);
        if (fd < 0 && errno == ENOENT && bCreate) {
            if (mkdirat(fdParent, pszName, 0700) == 0 || errno == EEXIST)
                fd = OpenFolderNoFollow(fdParent, pszName, O_PATH);
        }
        if (fd < 0) {
            *pnError = errno;
            return -1;
        }
        m_names.push_back(names[i]);
        m_fds.push_back(fd);
        // The folder that leaves the deepest ones is let go, unless it is
        // one of the chain's landmarks.
        if (m_fds.size() > CHAIN_OPEN) {
            const size_t nOld = m_fds.size() - CHAIN_OPEN - 1;
            if ((nOld + 1) % CHAIN_LANDMARK != 0 && m_fds[nOld] >= 0) {
                close(m_fds[nOld]);
                m_fds[nOld] = -1;
            }
        }
    }
    return m_fds[nCount - 1];
}

void CTreeRoot::Truncate(size_t nKeep)
{
    while (m_fds.size() > nKeep) {
        if (m_fds.back() >= 0)
            close(m_fds.back());
        m_fds.pop_back();
        m_names.pop_back();
    }
}

bool SplitBelowRoot(const char* pszRest, std::vector<std::string>& names)
{
    names.clear();
    for (const char* p = pszRest; *p != '\0';) {
        while (*p == '/')
            ++p;
        const char* pszEnd = p;
        while (*pszEnd != '\0' && *pszEnd != '/')
            ++pszEnd;
        std::string name(p, static_cast<size_t>(pszEnd - p));
        if (name == "..")
            return false;
        if (!name.empty() && name != ".")
            names.push_back(name);
        p = pszEnd;
    }
    return true;
}
