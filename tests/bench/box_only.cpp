// The least a program can do before its first box: show it. The benchmark's yardstick for
// setup.exe's time from start to its confirmation box.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    MessageBoxA(nullptr, "Benchmark", "Benchmark", MB_OKCANCEL | MB_ICONQUESTION);
    return 0;
}
