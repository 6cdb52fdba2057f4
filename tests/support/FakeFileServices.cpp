#include "support/FakeFileServices.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "engine/RunState.h"

namespace {

const DWORD FAKE_ERROR_EXISTS = 183;

// Without trailing separators; a lone separator is the POSIX root.
std::string Key(std::string path)
{
    while (path.size() > 1 && path.back() == PATH_SEP)
        path.pop_back();
    return path;
}

std::string Parent(const std::string& key)
{
    const size_t nSep = key.find_last_of(PATH_SEP);
    return nSep == std::string::npos || key.size() == 1 ? std::string() : key.substr(0, std::max<size_t>(nSep, 1));
}

// Whether key is top or lies below it.
bool IsBelow(const std::string& key, const std::string& top)
{
    return key.compare(0, top.size(), top) == 0 &&
        (key.size() == top.size() || key[top.size()] == PATH_SEP || top == std::string(1, PATH_SEP));
}

class FakeDirectoryReader : public DirectoryReader {
public:
    explicit FakeDirectoryReader(std::vector<DirEntry> entries) : m_entries(std::move(entries)) {}
    BOOL Next(DirEntry& entry) override
    {
        if (m_nNext >= m_entries.size())
            return FALSE;
        entry = m_entries[m_nNext++];
        return TRUE;
    }

private:
    std::vector<DirEntry> m_entries;
    size_t m_nNext = 0;
};

DirEntry MakeEntry(const std::string& name, bool bFolder)
{
    DirEntry entry = {};
    memcpy(entry.szName, name.data(), std::min(name.size(), sizeof entry.szName - 1));
    entry.bDirectory = bFolder ? TRUE : FALSE;
    return entry;
}

}  // namespace

void FakeFileServices::AddFolder(const std::string& path)
{
    Put(Key(path), Node{true, 0, std::string()});
}

void FakeFileServices::AddFile(const std::string& path, time_t mtime, const std::string& content)
{
    Put(Key(path), Node{false, mtime, content});
}

void FakeFileServices::Fail(FaultKind nKind, const std::string& path, DWORD dwError, int nTimes)
{
    m_faults.push_back(Fault{nKind, Key(path), dwError, nTimes});
}

bool FakeFileServices::IsFolder(const std::string& path) const
{
    const Node* pNode = Find(Key(path));
    return pNode != nullptr && pNode->bFolder;
}

std::string FakeFileServices::Content(const std::string& path) const
{
    const Node* pNode = Find(Key(path));
    return pNode != nullptr && !pNode->bFolder ? pNode->content : std::string();
}

std::vector<std::string> FakeFileServices::AllPaths() const
{
    std::vector<std::string> paths;
    for (const auto& node : m_nodes)
        paths.push_back(node.second.bFolder && node.first.size() > 1 ? node.first + PATH_SEP : node.first);
    return paths;
}

// The error of the first live fault of this kind on the path, or of a
// drive fault above it; 0 when none strikes.
DWORD FakeFileServices::Strike(FaultKind nKind, const std::string& key)
{
    for (Fault& fault : m_faults) {
        bool bHits = fault.nKind == FAIL_DRIVE ? IsBelow(key, fault.key) : fault.nKind == nKind && fault.key == key;
        if (bHits && fault.nTimes != 0) {
            fault.nTimes -= fault.nTimes > 0 ? 1 : 0;
            return fault.dwError;
        }
    }
    return 0;
}

BOOL FakeFileServices::Refuse(DWORD dwError)
{
    m_dwLastError = dwError;
    return FALSE;
}

BOOL FakeFileServices::Done(const std::string& event, DWORD dwError)
{
    m_events.push_back(dwError == 0 ? event : event + " FAILED");
    return dwError == 0 ? TRUE : Refuse(dwError);
}

// Replaces whatever was at key, making missing parent folders.
void FakeFileServices::Put(const std::string& key, const Node& node)
{
    EraseTree(key);
    for (std::string parent = Parent(key); !parent.empty() && Find(parent) == nullptr; parent = Parent(parent))
        m_nodes[parent] = Node{true, 0, std::string()};
    m_nodes[key] = node;
}

// A tree's nodes lie together in the map, among others that share the
// start of their names.
void FakeFileServices::EraseTree(const std::string& key)
{
    for (auto it = m_nodes.lower_bound(key); it != m_nodes.end() && it->first.compare(0, key.size(), key) == 0;)
        it = IsBelow(it->first, key) ? m_nodes.erase(it) : std::next(it);
}

const FakeFileServices::Node* FakeFileServices::Find(const std::string& key) const
{
    auto it = m_nodes.find(key);
    return it != m_nodes.end() ? &it->second : nullptr;
}

BOOL FakeFileServices::GetStatus(const char* pszPath, CFileStatus& status, BOOL)
{
    const Node* pNode = Find(Key(pszPath));
    if (DWORD dwError = Strike(FAIL_STATUS, Key(pszPath)))
        return Refuse(dwError);
    if (pNode == nullptr)
        return Refuse(FAKE_ERROR_NOT_FOUND);
    status.m_mtime = CTime(pNode->mtime);
    status.m_size = static_cast<long long>(pNode->content.size());
    status.m_attribute = pNode->bFolder ? FILE_ATTR_DIRECTORY : FILE_ATTR_ARCHIVE;
    return TRUE;
}

DirectoryReader* FakeFileServices::OpenDirectory(const char* pszPattern)
{
    const std::string pattern = pszPattern;
    const std::string key = Key(pattern.substr(0, pattern.find_last_of(PATH_SEP) + 1));
    if (!CanList(key.c_str()))
        return nullptr;
    std::vector<DirEntry> entries = {MakeEntry(".", true), MakeEntry("..", true)};
    for (auto it = m_nodes.upper_bound(key); it != m_nodes.end() && it->first.compare(0, key.size(), key) == 0; ++it) {
        if (Parent(it->first) == key)
            entries.push_back(MakeEntry(it->first.substr(it->first.find_last_of(PATH_SEP) + 1), it->second.bFolder));
    }
    return new FakeDirectoryReader(entries);
}

BOOL FakeFileServices::GetIdentity(const char* pszPath, FileIdentity& identity)
{
    const std::string key = Key(pszPath);
    if (DWORD dwError = Strike(FAIL_STATUS, key))
        return Refuse(dwError);
    if (Find(key) == nullptr)
        return Refuse(FAKE_ERROR_NOT_FOUND);
    identity.nVolume = 0;
    identity.nIndex = std::hash<std::string>()(key);
    return TRUE;
}

BOOL FakeFileServices::CanList(const char* pszFolder)
{
    if (DWORD dwError = Strike(FAIL_LIST, Key(pszFolder)))
        return Refuse(dwError);
    return IsFolder(pszFolder) ? TRUE : Refuse(FAKE_ERROR_NOT_FOUND);
}

BOOL FakeFileServices::CanRead(const char* pszPath, BOOL)
{
    if (DWORD dwError = Strike(FAIL_READ, Key(pszPath)))
        return Refuse(dwError);
    const Node* pNode = Find(Key(pszPath));
    return pNode != nullptr && !pNode->bFolder ? TRUE : Refuse(FAKE_ERROR_ACCESS_DENIED);
}

BOOL FakeFileServices::Exists(const char* pszPath)
{
    if (DWORD dwError = Strike(FAIL_STATUS, Key(pszPath)))
        return Refuse(dwError);
    return Find(Key(pszPath)) != nullptr ? TRUE : Refuse(FAKE_ERROR_NOT_FOUND);
}

BOOL FakeFileServices::CreateDirectory(const char* pszPath)
{
    const std::string key = Key(pszPath);
    DWORD dwError = Strike(FAIL_DRIVE, key);
    if (dwError == 0 && (Find(key) != nullptr || !IsFolder(Parent(key))))
        dwError = Find(key) != nullptr ? FAKE_ERROR_EXISTS : FAKE_ERROR_NOT_FOUND;
    if (dwError == 0)
        m_nodes[key] = Node{true, 0, std::string()};
    return Done(std::string("mkdir ") + pszPath, dwError);
}

int FakeFileServices::CopyFile(const char* pszFrom, const char* pszTo, UINT, BOOL* pbAborted, BOOL)
{
    const Node* pSource = Find(Key(pszFrom));
    DWORD dwError = Strike(FAIL_DRIVE, Key(pszFrom));
    if (dwError == 0)
        dwError = Strike(FAIL_DRIVE, Key(pszTo));
    if (dwError == 0 && (pSource == nullptr || pSource->bFolder || IsFolder(pszTo)))
        dwError = FAKE_ERROR_ACCESS_DENIED;
    if (dwError == 0)
        Put(Key(pszTo), Node(*pSource));
    *pbAborted = FALSE;
    if (m_cancelWhenCopying == pszFrom)
        g_bCancel = 1;
    return Done(std::string("copy ") + pszFrom + " -> " + pszTo, dwError) ? 0 : static_cast<int>(dwError);
}

BOOL FakeFileServices::DeleteTree(const char* pszPath)
{
    EraseTree(Key(pszPath));
    return Done(std::string("deltree ") + pszPath, 0);
}

BOOL FakeFileServices::RemoveFile(const char* pszPath)
{
    const Node* pNode = Find(Key(pszPath));
    DWORD dwError = 0;
    if (pNode == nullptr || pNode->bFolder)
        dwError = pNode == nullptr ? FAKE_ERROR_NOT_FOUND : FAKE_ERROR_ACCESS_DENIED;
    if (dwError == 0)
        m_nodes.erase(Key(pszPath));
    return Done(std::string("remove ") + pszPath, dwError);
}

BOOL FakeFileServices::RenameFile(const char* pszFrom, const char* pszTo)
{
    const std::string from = Key(pszFrom);
    const std::string to = Key(pszTo);
    DWORD dwError = Strike(FAIL_RENAME, from);
    if (dwError == 0)
        dwError = Strike(FAIL_DRIVE, to);
    if (dwError == 0 && (Find(from) == nullptr || Find(to) != nullptr || !IsFolder(Parent(to)) || IsBelow(to, from)))
        dwError = Find(to) != nullptr ? FAKE_ERROR_EXISTS : FAKE_ERROR_ACCESS_DENIED;
    if (dwError == 0) {
        std::map<std::string, Node> moved;
        for (auto it = m_nodes.lower_bound(from); it != m_nodes.end() && it->first.compare(0, from.size(), from) == 0;) {
            if (!IsBelow(it->first, from)) {
                ++it;
                continue;
            }
            moved[to + it->first.substr(from.size())] = it->second;
            it = m_nodes.erase(it);
        }
        m_nodes.insert(moved.begin(), moved.end());
    }
    return Done(std::string("rename ") + pszFrom + " -> " + pszTo, dwError);
}

int FakeFileServices::ShowMessageBox(const char* pszText, const char*, UINT)
{
    m_messages.push_back(pszText);
    return m_messages.size() <= m_answers.size() ? m_answers[m_messages.size() - 1] : IDCANCEL;
}
