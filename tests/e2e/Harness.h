// End-to-end harness: runs the real program (the native one, or the Windows
// one under Wine) in a fresh temporary folder and reads back what it left.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "support/TestFiles.h"

class Scenario : public testing::Test {
protected:
    // Every program started and not yet waited for is killed and reaped
    // here, so that a failed assertion never leaves one running.
    ~Scenario() override;

    static bool IsWindows();
    // The program was built with the sanitizers (which need far more
    // address space than a plain build).
    static bool IsSanitized();
    static char Sep() { return IsWindows() ? '\\' : '/'; }

    // A name inside the folder ("" is the folder) as the host sees it, and
    // as the program sees it (Z:\... under Wine).
    std::string HostPath(const std::string& rel) const;
    std::string ProgramPath(const std::string& rel) const;

    // Tandemix.ini from UTF-8 text: Shift-JIS with CR LF for the Windows
    // program, as given for the native one.
    void WriteIni(const std::string& utf8Text) const;
    // Makes missing folders; a non-zero mtime dates the file.
    void WriteFile(const std::string& rel, const std::string& bytes, time_t mtime = 0) const;
    std::string ReadFile(const std::string& rel) const { return ReadFileBytes(HostPath(rel)); }
    bool Exists(const std::string& rel) const;
    Lines ListTree(const std::string& rel = "") const { return ::ListTree(HostPath(rel)); }
    // How many files below rel have part in their path.
    size_t CountFiles(const std::string& rel, const std::string& part = "") const;

    // Runs the program to its end; its exit status (-1 on timeout).
    // pfnInChild, when given, runs in the new process just before the
    // program starts (to set limits, say); one that does not return makes
    // the process a helper of its own, ended like the program.
    int Run(void (*pfnInChild)() = nullptr) const { return Wait(Start(pfnInChild)); }
    // args are the program's arguments.
    pid_t Start(void (*pfnInChild)() = nullptr, const Lines& args = {}) const;
    int Wait(pid_t pid) const;
    // Run, with the program's stderr kept in stderr.txt of the folder.
    int RunKeepingStderr(void (*pfnInChild)() = nullptr, const Lines& args = {}) const;
    Lines StderrLines() const { return SplitLines(ReadFile("stderr.txt")); }

    // Polls until bDone() holds, for at most nSeconds; whether it held.
    static bool WaitUntil(const std::function<bool()>& bDone, int nSeconds = 60);

private:
    TempDir m_dir;
    mutable std::vector<pid_t> m_running;
};

// Unmounts what a test mounted, whatever the outcome; a file system still
// busy is detached and goes when it is free.
struct Mounted {
    std::string path;
    ~Mounted();
};

// An old enough time for every file that a test dates itself.
const time_t BASE_TIME = 1600000000;

// Backup runs: settings with a log ("run.log"), the display level (no
// window by default), and given sets.
class Backup : public Scenario {
protected:
    void WriteSettings(const Lines& sets, const std::string& general = "", int nLevel = 0) const;
    // A set's source and destination lines, and any further lines.
    std::string Set(const std::string& src, const std::string& dst, const std::string& more = "") const;
    std::string CopyLine(const std::string& src, const std::string& dst) const;
    // A relative path with the program's separator, as the log shows it.
    std::string Rel(std::string rel) const;
    // The run log as UTF-8 lines without their time stamps.
    Lines Log() const { return ReadLogTexts(HostPath("run.log"), IsWindows() ? 1 : 0); }
};

