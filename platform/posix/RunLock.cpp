#include "platform/RunLock.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/ErrorText.h"
#include "platform/FileServices.h"

namespace {

// The home folder of the password database, or "" without one.
std::string HomeFolder(uid_t uid)
{
    std::vector<char> buffer(16384);
    struct passwd entry;
    struct passwd* pEntry = nullptr;
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &pEntry) != 0 || pEntry == nullptr
        || pEntry->pw_dir == nullptr || pEntry->pw_dir[0] != '/')
        return "";
    return pEntry->pw_dir;
}

// The lock folders to try, in order (see RunLock.h): candidate n, false
// when there is none.  The password database is asked only when root's own
// folder cannot be used.
struct Candidate {
    std::string parent;               // must exist
    std::vector<std::string> below;   // made below it where missing
};

bool GetCandidate(int n, uid_t uid, Candidate& candidate)
{
    const std::string user = std::to_string(uid);
    switch (n) {
    case 0:
        candidate = {"/run", {"tandemix"}};
        return uid == 0;
    case 1:
        candidate = {HomeFolder(uid), {".cache", "tandemix"}};
        return !candidate.parent.empty();
    case 2:
        candidate = {"/run/user/" + user, {"tandemix"}};
        return true;
    case 3:
        candidate = {"/tmp", {"tandemix-" + user}};
        return true;
    }
    return false;
}

// Opens the candidate's folder, making what is missing: a descriptor of a
// folder that belongs to uid and that nobody else can write, or -1 with
// nError set.  No link is followed below the parent.
int OpenLockFolder(const Candidate& candidate, uid_t uid, std::string& folder, int& nError)
{
    folder = candidate.parent;
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    nError = errno;
    for (const std::string& name : candidate.below) {
        if (fd < 0)
            return -1;
        folder += "/" + name;
        int fdBelow = -1;
        if (mkdirat(fd, name.c_str(), 0700) == 0 || errno == EEXIST)
            fdBelow = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        nError = errno;
        close(fd);
        fd = fdBelow;
    }
    if (fd < 0)
        return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || st.st_uid != uid || (st.st_mode & 022) != 0) {
        // Someone else's folder, or one that others could fill with names
        // of their own.
        nError = EACCES;
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

CRunLock::CRunLock() : m_nHandle(-1) {}

CRunLock::~CRunLock()
{
    Release();
}

RunLockResult CRunLock::Acquire(const char* pszSettingsPath, std::string& why)
{
    Release();
    const std::string path = pszSettingsPath;
    const size_t nSlash = path.rfind('/');
    const std::string settingsFolder = nSlash == std::string::npos ? "." : nSlash == 0 ? "/" : path.substr(0, nSlash);
    FileServices& services = GetFileServices();
    FileIdentity identity;
    if (!services.GetIdentity(settingsFolder.c_str(), identity)) {
        why = settingsFolder + ": " + SystemErrorText(services.GetLastError());
        return RUN_LOCK_UNAVAILABLE;
    }
    const std::string name = RunLockFileName(identity.nVolume, identity.nIndex);

    const uid_t uid = geteuid();
    std::string folder;
    int fdFolder = -1;
    int nError = 0;
    Candidate candidate;
    for (int n = 0; fdFolder < 0 && n < 4; n++) {
        if (GetCandidate(n, uid, candidate))
            fdFolder = OpenLockFolder(candidate, uid, folder, nError);
    }
    if (fdFolder < 0) {
        why = folder + ": " + SystemErrorText(static_cast<DWORD>(nError));
        return RUN_LOCK_UNAVAILABLE;
    }
    const int fd = openat(fdFolder, name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
    nError = errno;
    close(fdFolder);
    if (fd < 0) {
        why = folder + "/" + name + ": " + SystemErrorText(static_cast<DWORD>(nError));
        return RUN_LOCK_UNAVAILABLE;
    }
    int nResult;
    do {
        nResult = flock(fd, LOCK_EX | LOCK_NB);
    } while (nResult != 0 && errno == EINTR);
    if (nResult != 0) {
        nError = errno;
        close(fd);
        if (nError == EWOULDBLOCK)
            return RUN_LOCK_BUSY;
        why = folder + "/" + name + ": " + SystemErrorText(static_cast<DWORD>(nError));
        return RUN_LOCK_UNAVAILABLE;
    }
    m_nHandle = fd;
    return RUN_LOCK_TAKEN;
}

void CRunLock::Release()
{
    if (m_nHandle >= 0) {
        close(static_cast<int>(m_nHandle));
        m_nHandle = -1;
    }
}

void ReportToUser(const char* pszText, BOOL)
{
    fprintf(stderr, "Tandemix: %s\n", pszText);
}
