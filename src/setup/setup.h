// The setup record and every read of the setup script (setup.isc): its COMMON section
// names the host game, its FILES section lists the add-on's files.
#pragma once

#include <windows.h>

#include <cstdint>

#include "common/text.h"

// The one setup record of the run. The run zeroes it, sets the script path, source folder
// and title; LoadSetupInfo fills the rest from the script and the registry.
struct SetupInfo {
    char scriptPath[kPathSize];    // the source folder joined with "setup.isc"
    char title[kNameSize];         // caption of the run's boxes: product name, blank, add-on
    char sourceFolder[kPathSize];  // current directory at start: the add-on's files
    char productName[kNameSize];   // COMMON ProductName
    char firmName[kNameSize];      // COMMON FirmName
    int32_t productVersion;        // COMMON Version, in hundredths; read, not used
    int32_t installedVersion;      // the host's "version"; 0 when the host counts as missing
    char hostFolder[kPathSize];    // "Path" of the host program's App Paths key
    char programFile[kPathSize];   // COMMON ProgramExe
};

constexpr char kScriptFileName[] = "setup.isc";
constexpr char kCommonSection[] = "COMMON";
constexpr char kFilesSection[] = "FILES";

// Size of the heap buffer that receives a section's key names.
constexpr DWORD kKeyListSize = 50000;

// Reads one value into buffer[0..size), cut to fit. Returns 1 for a non-empty value. An
// empty or missing value returns 0, or, when required, ends the run with "Not Found".
int ReadScriptStringN(const char* scriptPath, const char* section, const char* key, char* buffer,
                      DWORD size, bool required);

template <size_t N>
int ReadScriptString(const char* scriptPath, const char* section, const char* key,
                     char (&buffer)[N], bool required) {
    return ReadScriptStringN(scriptPath, section, key, buffer, static_cast<DWORD>(N), required);
}

// Reads one integer value. Returns 0 (value untouched) for a missing optional value, else 1;
// a value that does not scan ends the run with "Invalid INT format", required or not.
int ReadScriptInt(const char* scriptPath, const char* section, const char* key, int32_t* value,
                  bool required);

// Shows the script error box (script path, [section], key) and ends the process with exit
// code 1. Does not return.
[[noreturn]] void ReportScriptError(const char* scriptPath, const char* section, const char* key,
                                    const char* caption);

// Handles one entry: its key and its value, both valid only during the call; nonzero means
// success.
using ScriptEntryHandler = int (*)(const char* key, const char* value);

// Calls handler for each entry of section, in the order of its lines. Returns 1 when every
// call succeeded (also for no entries), 0 otherwise; with stopAtFailure it stops at the
// first failed call. A key list too long for kKeyListSize ends the run ("Too Many Entries").
int ForEachScriptEntry(const char* scriptPath, const char* section, ScriptEntryHandler handler,
                       bool stopAtFailure);

// The number of entries of section, 0 when it is missing or empty; the same number of calls
// that ForEachScriptEntry makes. A key list too long ends the run as above.
int CountScriptEntries(const char* scriptPath, const char* section);

// Fills the record from the script's COMMON section and probes the host game. Ends the run
// on a script error. Expects the record zeroed and its script path set.
void LoadSetupInfo(SetupInfo& info);

// Reads a registry value as text (whatever its type) into destination, which must hold
// kPathSize bytes at least: at most 259 bytes of data, terminated. Returns 1 when read.
int ReadRegistryStringN(HKEY root, const char* subKey, const char* valueName, char* destination);

template <size_t N>
int ReadRegistryString(HKEY root, const char* subKey, const char* valueName,
                       char (&destination)[N]) {
    static_assert(N >= kPathSize, "a registry value may take 259 bytes and a terminator");
    return ReadRegistryStringN(root, subKey, valueName, destination);
}

template <size_t N>
int ReadMachineRegistryString(const char* subKey, const char* valueName, char (&destination)[N]) {
    return ReadRegistryString(HKEY_LOCAL_MACHINE, subKey, valueName, destination);
}

// 1 when path names a file that this process can open for reading while others read and
// write it; a folder does not count.
int FileExists(const char* path);
