// Window-system types and constants for the dialog layer.  On Windows they
// are the SDK's own; the POSIX twin defines the same names with the same
// values for the GTK layer.
#pragma once

#include "PlatformTypes.h"
