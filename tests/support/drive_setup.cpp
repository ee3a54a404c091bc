// Runs setup.exe as its user would and tells, step by step, what that user sees: each box
// with its caption, icon, buttons and text, and the progress window's line. Every box is
// answered with its first button (OK), or Cancel for the confirmation with --cancel.
// With --screenshots DIR it also saves, as they appear on the screen, each box and the
// progress window while a file is being copied: DIR\NN-box.bmp and DIR\NN-progress.bmp,
// NN being the step. That needs a real display (an X server).
//   usage: drive_setup.exe PROGRAM FOLDER [--cancel] [--screenshots DIR]
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/window_driver.h"

namespace {

constexpr int kBoxTextId = 0xFFFF;  // the static control that holds a message box's text
constexpr int kProgressTextId = 101;
constexpr int kProgressBarId = 102;

// A window is photographed once two pictures this far apart are the same: it has been painted.
constexpr DWORD kSettleMs = 150;
constexpr int kSettleTries = 20;
// setup.exe paints the progress window for a file and then copies it, painting nothing until
// the copy is done: a line that has stood this long belongs to a copy under way. The picture
// is kept if a second one looks the same and the line has not changed meanwhile.
constexpr ULONGLONG kSteadyLabelMs = 20;
constexpr DWORD kWatchMs = 10;
// The progress window's line until the first file's destination replaces it.
constexpr wchar_t kTemplateLabel[] = L"Static";

// A picture of part of the screen: 24-bit rows, bottom row first, as a BMP file holds them.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> bits;
};

size_t RowBytes(int width) {
    return (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
}

// The window as the screen shows it, read back from the display (the X server under Wine).
Image CaptureWindow(HWND window) {
    Image image;
    RECT rect;
    if (!GetWindowRect(window, &rect) || rect.right <= rect.left || rect.bottom <= rect.top) {
        return image;
    }
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = rect.right - rect.left;
    info.bmiHeader.biHeight = rect.bottom - rect.top;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* pixels = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (memory != nullptr && bitmap != nullptr) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        if (BitBlt(memory, 0, 0, info.bmiHeader.biWidth, info.bmiHeader.biHeight, screen, rect.left,
                   rect.top, SRCCOPY)) {
            GdiFlush();
            image.width = info.bmiHeader.biWidth;
            image.height = info.bmiHeader.biHeight;
            const auto* first = static_cast<const unsigned char*>(pixels);
            image.bits.assign(first,
                              first + RowBytes(image.width) * static_cast<size_t>(image.height));
        }
        SelectObject(memory, previous);
    }
    if (bitmap != nullptr) {
        DeleteObject(bitmap);
    }
    if (memory != nullptr) {
        DeleteDC(memory);
    }
    ReleaseDC(nullptr, screen);
    return image;
}

// Waits until the window looks the same twice running, so the picture is not half painted.
Image SettledImage(HWND window) {
    Image last = CaptureWindow(window);
    for (int i = 0; i < kSettleTries; ++i) {
        Sleep(kSettleMs);
        Image now = CaptureWindow(window);
        bool same = now.width == last.width && now.height == last.height && now.bits == last.bits;
        last = now;
        if (same) {
            break;
        }
    }
    return last;
}

bool WriteBmp(const Image& image, const std::string& path) {
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = image.width;
    info.biHeight = image.height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = static_cast<DWORD>(file.bfOffBits + image.bits.size());
    FILE* out = fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    bool written = fwrite(&file, sizeof file, 1, out) == 1 &&
                   fwrite(&info, sizeof info, 1, out) == 1 &&
                   fwrite(image.bits.data(), 1, image.bits.size(), out) == image.bits.size();
    return fclose(out) == 0 && written;
}

// The steps the user goes through, numbered in the order they appear. The boxes are told
// from the driver's thread, the progress window from a thread of its own: the lock keeps
// their lines and numbers apart.
class Steps {
  public:
    explicit Steps(std::string screenshotFolder) : folder_(std::move(screenshotFolder)) {}

    std::mutex& lock() { return mutex_; }
    int Next() { return ++count_; }
    bool takesScreenshots() const { return !folder_.empty(); }

    // Saves the window's picture, once it has been painted, as step NN's; the caller holds
    // the lock.
    void Screenshot(HWND window, int step, const char* kind) {
        if (takesScreenshots()) {
            Save(SettledImage(window), step, kind);
        }
    }

    void Save(const Image& image, int step, const char* kind) {
        char name[32];
        snprintf(name, sizeof name, "%02d-%s", step, kind);
        std::string path = folder_ + "\\" + name + ".bmp";
        if (image.bits.empty() || !WriteBmp(image, path)) {
            printf("   (no screenshot: the screen could not be read into %s)\n", path.c_str());
        } else {
            printf("   screenshot: %s (%d x %d pixels)\n", name, image.width, image.height);
        }
        fflush(stdout);
    }

  private:
    std::string folder_;
    std::mutex mutex_;
    int count_ = 0;
};

struct DialogSearch {
    bool wantProgress;
    // A box's caption, null for any box; unused for the progress window.
    const std::string* caption;
    HWND found;
};

// setup.exe is the only program with windows in the sample's prefix: its dialogs are found
// by their shape. The progress window has its bar, a box its text control.
BOOL CALLBACK FindVisibleDialog(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<DialogSearch*>(lParam);
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "#32770") != 0 || !IsWindowVisible(window)) {
        return TRUE;
    }
    bool isProgress = GetDlgItem(window, kProgressBarId) != nullptr;
    bool matches = isProgress;
    if (!search->wantProgress) {
        char caption[512] = "";
        GetWindowTextA(window, caption, sizeof caption);
        matches = !isProgress && GetDlgItem(window, kBoxTextId) != nullptr &&
                  (search->caption == nullptr || *search->caption == caption);
    }
    if (matches) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindVisibleDialog(bool wantProgress, const std::string* caption) {
    DialogSearch search = {wantProgress, caption, nullptr};
    EnumWindows(FindVisibleDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The progress window's line, read without a message: setup.exe does not answer messages
// while it copies a file, and this must not wait for it.
std::wstring ProgressLabel(HWND window) {
    wchar_t text[512] = L"";
    InternalGetWindowText(GetDlgItem(window, kProgressTextId), text, 512);
    return text;
}

void PrintWide(const char* format, const std::wstring& text) {
    char narrow[1024] = "";
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, narrow, sizeof narrow, nullptr, nullptr);
    printf(format, narrow);
    fflush(stdout);
}

// Tells each line the progress window shows, and photographs it once, during the first copy
// that lasts long enough. Files copied faster than the watch interval may go by unseen.
void WatchProgress(Steps* steps, const std::atomic<bool>* finished) {
    int step = 0;
    bool photographed = !steps->takesScreenshots();
    std::wstring label;
    ULONGLONG labelSince = 0;
    while (!finished->load()) {
        Sleep(kWatchMs);
        HWND window = FindVisibleDialog(true, nullptr);
        if (window == nullptr) {
            continue;
        }
        std::lock_guard<std::mutex> lock(steps->lock());
        if (step == 0) {
            step = steps->Next();
            printf(
                "\n%d. The progress window appears, without a caption; its line names each\n"
                "   file's destination while the file is copied (small files go by unseen):\n",
                step);
        }
        std::wstring now = ProgressLabel(window);
        if (now != label) {
            label = now;
            labelSince = GetTickCount64();
            if (label != kTemplateLabel) {
                PrintWide("     %s\n", label);
            }
        } else if (!photographed && label != kTemplateLabel &&
                   GetTickCount64() - labelSince >= kSteadyLabelMs &&
                   FindVisibleDialog(false, nullptr) == nullptr) {  // a box would cover it
            Image image = CaptureWindow(window);
            Sleep(kWatchMs);
            Image again = CaptureWindow(window);
            if (ProgressLabel(window) == label && again.bits == image.bits) {
                steps->Save(image, step, "progress");
                photographed = true;
            }
        }
    }
}

// Under Wine with no window manager a program's first box can stay drawn as inactive,
// although it is the active window: it is told once more and repainted before its picture.
void ShowAsActive(HWND box) {
    SendMessageA(box, WM_NCACTIVATE, TRUE, 0);
    RedrawWindow(box, nullptr, nullptr,
                 RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void PrintBox(const BoxRecord& box, int step) {
    printf("\n%d. A message box appears.\n", step);
    printf("   caption: %s\n", box.caption.empty() ? "(none)" : box.caption.c_str());
    // Under Wine another program's icon cannot be told apart: the screenshot shows which.
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
    fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    bool cancel = false;
    std::string screenshotFolder;
    for (int i = 3; i < argc; ++i) {
        if (strcmp(argv[i], "--cancel") == 0) {
            cancel = true;
        } else if (strcmp(argv[i], "--screenshots") == 0 && i + 1 < argc) {
            screenshotFolder = ToWindowsPath(argv[++i]);
        } else {
            argc = 0;  // unknown: show the usage
        }
    }
    if (argc < 3) {
        fprintf(stderr, "usage: drive_setup.exe PROGRAM FOLDER [--cancel] [--screenshots DIR]\n");
        return 2;
    }
    Steps steps(screenshotFolder);
    RunOptions options;
    options.program = ToWindowsPath(argv[1]);
    options.workingFolder = ToWindowsPath(argv[2]);
    options.timeoutMs = 600000;
    // The driver's own look at the progress window waits for setup.exe while it copies a
    // file; the watcher below reads it without waiting.
    options.watchProgress = false;
    options.answer = [cancel, &steps](const BoxRecord& box, size_t index) {
        int pressed = cancel && index == 0 ? IDCANCEL : IDOK;
        std::lock_guard<std::mutex> lock(steps.lock());
        int step = steps.Next();
        PrintBox(box, step);
        HWND window = FindVisibleDialog(false, &box.caption);
        if (window != nullptr && steps.takesScreenshots()) {
            ShowAsActive(window);
            steps.Screenshot(window, step, "box");
        }
        printf("   The user presses %s.\n", pressed == IDCANCEL ? "Cancel" : "OK");
        fflush(stdout);
        return pressed;
    };
    printf("Starting %s in %s\n", options.program.c_str(), options.workingFolder.c_str());
    fflush(stdout);
    std::atomic<bool> finished(false);
    std::thread watcher(WatchProgress, &steps, &finished);
    RunResult result = RunAndDrive(options);
    DWORD startError = GetLastError();
    finished = true;
    watcher.join();
    if (!result.started) {
        printf("setup.exe could not be started (error %lu).\n", startError);
        return 2;
    }
    if (result.timedOut) {
        printf("setup.exe was killed after the time limit.\n");
        return 2;
    }
    printf("\nsetup.exe ended with exit code %lu.\n", result.exitCode);
    return static_cast<int>(result.exitCode);
}
