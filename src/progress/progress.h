// The progress window: a captionless modeless dialog with one text line and a bar, driven by
// command number. Its update command is the program's only message processing of its own.
#pragma once

#include <windows.h>

// Commands of Progress; any other number does nothing.
enum ProgressCommand : unsigned {
    kProgressOpen = 1,            // create the window; count is the number of steps
    kProgressUpdate = 2,          // show text, advance one step, handle pending messages
    kProgressClose = 3,           // destroy the window
    kProgressOpenWithoutBar = 4,  // create the window with its bar hidden
    kProgressSetText = 5,         // show text alone
    kProgressCloseToo = 6,        // the same as kProgressClose
};

// The open window, or nullptr.
extern HWND g_progressWindow;

// parent is used by the opens, text by update and set-text, count by kProgressOpen: a
// negative count hides the bar, otherwise its low 16 bits are the bar's maximum.
void Progress(HWND parent, unsigned command, const char* text, int count);

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The cursor shown over the window: the arrow that the run loads at start.
HCURSOR CurrentCursor();

// Handles messages until the thread's queue is empty; window's dialog keys go to it.
void DrainMessages(HWND window);

// Handles at most one message; nonzero when it took one.
BOOL PumpOneMessage(HWND window);
