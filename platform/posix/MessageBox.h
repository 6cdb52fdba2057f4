// The not-ready question on POSIX.  ShowMessageBox asks it here; a window
// system may answer it first and fall back to this.
#pragma once

#include <cstdio>

// With a display open: a message box with Retry and Cancel.  Else on a
// terminal (standard input is one): shows the text and the caption on
// standard error and reads the answer from standard input.  Returns IDRETRY
// or IDCANCEL; IDCANCEL when there is nobody to ask.
int AskRetryCancel(const char* pszText, const char* pszCaption);

// The question itself, on given streams: asks until the answer starts with
// r or c (either case); end of input or an interrupted read is IDCANCEL.
int AskRetryCancelOn(FILE* pIn, FILE* pOut, const char* pszText, const char* pszCaption);
