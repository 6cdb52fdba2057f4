// CStdioFile: a buffered text file for the run log.  Each platform has its
// own stream behind it (StdioFile.cpp in its folder).
#pragma once

#include <string>

#include "PlatformTypes.h"
#include "platform/TextCodec.h"

class CStdioFile {
public:
    enum OpenFlags { modeWrite = 0x0001, modeCreate = 0x1000 };

    CStdioFile();
    ~CStdioFile();

    // Opens the file for writing as a new, empty file, in place of any
    // earlier one.  It is never written through a link, nor into anything
    // but a regular file; on POSIX an earlier file must belong to the run's
    // user, and gives way to a new file with its mode (a new log is 0600:
    // it lists every name backed up).  On Windows no other program may open
    // it meanwhile.  FALSE, with why saying what stood in the way, when it
    // cannot be opened.
    BOOL Open(const char* pszFileName, UINT nOpenFlags, std::string& why);

    // Writes nLength bytes of UTF-8 text; "\n" becomes the platform's line
    // end (CR LF on Windows).  The text is converted into the file's
    // encoding: on Windows always Shift-JIS.  FALSE when the write failed.
    BOOL WriteString(const char* pText, size_t nLength);

    // FALSE when something written could not reach the file.
    BOOL Close();

    // Encoding that WriteString writes in (POSIX; Windows writes Shift-JIS).
    void SetTextEncoding(TextEncoding nEncoding) { m_nEncoding = nEncoding; }

private:
    struct Stream;
    BOOL WriteBytes(const char* pBytes, size_t nLength);

    CStdioFile(const CStdioFile&) = delete;
    CStdioFile& operator=(const CStdioFile&) = delete;

    Stream* m_pStream;
    TextEncoding m_nEncoding;
};
