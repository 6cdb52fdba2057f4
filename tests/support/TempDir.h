// A fresh temporary folder for one test, removed with everything in it when
// the test ends, and a few helpers to lay out and read back files in it.
//
// Paths are the program's narrow strings (the ANSI code page on Windows,
// UTF-8 on POSIX), so a test can use the same names the program will meet.
#pragma once

#include <ctime>
#include <string>

class TempDir {
public:
    TempDir();
    ~TempDir();

    // The folder, without a trailing separator.  Empty if it could not be
    // made (the test then fails at its first file operation).
    const std::string& Path() const { return m_path; }

    // Path() + PATH_SEP + rel.  rel may hold further separators.
    std::string Join(const std::string& rel) const;

private:
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string m_path;
};

// Writes (replaces) a file with exactly these bytes; false on failure.
bool WriteFileBytes(const std::string& path, const std::string& bytes);

// The whole content of a file; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);

// Sets a file's modification (and access) time; false on failure.
bool SetFileMTime(const std::string& path, time_t mtime);
