#include "progress/progress.h"

#include <commctrl.h>

#include <cstdint>

#include "res/resource.h"
#include "run/run.h"

HWND g_progressWindow;

namespace {

HWND OpenProgressWindow(HWND parent, int count) {
    return CreateDialogParamA(g_instance, MAKEINTRESOURCEA(IDD_PROGRESS), parent,
                              ProgressDialogProc, static_cast<LPARAM>(count));
}

// Sets the bar up from the creation parameter, which arrives before the open has stored the
// window handle: the bar is reached through the dialog itself.
void InitProgressBar(HWND dialog, LPARAM creationParameter) {
    HWND bar = GetDlgItem(dialog, IDC_PROGRESS_BAR);
    int32_t count = static_cast<int32_t>(creationParameter);
    if (count < 0) {
        ShowWindow(bar, SW_HIDE);
        return;
    }
    SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, LOWORD(count)));
    SendMessageA(bar, PBM_SETSTEP, 1, 0);
}

}  // namespace

void Progress(HWND parent, unsigned command, const char* text, int count) {
    switch (command) {
        case kProgressOpen:
            g_progressWindow = OpenProgressWindow(parent, count);
            break;
        case kProgressOpenWithoutBar:
            g_progressWindow = OpenProgressWindow(parent, -1);
            break;
        case kProgressUpdate:
            SetDlgItemTextA(g_progressWindow, IDC_PROGRESS_TEXT, text);
            SendDlgItemMessageA(g_progressWindow, IDC_PROGRESS_BAR, PBM_STEPIT, 0, 0);
            DrainMessages(g_progressWindow);
            break;
        case kProgressSetText:
            SetDlgItemTextA(g_progressWindow, IDC_PROGRESS_TEXT, text);
            break;
        case kProgressClose:
        case kProgressCloseToo:
            DestroyWindow(g_progressWindow);
            g_progressWindow = nullptr;
            break;
        default:
            break;
    }
}

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
    switch (message) {
        case WM_SETCURSOR:
            SetCursor(CurrentCursor());
            return TRUE;
        case WM_INITDIALOG:
            InitProgressBar(dialog, lParam);
            return TRUE;  // the platform sets the default focus
        default:
            // WM_COMMAND too: Enter, Esc and a close request leave the window open.
            return FALSE;
    }
}

HCURSOR CurrentCursor() {
    return g_currentCursor;
}

void DrainMessages(HWND window) {
    while (PumpOneMessage(window)) {
    }
}

BOOL PumpOneMessage(HWND window) {
    MSG message;
    BOOL took = PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);
    if (!took) {
        return 0;
    }
    if (window == nullptr || !IsDialogMessageA(window, &message)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return took;
}
