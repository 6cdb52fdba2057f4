// Kept while the remaining tests move to TestFiles.h.
#pragma once
#include "support/TestFiles.h"
