// Makes a folder the process's current directory for the length of a test
// and puts the previous one back afterwards, for code that looks for its
// files in the current directory.
#pragma once

#include <filesystem>

class CurrentDir {
public:
    explicit CurrentDir(const std::filesystem::path& folder);
    ~CurrentDir();

    // False when the folder could not be made current (the test then skips
    // or fails, as it sees fit); the previous directory is kept.
    bool IsChanged() const { return m_bChanged; }

private:
    CurrentDir(const CurrentDir&) = delete;
    CurrentDir& operator=(const CurrentDir&) = delete;

    std::filesystem::path m_previous;
    bool m_bChanged;
};
