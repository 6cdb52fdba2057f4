// The set loop: runs every backup set of g_pConfig once, in order.  Called
// by the worker between opening and closing the run log.
#pragma once

void RunBackupSets();
