// Text as the run log and the progress window show it.  Names come from the
// disk and may hold anything: a newline in a file name must not start what
// looks like a log line of its own, and bytes that are no text must not
// reach the window or the log as they are.
#pragma once

#include <cstddef>
#include <string>

// Copies pszText into text with control characters (below 0x20, and 0x7F)
// written as escapes (\n, \t, \r, else \xNN) and each byte that starts no
// character of the program's encoding written as \xNN.
void EscapeForDisplay(const char* pszText, std::string& text);

// Cuts a line that overflowed its buffer of nSize bytes (pszLine holds its
// first nSize - 1 bytes) at a character boundary and marks the cut with an
// ellipsis, all within the buffer.
void MarkLineCut(char* pszLine, size_t nSize);
