// Runs a program under the window driver, presses the first button of every box, and prints
// when each box appeared, in milliseconds since the program was started:
//   box <index> <ms> <caption>
//   exit <code> <ms>
//   usage: bench_drive.exe PROGRAM FOLDER
#include <cstdio>

#include "support/window_driver.h"

namespace {

double MillisecondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: bench_drive.exe PROGRAM FOLDER\n");
        return 2;
    }
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    RunOptions options;
    options.program = ToWindowsPath(argv[1]);
    options.workingFolder = ToWindowsPath(argv[2]);
    options.timeoutMs = 1800000;
    options.pollMs = 1;
    options.watchProgress = false;
    options.answer = [&start](const BoxRecord& box, size_t index) {
        printf("box %zu %.1f %s\n", index, MillisecondsSince(start), box.caption.c_str());
        return box.buttons.empty() ? IDOK : box.buttons.front();
    };
    RunResult result = RunAndDrive(options);
    printf("exit %lu %.1f\n", result.exitCode, MillisecondsSince(start));
    return result.started && !result.timedOut ? 0 : 1;
}
