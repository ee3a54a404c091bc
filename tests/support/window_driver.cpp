#include "support/window_driver.h"

#include <commctrl.h>

#include <cstdio>
#include <set>

namespace {

constexpr int kBoxTextId = 0xFFFF;  // the static control that holds a message box's text
constexpr int kProgressTextId = 101;
constexpr int kProgressBarId = 102;

struct WindowSearch {
    DWORD processId;
    bool wantBox;  // true: a message box; false: the progress window
    HWND found;
};

BOOL CALLBACK FindProcessDialog(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (owner != search->processId || lstrcmpA(className, "#32770") != 0) {
        return TRUE;
    }
    // The progress window's icon has the id -1 too, the id of a box's text: the bar tells.
    bool isProgress = GetDlgItem(window, kProgressBarId) != nullptr;
    bool isBox =
        !isProgress && GetDlgItem(window, kBoxTextId) != nullptr && IsWindowVisible(window);
    if ((search->wantBox && isBox) || (!search->wantBox && isProgress)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindDialog(DWORD processId, bool wantBox) {
    WindowSearch search = {processId, wantBox, nullptr};
    EnumWindows(FindProcessDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string WindowText(HWND window) {
    char text[4096] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// The bits of an icon's colour image, to tell the standard icons apart across processes.
std::string IconBits(HICON icon) {
    ICONINFO info;
    if (icon == nullptr || !GetIconInfo(icon, &info)) {
        return "";
    }
    std::string bits;
    BITMAP bitmap;
    HBITMAP image = info.hbmColor != nullptr ? info.hbmColor : info.hbmMask;
    if (GetObjectA(image, sizeof bitmap, &bitmap)) {
        bits.resize(static_cast<size_t>(bitmap.bmWidthBytes) *
                    static_cast<size_t>(bitmap.bmHeight));
        GetBitmapBits(image, static_cast<LONG>(bits.size()), bits.data());
    }
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bits;
}

struct BoxChildren {
    std::vector<int> buttons;
    HICON icon = nullptr;
};

BOOL CALLBACK CollectBoxChild(HWND child, LPARAM lParam) {
    auto* children = reinterpret_cast<BoxChildren*>(lParam);
    char className[16] = "";
    GetClassNameA(child, className, sizeof className);
    if (lstrcmpiA(className, "Button") == 0 && IsWindowVisible(child)) {
        children->buttons.push_back(GetDlgCtrlID(child));
    } else if (lstrcmpiA(className, "Static") == 0 &&
               (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        children->icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
    }
    return TRUE;
}

std::string IconName(HICON icon) {
    if (icon == nullptr) {
        return "none";
    }
    struct Known {
        LPCSTR id;
        const char* name;
    };
    static const Known known[] = {{IDI_QUESTION, "question"},
                                  {IDI_HAND, "error"},
                                  {IDI_ASTERISK, "information"},
                                  {IDI_EXCLAMATION, "warning"}};
    // Wine keeps icon handles private to their process, so another process's icon can be
    // told apart only where the platform shares them; elsewhere the box just has "an icon"
    // (the relay-trace test pins the box styles down exactly).
    std::string bits = IconBits(icon);
    if (bits.empty()) {
        return "icon";
    }
    for (const Known& candidate : known) {
        if (bits == IconBits(LoadIconA(nullptr, candidate.id))) {
            return candidate.name;
        }
    }
    return "icon";
}

BoxRecord ReadBox(HWND box) {
    BoxRecord record;
    record.caption = WindowText(box);
    record.text = WindowText(GetDlgItem(box, kBoxTextId));
    BoxChildren children;
    EnumChildWindows(box, CollectBoxChild, reinterpret_cast<LPARAM>(&children));
    record.buttons = children.buttons;
    record.icon = IconName(children.icon);
    record.hasOwner = GetWindow(box, GW_OWNER) != nullptr;
    return record;
}

ProgressSnapshot ReadProgress(DWORD processId) {
    ProgressSnapshot snapshot;
    HWND window = FindDialog(processId, false);
    if (window == nullptr) {
        return snapshot;
    }
    HWND bar = GetDlgItem(window, kProgressBarId);
    snapshot.exists = true;
    snapshot.visible = IsWindowVisible(window) != FALSE;
    snapshot.barVisible = (GetWindowLongA(bar, GWL_STYLE) & WS_VISIBLE) != 0;
    snapshot.label = WindowText(GetDlgItem(window, kProgressTextId));
    // The range comes back one limit at a time: no structure crosses the process boundary.
    snapshot.low = static_cast<int>(SendMessageA(bar, PBM_GETRANGE, TRUE, 0));
    snapshot.high = static_cast<int>(SendMessageA(bar, PBM_GETRANGE, FALSE, 0));
    snapshot.position = static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0));
    return snapshot;
}

bool SameProgress(const ProgressSnapshot& a, const ProgressSnapshot& b) {
    return a.exists == b.exists && a.visible == b.visible && a.barVisible == b.barVisible &&
           a.label == b.label && a.low == b.low && a.high == b.high && a.position == b.position;
}

}  // namespace

RunResult RunAndDrive(const RunOptions& options) {
    RunResult result;
    std::string commandLine = "\"" + options.program + "\"";
    if (!options.arguments.empty()) {
        commandLine += " " + options.arguments;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(options.program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                        nullptr,
                        options.workingFolder.empty() ? nullptr : options.workingFolder.c_str(),
                        &startup, &process)) {
        return result;
    }
    result.started = true;
    result.processId = process.dwProcessId;
    ULONGLONG deadline = GetTickCount64() + options.timeoutMs;
    std::set<HWND> answered;
    ProgressSnapshot lastProgress;
    while (WaitForSingleObject(process.hProcess, options.pollMs) == WAIT_TIMEOUT) {
        if (GetTickCount64() > deadline) {
            result.timedOut = true;
            TerminateProcess(process.hProcess, 0xDEAD);
            WaitForSingleObject(process.hProcess, 5000);
            break;
        }
        for (auto it = answered.begin(); it != answered.end();) {
            it = IsWindow(*it) ? std::next(it) : answered.erase(it);
        }
        HWND box = FindDialog(process.dwProcessId, true);
        if (box != nullptr && answered.count(box) == 0) {
            BoxRecord record = ReadBox(box);
            if (options.watchProgress) {
                record.progress = ReadProgress(process.dwProcessId);
            }
            int button = record.buttons.empty() ? IDOK : record.buttons.front();
            if (options.answer) {
                button = options.answer(record, result.boxes.size());
            }
            result.boxes.push_back(record);
            answered.insert(box);
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
            continue;
        }
        if (box == nullptr && options.watchProgress) {
            ProgressSnapshot now = ReadProgress(process.dwProcessId);
            if (!SameProgress(now, lastProgress)) {
                if (now.exists) {
                    result.progress.push_back(now);
                    if (options.onProgress) {
                        options.onProgress(now);
                    }
                }
                lastProgress = now;
            }
        }
    }
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

std::string RunResult::Describe() const {
    std::string text;
    char line[128];
    snprintf(line, sizeof line, "started %d, timed out %d, exit code %lu, %zu box(es)\n", started,
             timedOut, exitCode, boxes.size());
    text += line;
    for (const BoxRecord& box : boxes) {
        text += "  [" + box.caption + "] (" + box.icon + ")";
        for (int id : box.buttons) {
            text += std::string(" ") + ButtonName(id);
        }
        text += ": " + box.text + "\n";
    }
    return text;
}

std::string ToWindowsPath(const std::string& path) {
    if (path.empty() || path[0] != '/') {
        return path;
    }
    std::string windows = "Z:" + path;
    for (char& c : windows) {
        if (c == '/') {
            c = '\\';
        }
    }
    return windows;
}

const char* ButtonName(int id) {
    switch (id) {
        case IDOK:
            return "IDOK";
        case IDCANCEL:
            return "IDCANCEL";
        case IDYES:
            return "IDYES";
        case IDNO:
            return "IDNO";
        default:
            return "?";
    }
}
