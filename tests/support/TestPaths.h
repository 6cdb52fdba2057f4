// Paths in test tables, written with one separator and turned into the
// platform's own.
#pragma once

#include <string>

// Every `from` byte becomes PATH_SEP: NativePath("C:/bk/a.txt") is
// "C:\bk\a.txt" on Windows.  Only for strings in which every such byte is
// a separator (a Shift-JIS second byte 0x5C is not, so tables that hold one
// are written with backslashes and converted with from = '\\').
std::string NativePath(const std::string& path, char from = '/');
