// Real temporary folders and files for the unit tests.  Paths are ASCII, so
// that the C library's narrow calls reach the same names as the program.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// A fresh folder, removed with everything in it when the test ends.
class TempDir {
public:
    TempDir();
    ~TempDir();
    // Without a trailing separator; empty if it could not be made.
    const std::string& Path() const { return m_path; }
    std::string Join(const std::string& rel) const;

private:
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string m_path;
};

// A folder made the current directory for one scope, for code that looks
// for its files there.
class CurrentDir {
public:
    explicit CurrentDir(const std::filesystem::path& folder);
    ~CurrentDir();
    bool IsChanged() const { return m_bChanged; }

private:
    CurrentDir(const CurrentDir&) = delete;
    CurrentDir& operator=(const CurrentDir&) = delete;
    std::filesystem::path m_previous;
    bool m_bChanged = false;
};

bool WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);  // empty when unreadable

typedef std::vector<std::string> Lines;

// Every entry below folder, relative and sorted; folders end with '/'.
Lines ListTree(const std::string& folder);

// The run log's lines (UTF-8) without their time stamps and line ends.  The
// log is Shift-JIS when bShiftJis is 1, UTF-8 when 0, and as this build
// writes it when -1.
Lines ReadLogTexts(const std::string& path, int bShiftJis = -1);
// The lines of text, without their line ends (LF or CR LF).
Lines SplitLines(const std::string& text);
// How many lines start with prefix.
size_t CountPrefix(const Lines& lines, const std::string& prefix);

// Every `from` byte becomes PATH_SEP.  Only for strings in which every such
// byte is a separator: tables holding a Shift-JIS second byte 0x5C are
// written with backslashes and converted with from = '\\'.
std::string NativePath(const std::string& path, char from = '/');
