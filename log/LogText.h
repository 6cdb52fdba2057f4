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

// Cuts a line that overflowed its buffer of nSize bytes (pszLine holds its
// first nSize - 1 bytes) at a character boundary and marks the cut with an
// ellipsis, all within the buffer.
void MarkLineCut(char* pszLine, size_t nSize);
