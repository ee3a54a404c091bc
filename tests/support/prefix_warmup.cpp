// Shows a few message boxes, each closed by a timer, so that a freshly made Wine prefix has
// finished starting its desktop before the tests show boxes of their own.
#include <windows.h>

namespace {

constexpr int kBoxes = 3;
constexpr UINT kCloseAfterMs = 300;

void CALLBACK CloseActiveBox(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    HWND box = FindWindowA("#32770", "prefix warm-up");
    if (box != nullptr) {
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    } else {
        SetTimer(nullptr, 0, kCloseAfterMs, CloseActiveBox);  // not up yet: look again
    }
}

}  // namespace

int main() {
    for (int i = 0; i < kBoxes; ++i) {
        SetTimer(nullptr, 0, kCloseAfterMs, CloseActiveBox);
        MessageBoxA(nullptr, "Warming up the Wine prefix.", "prefix warm-up", MB_OK);
    }
    return 0;
}
