#include <windows.h>

#include "run/run.h"

// Takes no arguments: the command line and the show command are ignored.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return RunInstaller(instance);
}
