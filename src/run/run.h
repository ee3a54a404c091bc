// The installation run: the process-wide state and the one pass from start to exit.
#pragma once

#include <windows.h>

#include "setup/setup.h"

// Process-wide state, one of each for the life of the process.
extern SetupInfo g_setup;        // the setup record
extern HINSTANCE g_instance;     // the program's own module: dialog and icon come from it
extern HCURSOR g_currentCursor;  // the arrow, shown over the progress window

// The whole run after the entry point: returns the exit code (0), or ends the process with
// exit code 1 on a setup-script error or a source folder that cannot be used.
int RunInstaller(HINSTANCE instance);

// Takes the platform services that the whole run holds: COM, the shell allocator, the cursor.
void BeginRun();

// Gives back what BeginRun took.
void EndRun();

// The install branch: creates the add-on's folder and copies every FILES entry into the host
// folder while the progress window runs, then shows the success box.
void InstallAddOn();

// Copies one FILES entry: key is the source below the source folder, value the destination
// below the host folder. Returns 1 when copied; on failure shows the copy-error box first.
int CopyScriptEntry(const char* key, const char* value);

// The system's text for the calling thread's last error, which it reads into error; the
// caller frees the text with LocalFree. nullptr when the system has no text for it.
char* GetSystemErrorText(DWORD* error);
