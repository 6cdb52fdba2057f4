// End-to-end harness: runs the real program (the native one, or the Windows
// one under Wine) in a fresh temporary folder and reads back what it left.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <string>
#include <vector>

struct ProgramUnderTest {
    bool bWindows = false;
    std::string path;      // the program
    std::string wineRun;   // scripts/wine-run, for the Windows program
};

// Set by main() from --program=native:PATH or --program=windows:PATH.
const ProgramUnderTest& Program();

// A temporary folder with a Tandemix.ini, in which the program runs.
class Scenario : public testing::Test {
protected:
    Scenario();
    ~Scenario() override;

    bool IsWindows() const { return Program().bWindows; }
    char Sep() const { return IsWindows() ? '\\' : '/'; }

    // Absolute host path of a name inside the folder ("" is the folder).
    std::string HostPath(const std::string& rel) const;
    // The same place as the program sees it (Z:\... under Wine).
    std::string ProgramPath(const std::string& rel) const;

    // Writes Tandemix.ini from UTF-8 text: Shift-JIS with CR LF for the
    // Windows program, UTF-8 as given for the native one.
    void WriteIni(const std::string& utf8Text) const;

    void WriteFile(const std::string& rel, const std::string& bytes) const;
    std::string ReadFile(const std::string& rel) const;
    bool Exists(const std::string& rel) const;
    void MakeFolder(const std::string& rel) const;
    void SetMTime(const std::string& rel, time_t t) const;
    time_t GetMTime(const std::string& rel) const;
    // Every entry below the folder, relative, sorted; folders end with '/'.
    std::vector<std::string> ListTree(const std::string& rel = "") const;

    // Runs the program to its end; returns its exit status (-1 on timeout).
    int Run(int timeoutSeconds = 120) const;
    // Starts it without waiting; Wait() collects it.
    pid_t Start() const;
    int Wait(pid_t pid, int timeoutSeconds = 120) const;

    // The run log as UTF-8 lines, each without its time stamp; the raw bytes
    // are checked separately where they matter.
    std::vector<std::string> ReadLogLines(const std::string& rel) const;

    // Text as the program writes it (Shift-JIS for Windows) and back.
    std::string ToProgramText(const std::string& utf8) const;
    std::string FromProgramText(const std::string& bytes) const;

private:
    std::string m_dir;
};

// TRUE when line is prefix followed by a lower-case hexadecimal number, which
// goes into *pValue.
bool EndsWithLowerHex(const std::string& line, const std::string& prefix, unsigned long* pValue);

// Converts between encodings with iconv (e.g. "UTF-8" -> "CP932").
std::string ConvertEncoding(const std::string& in, const char* from, const char* to);
