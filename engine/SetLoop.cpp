#include "engine/SetLoop.h"

void RunBackupSets()
{
    // The backup sets are not run yet: this is where the set loop goes.
}
