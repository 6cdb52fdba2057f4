#include "support/FakeFileServices.h"

#include <cstring>

#include "platform/Text.h"

namespace {

bool IsSeparatorAt(const std::string& s, size_t nPos)
{
    return s[nPos] == PATH_SEP && CharLength(s.c_str() + nPos) == 1;
}

// Position of the last separator, read character by character; npos if none.
size_t LastSeparator(const std::string& s)
{
    size_t nLast = std::string::npos;
    for (size_t nPos = 0; nPos < s.size(); nPos += static_cast<size_t>(CharLength(s.c_str() + nPos))) {
        if (IsSeparatorAt(s, nPos))
            nLast = nPos;
    }
    return nLast;
}

class FakeDirectoryReader : public DirectoryReader {
public:
    explicit FakeDirectoryReader(std::vector<DirEntry> entries) : m_entries(std::move(entries)), m_nNext(0) {}

    BOOL Next(DirEntry& entry) override
    {
        if (m_nNext >= m_entries.size())
            return FALSE;
        entry = m_entries[m_nNext++];
        return TRUE;
    }

private:
    std::vector<DirEntry> m_entries;
    size_t m_nNext;
};

DirEntry MakeEntry(const std::string& name, bool bFolder)
{
    DirEntry entry = {};
    size_t nLength = name.size() < sizeof entry.szName ? name.size() : sizeof entry.szName - 1;
    memcpy(entry.szName, name.data(), nLength);
    entry.bDirectory = bFolder ? TRUE : FALSE;
    return entry;
}

}  // namespace

FakeFileServices::FakeFileServices() : m_nStatusQueries(0), m_nWrites(0), m_dwLastError(0)
{
}

FakeFileServices::~FakeFileServices()
{
}

// ---- Path keys ----------------------------------------------------------

std::string FakeFileServices::Key(const std::string& path)
{
    // Drop trailing separators; a path of separators only is the root.
    size_t nEnd = 0;
    bool bAnySeparator = false;
    for (size_t nPos = 0; nPos < path.size(); nPos += static_cast<size_t>(CharLength(path.c_str() + nPos))) {
        if (IsSeparatorAt(path, nPos))
            bAnySeparator = true;
        else
            nEnd = nPos + static_cast<size_t>(CharLength(path.c_str() + nPos));
    }
    if (nEnd == 0)
        return bAnySeparator ? std::string(1, PATH_SEP) : std::string();
    return path.substr(0, nEnd);
}

std::string FakeFileServices::Parent(const std::string& key)
{
    size_t nSlash = LastSeparator(key);
    if (nSlash == std::string::npos || key.size() == 1)
        return std::string();
    return nSlash == 0 ? std::string(1, PATH_SEP) : key.substr(0, nSlash);
}

std::string FakeFileServices::Name(const std::string& key)
{
    size_t nSlash = LastSeparator(key);
    return nSlash == std::string::npos || key.size() == 1 ? key : key.substr(nSlash + 1);
}

bool FakeFileServices::IsBelow(const std::string& key, const std::string& ancestor)
{
    if (key == ancestor)
        return true;
    if (ancestor.size() == 1 && ancestor[0] == PATH_SEP)
        return key.size() > 1 && key[0] == PATH_SEP;
    return key.size() > ancestor.size() && key.compare(0, ancestor.size(), ancestor) == 0 &&
        IsSeparatorAt(key, ancestor.size());
}

bool FakeFileServices::Strike(FaultMap& faults, const std::string& key, DWORD& dwError)
{
    FaultMap::iterator it = faults.find(key);
    if (it == faults.end() || it->second.nTimes == 0)
        return false;
    dwError = it->second.dwError;
    if (it->second.nTimes > 0)
        --it->second.nTimes;
    return true;
}

bool FakeFileServices::DriveFault(const std::string& key, DWORD& dwError)
{
    for (FaultMap::iterator it = m_driveFaults.begin(); it != m_driveFaults.end(); ++it) {
        if (it->second.nTimes != 0 && IsBelow(key, it->first))
            return Strike(m_driveFaults, it->first, dwError);
    }
    return false;
}

BOOL FakeFileServices::Fail(DWORD dwError)
{
    m_dwLastError = dwError;
    return FALSE;
}

void FakeFileServices::Event(const std::string& text, BOOL bOk)
{
    m_events.push_back(bOk ? text : text + " FAILED");
}

void FakeFileServices::MakeParents(const std::string& key)
{
    std::vector<std::string> missing;
    for (std::string parent = Parent(key); !parent.empty(); parent = Parent(parent)) {
        std::map<std::string, Node>::iterator it = m_nodes.find(parent);
        if (it != m_nodes.end()) {
            if (!it->second.bFolder)
                it->second = Node{true, 0, std::string(), 0};
            break;
        }
        missing.push_back(parent);
    }
    for (std::vector<std::string>::reverse_iterator it = missing.rbegin(); it != missing.rend(); ++it)
        m_nodes[*it] = Node{true, 0, std::string(), 0};
}

void FakeFileServices::EraseTree(const std::string& key)
{
    for (std::map<std::string, Node>::iterator it = m_nodes.begin(); it != m_nodes.end();) {
        if (IsBelow(it->first, key))
            it = m_nodes.erase(it);
        else
            ++it;
    }
}

// ---- Layout and inspection -----------------------------------------------

void FakeFileServices::AddFolder(const std::string& path, time_t mtime)
{
    std::string key = Key(path);
    EraseTree(key);
    MakeParents(key);
    m_nodes[key] = Node{true, mtime, std::string(), 0};
}

void FakeFileServices::AddFile(const std::string& path, time_t mtime, const std::string& content)
{
    std::string key = Key(path);
    EraseTree(key);
    MakeParents(key);
    m_nodes[key] = Node{false, mtime, content, 0};
}

void FakeFileServices::SetAttributes(const std::string& path, BYTE attributes)
{
    std::map<std::string, Node>::iterator it = m_nodes.find(Key(path));
    if (it != m_nodes.end())
        it->second.attributes = attributes;
}

bool FakeFileServices::IsFolder(const std::string& path) const
{
    std::map<std::string, Node>::const_iterator it = m_nodes.find(Key(path));
    return it != m_nodes.end() && it->second.bFolder;
}

bool FakeFileServices::IsFile(const std::string& path) const
{
    std::map<std::string, Node>::const_iterator it = m_nodes.find(Key(path));
    return it != m_nodes.end() && !it->second.bFolder;
}

std::string FakeFileServices::Content(const std::string& path) const
{
    std::map<std::string, Node>::const_iterator it = m_nodes.find(Key(path));
    return it != m_nodes.end() && !it->second.bFolder ? it->second.content : std::string();
}

time_t FakeFileServices::MTime(const std::string& path) const
{
    std::map<std::string, Node>::const_iterator it = m_nodes.find(Key(path));
    return it != m_nodes.end() ? it->second.mtime : static_cast<time_t>(-1);
}

std::vector<std::string> FakeFileServices::Children(const std::string& folder) const
{
    std::string key = Key(folder);
    std::vector<std::string> names;
    for (std::map<std::string, Node>::const_iterator it = m_nodes.begin(); it != m_nodes.end(); ++it) {
        if (it->first != key && Parent(it->first) == key)
            names.push_back(Name(it->first));
    }
    return names;
}

std::vector<std::string> FakeFileServices::AllPaths() const
{
    std::vector<std::string> paths;
    for (std::map<std::string, Node>::const_iterator it = m_nodes.begin(); it != m_nodes.end(); ++it) {
        std::string path = it->first;
        if (it->second.bFolder && !(path.size() == 1 && path[0] == PATH_SEP))
            path += PATH_SEP;
        paths.push_back(path);
    }
    return paths;
}

// ---- Faults ------------------------------------------------------------

void FakeFileServices::FailStatus(const std::string& path, DWORD dwError, int nTimes)
{
    m_statusFaults[Key(path)] = Fault{dwError, nTimes};
}

void FakeFileServices::FailDrive(const std::string& path, DWORD dwError, int nTimes)
{
    m_driveFaults[Key(path)] = Fault{dwError, nTimes};
}

void FakeFileServices::FailList(const std::string& folder, DWORD dwError)
{
    m_listFaults[Key(folder)] = Fault{dwError, -1};
}

void FakeFileServices::FailRead(const std::string& path, DWORD dwError)
{
    m_readFaults[Key(path)] = Fault{dwError, -1};
}

void FakeFileServices::FailCreateDirectory(const std::string& path, DWORD dwError)
{
    m_createFaults[Key(path)] = Fault{dwError, -1};
}

void FakeFileServices::FailCopy(const std::string& path, DWORD dwError)
{
    m_copyFaults[Key(path)] = Fault{dwError, -1};
}

void FakeFileServices::AbortCopy(const std::string& path)
{
    m_abortCopies.push_back(Key(path));
}

void FakeFileServices::FailRemove(const std::string& path, DWORD dwError)
{
    m_removeFaults[Key(path)] = Fault{dwError, -1};
}

void FakeFileServices::FailRename(const std::string& path, DWORD dwError)
{
    m_renameFaults[Key(path)] = Fault{dwError, -1};
}

void FakeFileServices::FailDeleteTree(const std::string& path, DWORD dwError)
{
    m_deleteTreeFaults[Key(path)] = Fault{dwError, -1};
}

void FakeFileServices::QueueMessageBoxAnswer(int nAnswer)
{
    m_messageBoxAnswers.push_back(nAnswer);
}

// ---- FileServices -------------------------------------------------------

BOOL FakeFileServices::GetStatus(const char* pszPath, CFileStatus& status, BOOL)
{
    ++m_nStatusQueries;
    std::string key = Key(pszPath);
    DWORD dwError = 0;
    if (DriveFault(key, dwError) || Strike(m_statusFaults, key, dwError))
        return Fail(dwError);
    std::map<std::string, Node>::const_iterator it = m_nodes.find(key);
    if (it == m_nodes.end())
        return Fail(FAKE_ERROR_NOT_FOUND);
    status.m_mtime = CTime(it->second.mtime);
    status.m_size = static_cast<long long>(it->second.content.size());
    status.m_attribute = static_cast<BYTE>((it->second.bFolder ? FILE_ATTR_DIRECTORY : FILE_ATTR_ARCHIVE) |
                                           it->second.attributes);
    return TRUE;
}

DWORD FakeFileServices::GetLastError()
{
    return m_dwLastError;
}

DirectoryReader* FakeFileServices::OpenDirectory(const char* pszPattern)
{
    std::string pattern = pszPattern;
    static const std::string ALL = "*.*";
    bool bListing = pattern.size() > ALL.size() && pattern.compare(pattern.size() - ALL.size(), ALL.size(), ALL) == 0 &&
        LastSeparator(pattern) == pattern.size() - ALL.size() - 1;
    std::string key = Key(bListing ? pattern.substr(0, pattern.size() - ALL.size()) : pattern);
    DWORD dwError = 0;
    if (DriveFault(key, dwError) || (bListing && Strike(m_listFaults, key, dwError))) {
        Fail(dwError);
        return nullptr;
    }
    std::map<std::string, Node>::const_iterator it = m_nodes.find(key);
    if (it == m_nodes.end() || (bListing && !it->second.bFolder)) {
        Fail(FAKE_ERROR_NOT_FOUND);
        return nullptr;
    }
    std::vector<DirEntry> entries;
    if (!bListing) {
        entries.push_back(MakeEntry(Name(key), it->second.bFolder));
    } else {
        entries.push_back(MakeEntry(".", true));
        entries.push_back(MakeEntry("..", true));
        std::vector<std::string> names = Children(key);
        for (size_t i = 0; i < names.size(); ++i) {
            std::string child = key.size() == 1 && key[0] == PATH_SEP ? key + names[i] : key + PATH_SEP + names[i];
            entries.push_back(MakeEntry(names[i], m_nodes[child].bFolder));
        }
    }
    return new FakeDirectoryReader(entries);
}

BOOL FakeFileServices::CanList(const char* pszFolder)
{
    std::string key = Key(pszFolder);
    DWORD dwError = 0;
    if (DriveFault(key, dwError) || Strike(m_listFaults, key, dwError))
        return Fail(dwError);
    return IsFolder(key) ? TRUE : Fail(FAKE_ERROR_NOT_FOUND);
}

BOOL FakeFileServices::CanRead(const char* pszPath, BOOL)
{
    std::string key = Key(pszPath);
    DWORD dwError = 0;
    if (DriveFault(key, dwError) || Strike(m_readFaults, key, dwError))
        return Fail(dwError);
    if (IsFile(key))
        return TRUE;
    return Fail(IsFolder(key) ? FAKE_ERROR_ACCESS_DENIED : FAKE_ERROR_NOT_FOUND);
}

BOOL FakeFileServices::Exists(const char* pszPath)
{
    std::string key = Key(pszPath);
    DWORD dwError = 0;
    if (DriveFault(key, dwError) || Strike(m_statusFaults, key, dwError))
        return Fail(dwError);
    return m_nodes.count(key) != 0 ? TRUE : Fail(FAKE_ERROR_NOT_FOUND);
}

BOOL FakeFileServices::CreateDirectory(const char* pszPath)
{
    ++m_nWrites;
    std::string key = Key(pszPath);
    std::string parent = Parent(key);
    DWORD dwError = 0;
    if (DriveFault(key, dwError) || Strike(m_createFaults, key, dwError)) {
    } else if (m_nodes.count(key) != 0) {
        dwError = FAKE_ERROR_EXISTS;
    } else if (!parent.empty() && !IsFolder(parent)) {
        dwError = FAKE_ERROR_NOT_FOUND;
    }
    if (dwError == 0) {
        m_nodes[key] = Node{true, 0, std::string(), 0};
        m_createdFolders.push_back(pszPath);
    } else {
        Fail(dwError);
    }
    Event(std::string("mkdir ") + pszPath, dwError == 0);
    return dwError == 0;
}

int FakeFileServices::CopyFile(const char* pszFrom, const char* pszTo, UINT nFlags, BOOL* pbAborted, BOOL)
{
    ++m_nWrites;
    m_copyFlags.push_back(nFlags);
    if (pbAborted != nullptr)
        *pbAborted = FALSE;
    std::string from = Key(pszFrom);
    std::string to = Key(pszTo);
    std::string event = std::string("copy ") + pszFrom + " -> " + pszTo;

    DWORD dwError = 0;
    bool bAborted = false;
    for (size_t i = 0; i < m_abortCopies.size(); ++i) {
        if (m_abortCopies[i] == from || m_abortCopies[i] == to)
            bAborted = true;
    }
    std::map<std::string, Node>::const_iterator source = m_nodes.find(from);
    if (DriveFault(from, dwError) || DriveFault(to, dwError)) {
    } else if (bAborted) {
        dwError = FAKE_ERROR_CANCELLED;
        if (pbAborted != nullptr)
            *pbAborted = TRUE;
    } else if (Strike(m_copyFaults, from, dwError) || Strike(m_copyFaults, to, dwError)) {
    } else if (source == m_nodes.end()) {
        dwError = FAKE_ERROR_NOT_FOUND;
    } else if (source->second.bFolder || IsFolder(to)) {
        dwError = FAKE_ERROR_ACCESS_DENIED;
    } else {
        // The destination's folders are made as the shell makes them; a
        // file in their place stops the copy.
        for (std::string parent = Parent(to); !parent.empty(); parent = Parent(parent)) {
            if (IsFile(parent)) {
                dwError = FAKE_ERROR_NOT_FOUND;
                break;
            }
        }
    }
    if (dwError != 0) {
        Fail(dwError);
        Event(event, FALSE);
        return static_cast<int>(dwError);
    }
    Node copy = source->second;
    MakeParents(to);
    m_nodes[to] = copy;
    m_copied.push_back(FromTo(pszFrom, pszTo));
    Event(event, TRUE);
    return 0;
}

BOOL FakeFileServices::DeleteTree(const char* pszPath)
{
    ++m_nWrites;
    std::string key = Key(pszPath);
    DWORD dwError = 0;
    BOOL bOk = !(DriveFault(key, dwError) || Strike(m_deleteTreeFaults, key, dwError));
    if (bOk) {
        EraseTree(key);
        m_deletedTrees.push_back(pszPath);
    } else {
        Fail(dwError);
    }
    Event(std::string("deltree ") + pszPath, bOk);
    return bOk;
}

BOOL FakeFileServices::RemoveFile(const char* pszPath)
{
    ++m_nWrites;
    std::string key = Key(pszPath);
    DWORD dwError = 0;
    if (DriveFault(key, dwError) || Strike(m_removeFaults, key, dwError)) {
    } else if (IsFolder(key)) {
        dwError = FAKE_ERROR_ACCESS_DENIED;
    } else if (!IsFile(key)) {
        dwError = FAKE_ERROR_NOT_FOUND;
    }
    if (dwError == 0) {
        m_nodes.erase(key);
        m_removed.push_back(pszPath);
    } else {
        Fail(dwError);
    }
    Event(std::string("remove ") + pszPath, dwError == 0);
    return dwError == 0;
}

BOOL FakeFileServices::RenameFile(const char* pszFrom, const char* pszTo)
{
    ++m_nWrites;
    std::string from = Key(pszFrom);
    std::string to = Key(pszTo);
    std::string parent = Parent(to);
    DWORD dwError = 0;
    if (DriveFault(from, dwError) || DriveFault(to, dwError) || Strike(m_renameFaults, from, dwError) ||
        Strike(m_renameFaults, to, dwError)) {
    } else if (m_nodes.count(from) == 0) {
        dwError = FAKE_ERROR_NOT_FOUND;
    } else if (m_nodes.count(to) != 0) {
        dwError = FAKE_ERROR_EXISTS;
    } else if (!parent.empty() && !IsFolder(parent)) {
        dwError = FAKE_ERROR_NOT_FOUND;
    } else if (IsBelow(to, from)) {
        dwError = FAKE_ERROR_ACCESS_DENIED;
    }
    if (dwError == 0) {
        std::map<std::string, Node> moved;
        for (std::map<std::string, Node>::iterator it = m_nodes.begin(); it != m_nodes.end();) {
            if (IsBelow(it->first, from)) {
                moved[to + it->first.substr(from.size())] = it->second;
                it = m_nodes.erase(it);
            } else {
                ++it;
            }
        }
        m_nodes.insert(moved.begin(), moved.end());
        m_renamed.push_back(FromTo(pszFrom, pszTo));
    } else {
        Fail(dwError);
    }
    Event(std::string("rename ") + pszFrom + " -> " + pszTo, dwError == 0);
    return dwError == 0;
}

void FakeFileServices::ShellOpen(const char* pszCommand)
{
    m_shellOpens.push_back(pszCommand);
}

void FakeFileServices::FlushFileSystem(const char* pszPath)
{
    m_flushed.push_back(pszPath);
}

int FakeFileServices::ShowMessageBox(const char* pszText, const char* pszCaption, UINT nStyle)
{
    m_messageBoxes.push_back(MessageBoxCall{pszText, pszCaption, nStyle});
    if (m_messageBoxAnswers.empty())
        return IDCANCEL;
    int nAnswer = m_messageBoxAnswers.front();
    m_messageBoxAnswers.erase(m_messageBoxAnswers.begin());
    return nAnswer;
}
