// Runs a program with Wine's relay trace on for it alone and answers its boxes: the trace of
// the driver's own window polling would bury the program's calls and slow everything down.
// Wine reads WINEDEBUG when a process starts, so setting it here, after this process has
// started untraced, reaches only the child, which inherits the environment.
//   usage: trace_drive.exe PROGRAM FOLDER WINEDEBUG-VALUE [--cancel]
// Every box is answered with OK (--cancel: the first with Cancel) and printed with its answer.
// The exit code is the program's, or 2 when it could not start or was killed.
#include <cstdio>
#include <cstring>

#include "support/window_driver.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: trace_drive.exe PROGRAM FOLDER WINEDEBUG-VALUE [--cancel]\n");
        return 2;
    }
    bool cancel = argc > 4 && strcmp(argv[4], "--cancel") == 0;
    SetEnvironmentVariableA("WINEDEBUG", argv[3]);
    RunOptions options;
    options.program = ToWindowsPath(argv[1]);
    options.workingFolder = ToWindowsPath(argv[2]);
    options.timeoutMs = 120000;
    // Reading the progress window would only add messages to the program's queue.
    options.watchProgress = false;
    options.answer = [cancel](const BoxRecord& box, size_t index) {
        int pressed = cancel && index == 0 ? IDCANCEL : IDOK;
        printf("box %zu [%s]: %s -> %s\n", index + 1, box.caption.c_str(), box.text.c_str(),
               ButtonName(pressed));
        fflush(stdout);
        return pressed;
    };
    RunResult result = RunAndDrive(options);
    if (!result.started) {
        printf("the program could not be started (error %lu)\n", GetLastError());
        return 2;
    }
    if (result.timedOut) {
        printf("the program was killed after the time limit\n");
        return 2;
    }
    printf("exit code %lu\n", result.exitCode);
    return static_cast<int>(result.exitCode);
}
