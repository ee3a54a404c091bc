// Runs setup.exe as its user would and tells, step by step, what that user sees: each box
// with its caption, icon, buttons and text, and the progress window's line and bar. Every
// box is answered with its first button (OK), or Cancel for the confirmation with --cancel.
//   usage: drive_setup.exe PROGRAM FOLDER [--cancel]
#include <cstdio>
#include <cstring>
#include <string>

#include "support/window_driver.h"

namespace {

void PrintBox(const BoxRecord& box, size_t index, int pressed) {
    printf("\n%zu. A message box appears.\n", index + 1);
    printf("   caption: %s\n", box.caption.empty() ? "(none)" : box.caption.c_str());
    printf("   icon:    %s\n", box.icon == "icon" ? "shown" : box.icon.c_str());
    printf("   buttons:");
    for (int id : box.buttons) {
        printf(" %s", id == IDOK ? "OK" : id == IDCANCEL ? "Cancel" : ButtonName(id));
    }
    printf("\n   text:\n");
    std::string line;
    for (size_t i = 0; i <= box.text.size(); ++i) {
        if (i < box.text.size() && box.text[i] != '\n') {
            line += box.text[i];
            continue;
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        printf("     | %s\n", line.c_str());
        line.clear();
    }
    printf("   The user presses %s.\n", pressed == IDCANCEL ? "Cancel" : "OK");
    fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: drive_setup.exe PROGRAM FOLDER [--cancel]\n");
        return 2;
    }
    bool cancel = argc > 3 && strcmp(argv[3], "--cancel") == 0;
    RunOptions options;
    options.program = ToWindowsPath(argv[1]);
    options.workingFolder = ToWindowsPath(argv[2]);
    options.timeoutMs = 600000;
    options.answer = [cancel](const BoxRecord& box, size_t index) {
        int pressed = cancel && index == 0 ? IDCANCEL : IDOK;
        PrintBox(box, index, pressed);
        return pressed;
    };
    options.onProgress = [](const ProgressSnapshot& progress) {
        printf("   progress window: %-60s bar %d of %d\n", progress.label.c_str(),
               progress.position, progress.high);
        fflush(stdout);
    };
    printf("Starting %s in %s\n", options.program.c_str(), options.workingFolder.c_str());
    fflush(stdout);
    RunResult result = RunAndDrive(options);
    if (!result.started) {
        printf("setup.exe could not be started (error %lu).\n", GetLastError());
        return 2;
    }
    if (result.timedOut) {
        printf("setup.exe was killed after the time limit.\n");
        return 2;
    }
    printf("\nsetup.exe ended with exit code %lu.\n", result.exitCode);
    return static_cast<int>(result.exitCode);
}
