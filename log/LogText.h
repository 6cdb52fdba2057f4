// Text as the run log and the progress window show it.  Names come from the
// disk and may hold anything: a newline in a file name must not start what
// looks like a log line of its own, and bytes that are no text must not
// reach the window or the log as they are.
#pragma once

#include <cstddef>
#include <string>

// Copies pszText into text with what no name should show as it is written
// as an escape, one to one, so that distinct names always show distinctly:
// control characters (below 0x20, and 0x7F) as \n, \t, \r, else \xNN; each
// byte that starts no character of the program's encoding as \xNN; the C1
// controls and the bidirectional controls as \u and their code (\u009b,
// \u202e); a backslash as \\.
// Where backslashes separate paths (Windows), every escape is \u and four
// hex digits (\u000a, \u007f, a lone surrogate \ud800; a stray byte of a
// setting, which can name no file there, \ufffd), and a backslash stays as
// it is, so that paths read as the system writes them, unless what follows
// it would read as an escape (a folder named u0041): then it is \u005c.
void EscapeForDisplay(const char* pszText, std::string& text);

// A log line made in a buffer of fixed room: what does not fit is counted,
// not written, so that the line can be cut where it overflowed.
struct LogLine {
    char* pszText;    // nRoom + 1 bytes, the last for the line end; not ended by '\0'
    size_t nRoom;     // bytes the line may hold before its line end
    size_t nCutFrom;  // where the part that may be cut begins (after the time stamp)
    size_t nLength;   // bytes the line holds, or would hold had they fitted
};

// Adds pszText, of nLength bytes before its '\0', to the line, escaped as
// above.
void AppendForDisplay(LogLine& line, const char* pszText, size_t nLength);

// Adds nLength bytes of the program's own text to the line as they are.
void AppendProgramText(LogLine& line, const char* pText, size_t nLength);

// Ends the line with "\n".  A line that overflowed is cut at a character
// boundary and marked with an ellipsis, all within its room.
void EndLogLine(LogLine& line);
