// Starts a program and plays its user: records every message box it shows (caption, text,
// buttons, icon), answers each one, and watches its progress window. Works on windows of
// another process, so it is how the end-to-end tests and the sample run see setup.exe.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// The progress window of the program, as it stood at one moment.
struct ProgressSnapshot {
    bool exists = false;
    bool visible = false;
    bool barVisible = false;
    std::string label;
    int low = 0;
    int high = 0;
    int position = 0;
};

// One message box as the user saw it.
struct BoxRecord {
    std::string caption;
    std::string text;
    std::vector<int> buttons;  // control ids in the box: IDOK, IDCANCEL, ...
    // "question", "error", "information", "warning"; "icon" for one that cannot be told
    // apart from this process (Wine); "none"
    std::string icon;
    bool hasOwner = false;
    ProgressSnapshot progress;  // the progress window while the box was up
};

// Picks the button to press in a box; the default presses the first button.
using BoxAnswer = std::function<int(const BoxRecord& box, size_t index)>;

struct RunOptions {
    std::string program;        // Windows path of the program
    std::string workingFolder;  // its current directory; empty: the driver's own
    std::string arguments;      // appended to the quoted program path
    DWORD timeoutMs = 30000;
    DWORD pollMs = 10;  // how often the program's windows are looked at
    // Reading the progress window sends it messages, which wait while the program copies a
    // file: a measurement turns this off so that the driver never holds the program up.
    bool watchProgress = true;
    BoxAnswer answer;
    // Called while no box is up, each time the progress window changed.
    std::function<void(const ProgressSnapshot&)> onProgress;
};

struct RunResult {
    bool started = false;
    bool timedOut = false;  // killed after the time limit
    DWORD processId = 0;    // of the program, to find what it left running (a debugger)
    DWORD exitCode = 0;
    std::vector<BoxRecord> boxes;
    std::vector<ProgressSnapshot> progress;  // every distinct state seen while no box was up

    // Every box, one per line, for failure messages.
    std::string Describe() const;
};

RunResult RunAndDrive(const RunOptions& options);

// The Windows path of a Linux path under Wine ("/a/b" gives "Z:\a\b"); other paths unchanged.
std::string ToWindowsPath(const std::string& path);

// "IDOK" for IDOK and so on, for messages.
const char* ButtonName(int id);
