// The engine's tests: the test file services in force, settings without a
// file, a real run log in a temporary folder, and the run's flags cleared.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "engine/RunState.h"
#include "config/BackupConfig.h"
#include "log/RunLog.h"
#include "support/FakeFileServices.h"

class EngineTest : public testing::Test {
protected:
    EngineTest() : m_use(m_fake), m_config("tandemix-engine-test-no-such.ini")
    {
        m_config.m_bShowShellProgress = 0;
        g_pConfig = &m_config;
        ResetRunState();
        EXPECT_TRUE(OpenRunLog(m_temp.Join("run.log").c_str()));
    }

    ~EngineTest() override
    {
        CloseRunLog();
        ResetRunState();
        g_pConfig = nullptr;
    }

    // A fresh run in the same test: the flags cleared and the log begun
    // again.
    void RestartRun()
    {
        CloseRunLog();
        ResetRunState();
        EXPECT_TRUE(OpenRunLog(m_temp.Join("run.log").c_str()));
    }

    // Set n (from 1), replacing any set n made before (which has no lists);
    // the settings own it.
    BackupSet* AddSet(int n, const std::string& source, const std::string& dest, const char* pszAfter = "")
    {
        BackupSet* pSet = new BackupSet();
        snprintf(pSet->szSource, sizeof pSet->szSource, "%s", source.c_str());
        snprintf(pSet->szDest, sizeof pSet->szDest, "%s", dest.c_str());
        snprintf(pSet->szAfterCommand, sizeof pSet->szAfterCommand, "%s", pszAfter);
        delete m_config.m_pSets[n - 1];
        m_config.m_pSets[n - 1] = pSet;
        m_config.m_nSetCount = static_cast<short>(std::max<int>(m_config.m_nSetCount, n));
        return pSet;
    }

    // The run log so far, without time stamps; closes it.
    Lines LogLines()
    {
        CloseRunLog();
        return ReadLogTexts(m_temp.Join("run.log"));
    }

    FakeFileServices m_fake;
    ScopedFileServices m_use;
    TempDir m_temp;
    CBackupConfig m_config;
};

// A path written Windows-style with forward slashes ("D:/bk/a.txt"): the
// same with backslashes on Windows, "/D/bk/a.txt" on POSIX, where drive
// letters and shares do not exist.
inline std::string WinPath(const std::string& path)
{
    if (PATH_SEP == '\\')
        return NativePath(path);
    std::string posix = "/" + path;
    size_t nColon = posix.find(':');
    if (nColon != std::string::npos && posix.find('/', 1) > nColon)
        posix.erase(nColon, 1);
    return posix;
}
