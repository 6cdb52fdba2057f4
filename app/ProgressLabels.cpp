#include "app/Globals.h"

void SetProgressLabel(int, const char*)
{
    // No progress window yet: the program runs headless in every display level.
}
