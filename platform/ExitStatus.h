// The program's exit statuses, the same on both platforms.
#pragma once

const int EXIT_ALL_WELL = 0;
const int EXIT_FAILED = 1;       // the run finished, but something failed
const int EXIT_CANCELLED = 2;    // Cancel, an aborted shell copy, a signal
const int EXIT_NOT_STARTED = 3;  // the run could not start
