#include "app/BackupApp.h"

// The one application object; the platform's entry point runs it.
CBackupApp theApp;
