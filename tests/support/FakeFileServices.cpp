#include "support/FakeFileServices.h"

#include <gtest/gtest.h>
#include <utime.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/RunState.h"

namespace {

// Without trailing separators.
std::string Key(std::string path)
{
    while (path.size() > 1 && path.back() == PATH_SEP)
        path.pop_back();
    return path;
}

// Whether path is top or lies below it.
bool IsBelow(const std::string& path, const std::string& top)
{
    const std::string key = Key(path);
    const std::string topKey = Key(top);
    return key.compare(0, topKey.size(), topKey) == 0 && (key.size() == topKey.size() || key[topKey.size()] == PATH_SEP);
}

// Gives the entries, then ends, or breaks off with dwError when it is set.
class SortedReader : public DirectoryReader {
public:
    SortedReader(std::vector<DirEntry> entries, DWORD dwError) : m_entries(std::move(entries)) { m_dwError = dwError; }
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

}  // namespace

std::string FakeFileServices::Place(const std::string& path) const
{
    if (!m_bMapPaths)
        return path;
    std::string rel = path;
    rel.erase(std::remove(rel.begin(), rel.end(), ':'), rel.end());
    rel.erase(0, std::min(rel.size(), rel.find_first_not_of(PATH_SEP)));
    return m_root.Join(rel);
}

void FakeFileServices::AddFile(const std::string& path, time_t mtime, const std::string& content)
{
    const std::string place = Place(path);
    AddFolder(path.substr(0, path.find_last_of(PATH_SEP) + 1));
    EXPECT_TRUE(WriteFileBytes(place, content)) << path;
    struct utimbuf times = {mtime, mtime};
    EXPECT_EQ(0, utime(place.c_str(), &times)) << path;
}

// The error of the first live fault of this kind on the path, or of a
// drive fault above it; 0 when none strikes.
DWORD FakeFileServices::Strike(FaultKind nKind, const std::string& path)
{
    for (Fault& fault : m_faults) {
        bool bHits = fault.nKind == FAIL_DRIVE ? IsBelow(path, fault.path) : fault.nKind == nKind && Key(path) == Key(fault.path);
        if (bHits && fault.nTimes != 0) {
            fault.nTimes -= fault.nTimes > 0 ? 1 : 0;
            m_dwLastError = fault.dwError;
            return fault.dwError;
        }
    }
    return 0;
}

bool FakeFileServices::StrikeChange(const std::string& path, bool bTree)
{
    ++m_nChanges;
    if ((m_nStopAfter < 0 || m_nChanges <= m_nStopAfter) &&
        std::find(m_failingChanges.begin(), m_failingChanges.end(), m_nChanges) == m_failingChanges.end())
        return false;
    std::error_code ec;
    if (bTree) {
        for (std::filesystem::recursive_directory_iterator it(Place(path), ec), end; it != end; it.increment(ec)) {
            if (it->is_regular_file(ec)) {
                std::filesystem::remove(it->path(), ec);
                break;
            }
        }
    }
    m_bChangeFailed = true;
    m_dwLastError = FAKE_ERROR_ACCESS_DENIED;
    return true;
}

DirectoryReader* FakeFileServices::OpenDirectory(const char* pszPattern)
{
    const std::string pattern = pszPattern;
    if (!CanList(pattern.substr(0, pattern.find_last_of(PATH_SEP) + 1).c_str()))
        return nullptr;
    std::unique_ptr<DirectoryReader> pReal(Real().OpenDirectory(Place(pattern).c_str()));
    if (pReal == nullptr) {
        Result(FALSE);
        return nullptr;
    }
    std::vector<DirEntry> entries;
    for (DirEntry entry; pReal->Next(entry);)
        entries.push_back(entry);
    std::sort(entries.begin(), entries.end(),
              [](const DirEntry& a, const DirEntry& b) { return strcmp(a.szName, b.szName) < 0; });
    DWORD dwBreak = Strike(FAIL_LISTING, pattern.substr(0, pattern.find_last_of(PATH_SEP) + 1));
    if (dwBreak != 0)
        entries.resize(std::min<size_t>(entries.size(), 1));
    return new SortedReader(entries, dwBreak != 0 ? dwBreak : pReal->GetError());
}

BOOL FakeFileServices::IsCaseInsensitive(const char* pszFolder)
{
    return (!m_foldingCase.empty() && IsBelow(pszFolder, m_foldingCase)) ||
           Result(Real().IsCaseInsensitive(Place(pszFolder).c_str()));
}

int FakeFileServices::CopyFile(const char* pszFrom, const char* pszTo, UINT nFlags, BOOL* pbAborted, BOOL bFollowLink)
{
    *pbAborted = FALSE;
    BOOL bOk = !StrikeChange(pszTo) && !Strike(FAIL_COPY, pszFrom) && !Strike(FAIL_DRIVE, pszFrom) && !Strike(FAIL_DRIVE, pszTo) &&
               Result(Real().CopyFile(Place(pszFrom).c_str(), Place(pszTo).c_str(), nFlags, pbAborted, bFollowLink) == 0);
    m_copies.push_back(pszTo);
    if (m_cancelWhenCopying == pszFrom)
        g_bCancel = 1;
    return bOk ? 0 : static_cast<int>(m_dwLastError);
}
