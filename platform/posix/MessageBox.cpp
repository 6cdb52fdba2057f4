#include "platform/posix/MessageBox.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "PlatformTypes.h"
#include "platform/posix/WindowModule.h"

int AskRetryCancelOn(FILE* pIn, FILE* pOut, const char* pszText, const char* pszCaption)
{
    fprintf(pOut, "%s: %s\n", pszCaption, pszText);
    for (;;) {
        fputs("[r] 再試行 / [c] キャンセル: ", pOut);
        fflush(pOut);
        char szLine[256];
        if (fgets(szLine, sizeof szLine, pIn) == nullptr) {
            // The next question must be able to read again.
            clearerr(pIn);
            return IDCANCEL;
        }
        // The rest of an over-long line must not be read as the next answer.
        if (strchr(szLine, '\n') == nullptr) {
            int c;
            while ((c = fgetc(pIn)) != EOF && c != '\n') {
            }
        }
        const char* p = szLine;
        while (*p == ' ' || *p == '\t')
            ++p;
        if (*p == 'r' || *p == 'R')
            return IDRETRY;
        if (*p == 'c' || *p == 'C')
            return IDCANCEL;
    }
}

int AskRetryCancel(const char* pszText, const char* pszCaption)
{
    // With a display the question is a message box, as on Windows.
    int nAnswer = IDCANCEL;
    if (AskRetryCancelInWindow(pszText, pszCaption, &nAnswer))
        return nAnswer;
    if (!isatty(STDIN_FILENO))
        return IDCANCEL;
    return AskRetryCancelOn(stdin, stderr, pszText, pszCaption);
}
