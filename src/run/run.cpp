#include "run/run.h"

#include <commctrl.h>
#include <direct.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdlib>

#include "progress/progress.h"

SetupInfo g_setup;
HINSTANCE g_instance;
HCURSOR g_currentCursor;

namespace {

IMalloc* g_shellAllocator;

constexpr char kConfirmText[] =
    "This program will install a new additional game into Zorvane. Press the OK button to "
    "continue.";
// The host game's maker, where the user can get the host game.
constexpr char kMakerWebAddress[] = "https://www.zorvane-games.com";
constexpr char kNotFoundLead[] =
    "The additional  game has not been successfuly installed. Zorvane not found. The game is not "
    "correctly installed on your computer. Download Zorvane from ";
constexpr char kNotFoundTail[] = " and install it. Then restart this program.";
constexpr char kTitleFormat[] = "%s %s";
constexpr char kInvalidFolderCaption[] = "Invalid Path";
constexpr char kInvalidFolderText[] =
    "Setup cannot use the folder it was started from: its path cannot be read or is too "
    "long.\r\nMove the add-on's files to a folder with a shorter path and start Setup again.";

// The source folder and the script path from the current directory. Without them the run
// would read a setup.isc from wherever the platform looks for bare names, so it stops here.
void SetScriptPath(SetupInfo& info) {
    if (_getcwd(info.sourceFolder, sizeof info.sourceFolder) == nullptr ||
        !CopyText(info.scriptPath, info.sourceFolder) ||
        !AppendPathComponent(info.scriptPath, kScriptFileName)) {
        MessageBoxA(nullptr, kInvalidFolderText, kInvalidFolderCaption,
                    MB_TASKMODAL | MB_ICONERROR);
        exit(1);
    }
}

void ShowHostNotFound(const SetupInfo& info) {
    char text[kNameSize];
    FormatText(text, "%s%s%s", kNotFoundLead, kMakerWebAddress, kNotFoundTail);
    MessageBoxA(nullptr, text, info.title, MB_OK | MB_ICONERROR);
}

}  // namespace

void BeginRun() {
    CoInitialize(nullptr);
    SHGetMalloc(&g_shellAllocator);
    g_currentCursor = LoadCursorA(nullptr, IDC_ARROW);
    // The progress window's bar is a common control: its class must exist before the open.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
}

void EndRun() {
    if (g_shellAllocator != nullptr) {
        g_shellAllocator->Release();
        g_shellAllocator = nullptr;
    }
    CoUninitialize();
}

int RunInstaller(HINSTANCE instance) {
    g_instance = instance;
    g_setup = SetupInfo{};
    SetScriptPath(g_setup);
    BeginRun();
    LoadSetupInfo(g_setup);
    FormatText(g_setup.title, kTitleFormat, g_setup.productName, kAddOnName);  // cut: a caption
    if (MessageBoxA(nullptr, kConfirmText, g_setup.title, MB_OKCANCEL | MB_ICONQUESTION) == IDOK) {
        if (g_setup.installedVersion != 0 && g_setup.hostFolder[0] != '\0') {
            InstallAddOn();
        } else {
            ShowHostNotFound(g_setup);
        }
    }
    EndRun();
    return 0;
}
