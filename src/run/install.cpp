// The install branch: the add-on's folder, then one copy per FILES entry with the progress
// window showing each destination, stopping at the first copy that fails.
#include <direct.h>

#include "progress/progress.h"
#include "run/run.h"

namespace {

constexpr char kAddGamesFolder[] = "addgames";
constexpr char kSuccessText[] =
    "The additional game has been successfuly installed. Now you can start the new additional "
    "game via One Player/Additional Game in Zorvane.";
constexpr char kCopyErrorFormat[] =
    "Setup could not copy from the file:\n%s\nto the file:\n'%s'.\n%s";
// Ends the copy-error text when the system has no text of its own for the error.
constexpr char kNoSystemTextFormat[] = "Error %lu: the system has no description of it.";

// The copy-error text: composed at most once per run, since the walk stops at the failure.
char g_copyErrorText[kMessageSize];

// Shows the copy-error box for the calling thread's last error. The caller has made no
// system call since the one that failed.
void ReportCopyError(const char* sourcePath, const char* destinationPath) {
    DWORD error;
    char* systemText = GetSystemErrorText(&error);
    if (systemText != nullptr) {
        FormatText(g_copyErrorText, kCopyErrorFormat, sourcePath, destinationPath, systemText);
        LocalFree(systemText);
    } else {
        char ownText[64];
        FormatText(ownText, kNoSystemTextFormat, error);
        FormatText(g_copyErrorText, kCopyErrorFormat, sourcePath, destinationPath, ownText);
    }
    MessageBoxA(nullptr, g_copyErrorText, nullptr, MB_OK | MB_ICONERROR);
}

}  // namespace

char* GetSystemErrorText(DWORD* error) {
    *error = GetLastError();
    char* text = nullptr;
    // ALLOCATE_BUFFER takes the address of the pointer in place of the buffer.
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM,
                                  nullptr, *error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  reinterpret_cast<char*>(&text), 0, nullptr);
    return length != 0 ? text : nullptr;
}

int CopyScriptEntry(const char* key, const char* value) {
    char sourcePath[kPathSize];
    char destinationPath[kPathSize];
    // A path that does not fit is never used cut short: it would name another file.
    bool pathsFit =
        CopyText(sourcePath, g_setup.sourceFolder) && AppendPathComponent(sourcePath, key);
    pathsFit = CopyText(destinationPath, g_setup.hostFolder) &&
               AppendPathComponent(destinationPath, value) && pathsFit;
    Progress(nullptr, kProgressUpdate, destinationPath, 0);
    if (!pathsFit) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        ReportCopyError(sourcePath, destinationPath);
        return 0;
    }
    if (!CopyFileA(sourcePath, destinationPath, FALSE)) {
        ReportCopyError(sourcePath, destinationPath);
        return 0;
    }
    SetFileAttributesA(destinationPath, FILE_ATTRIBUTE_NORMAL);
    return 1;
}

void InstallAddOn() {
    char addOnFolder[kPathSize];
    // One level only: without an "addgames" folder nothing is made, and the copies say so.
    if (CopyText(addOnFolder, g_setup.hostFolder) &&
        AppendPathComponent(addOnFolder, kAddGamesFolder) &&
        AppendPathComponent(addOnFolder, kAddOnName)) {
        _mkdir(addOnFolder);
    }
    int count = CountScriptEntries(g_setup.scriptPath, kFilesSection);
    Progress(nullptr, kProgressOpen, nullptr, count);
    int copied = ForEachScriptEntry(g_setup.scriptPath, kFilesSection, CopyScriptEntry, true);
    Progress(nullptr, kProgressClose, nullptr, 0);
    if (copied) {
        MessageBoxA(nullptr, kSuccessText, g_setup.title, MB_OK | MB_ICONINFORMATION);
    }
}
