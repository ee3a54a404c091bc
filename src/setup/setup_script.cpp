// All reading of the setup script goes through GetPrivateProfileStringA with an empty
// default: a missing file, section or key and an empty value all read as the empty text.
#include <cstdlib>

#include "setup/setup.h"

namespace {

constexpr char kNotFoundCaption[] = "Not Found";
constexpr char kInvalidIntCaption[] = "Invalid INT format";
constexpr char kTooManyEntriesCaption[] = "Too Many Entries";
constexpr char kScriptErrorFormat[] = "%s\r\n[%s]\r\n%s";

// Fills list (kKeyListSize bytes) with the section's key names, each zero-terminated, the
// list ended by one more zero. Returns the number of bytes of names. A list
// that did not fit ends the run: walking a cut list would skip files, and its last name may
// be cut into the name of another file.
DWORD ReadKeyList(const char* scriptPath, const char* section, char* list) {
    DWORD length = GetPrivateProfileStringA(section, nullptr, "", list, kKeyListSize, scriptPath);
    // Windows marks a cut list with a count of the size less two; Wine cuts it at other
    // points but never counts more. A list within two bytes of the end is therefore taken as
    // cut, though it might just fit.
    if (length >= kKeyListSize - 2) {
        ReportScriptError(scriptPath, section, "", kTooManyEntriesCaption);
    }
    return length;
}

}  // namespace

int ReadScriptStringN(const char* scriptPath, const char* section, const char* key, char* buffer,
                      DWORD size, bool required) {
    if (GetPrivateProfileStringA(section, key, "", buffer, size, scriptPath) != 0) {
        return 1;
    }
    if (required) {
        ReportScriptError(scriptPath, section, key, kNotFoundCaption);
    }
    return 0;
}

int ReadScriptInt(const char* scriptPath, const char* section, const char* key, int32_t* value,
                  bool required) {
    char text[64];
    if (!ReadScriptString(scriptPath, section, key, text, required)) {
        return 0;
    }
    if (!ScanScriptInt(text, value)) {
        ReportScriptError(scriptPath, section, key, kInvalidIntCaption);
    }
    return 1;
}

void ReportScriptError(const char* scriptPath, const char* section, const char* key,
                       const char* caption) {
    char text[kMessageSize];
    FormatText(text, kScriptErrorFormat, scriptPath, section, key);
    MessageBoxA(nullptr, text, caption, MB_TASKMODAL | MB_ICONERROR);
    exit(1);
}

int ForEachScriptEntry(const char* scriptPath, const char* section, ScriptEntryHandler handler,
                       bool stopAtFailure) {
    char* list = static_cast<char*>(malloc(kKeyListSize));
    if (list == nullptr) {
        return 0;  // the entries cannot be read, so they were not all handled
    }
    int result = 1;
    DWORD length = ReadKeyList(scriptPath, section, list);
    char value[kPathSize];
    for (const char* name = FirstListName(list, length); name != nullptr;
         name = NextListName(list, length, name)) {
        GetPrivateProfileStringA(section, name, "", value, sizeof value, scriptPath);
        if (!handler(name, value)) {
            result = 0;
            if (stopAtFailure) {
                break;
            }
        }
    }
    free(list);
    return result;
}

int CountScriptEntries(const char* scriptPath, const char* section) {
    char* list = static_cast<char*>(malloc(kKeyListSize));
    if (list == nullptr) {
        return 0;
    }
    int count = 0;
    DWORD length = ReadKeyList(scriptPath, section, list);
    for (const char* name = FirstListName(list, length); name != nullptr;
         name = NextListName(list, length, name)) {
        ++count;
    }
    free(list);
    return count;
}
