// A fixture for the backup engine's tests: an in-memory disk in force,
// settings without a file, a real run log in a temporary folder, and the
// run's flags cleared before and after each test.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/Globals.h"
#include "config/BackupConfig.h"
#include "log/RunLog.h"
#include "support/FakeFileServices.h"
#include "support/TempDir.h"

// The fake, with a cancel that arrives while a given file is copied or a
// given folder is listed, as the Cancel button or a signal would.
class CancellingFake : public FakeFileServices {
public:
    std::string m_cancelWhenCopying;  // source path
    std::string m_cancelWhenListing;  // the start of a listing's pattern

    DirectoryReader* OpenDirectory(const char* pszPattern) override
    {
        if (!m_cancelWhenListing.empty() && std::string(pszPattern).rfind(m_cancelWhenListing, 0) == 0)
            g_bCancel = 1;
        return FakeFileServices::OpenDirectory(pszPattern);
    }

    int CopyFile(const char* pszFrom, const char* pszTo, UINT nFlags, BOOL* pbAborted,
                 BOOL bFollowLink = FALSE) override
    {
        int nResult = FakeFileServices::CopyFile(pszFrom, pszTo, nFlags, pbAborted, bFollowLink);
        if (!m_cancelWhenCopying.empty() && m_cancelWhenCopying == pszFrom)
            g_bCancel = 1;
        return nResult;
    }
};

class EngineTest : public testing::Test {
protected:
    EngineTest() : m_use(m_fake), m_pPreviousConfig(g_pConfig)
    {
        // A name that no folder holds: the settings keep their defaults.
        m_pConfig = new CBackupConfig("tandemix-engine-test-no-such.ini");
        m_pConfig->m_bShowShellProgress = 0;
        g_pConfig = m_pConfig;
        ResetFlags();
        EXPECT_TRUE(OpenRunLog(m_temp.Join("run.log").c_str()));
    }

    ~EngineTest() override
    {
        CloseRunLog();
        ResetFlags();
        g_pConfig = m_pPreviousConfig;
        delete m_pConfig;
    }

    static void ResetFlags()
    {
        g_bCancel = 0;
        g_bRunFailed = 0;
        g_bRunAborted = 0;
    }

    // Adds set n (from 1) with a source and a destination; the settings own it.
    BackupSet* AddSet(int n, const std::string& source, const std::string& dest)
    {
        BackupSet* pSet = new BackupSet();
        EXPECT_LT(source.size(), sizeof(pSet->szSource));
        EXPECT_LT(dest.size(), sizeof(pSet->szDest));
        memcpy(pSet->szSource, source.c_str(), std::min(source.size(), sizeof(pSet->szSource) - 1));
        memcpy(pSet->szDest, dest.c_str(), std::min(dest.size(), sizeof(pSet->szDest) - 1));
        // Replacing a set is not needed: a slot is filled once.
        EXPECT_EQ(nullptr, m_pConfig->m_pSets[n - 1]);
        m_pConfig->m_pSets[n - 1] = pSet;
        if (m_pConfig->m_nSetCount < n)
            m_pConfig->m_nSetCount = static_cast<short>(n);
        return pSet;
    }

    static void AddExcludedExt(BackupSet* pSet, const char* pszExt) { AddEntry(pSet->pszExcludedExt, pSet->nExcludedExtCount, pszExt); }
    static void AddExcludedFolder(BackupSet* pSet, const char* pszName)
    {
        AddEntry(pSet->pszExcludedFolder, pSet->nExcludedFolderCount, pszName);
    }

    // The run log so far, each line without its time stamp.
    std::vector<std::string> LogLines()
    {
        CloseRunLog();
        std::string text = ReadFileBytes(m_temp.Join("run.log"));
        std::vector<std::string> lines;
        size_t nStart = 0;
        while (nStart < text.size()) {
            size_t nEnd = text.find('\n', nStart);
            if (nEnd == std::string::npos)
                nEnd = text.size();
            std::string line = text.substr(nStart, nEnd - nStart);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line.size() >= 21 ? line.substr(21) : line);
            nStart = nEnd + 1;
        }
        return lines;
    }

    static bool HasLine(const std::vector<std::string>& lines, const std::string& line)
    {
        for (const std::string& l : lines) {
            if (l == line)
                return true;
        }
        return false;
    }

    static size_t CountPrefix(const std::vector<std::string>& lines, const std::string& prefix)
    {
        size_t n = 0;
        for (const std::string& l : lines)
            n += l.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }

    CancellingFake m_fake;
    ScopedFileServices m_use;
    TempDir m_temp;
    CBackupConfig* m_pConfig;

private:
    static void AddEntry(char** ppszList, short& nCount, const char* pszText)
    {
        size_t nLength = strlen(pszText);
        char* pszCopy = new char[nLength + 1];
        memcpy(pszCopy, pszText, nLength + 1);
        ppszList[nCount++] = pszCopy;
    }

    CBackupConfig* m_pPreviousConfig;
};

// Forward slashes turned into the platform's separator.
inline std::string P(const std::string& path)
{
    return NativePath(path);
}

// A path written Windows-style with forward slashes ("D:/bk/a.txt"): the
// same on Windows with backslashes, "/D/bk/a.txt" on POSIX, where drive
// letters do not exist.
inline std::string A(const std::string& path)
{
    if (PATH_SEP == '\\')
        return NativePath(path);
    std::string posix = "/" + path;
    size_t nColon = posix.find(':');
    if (nColon != std::string::npos && posix.find('/', 1) > nColon)
        posix.erase(nColon, 1);
    return posix;
}
