// The progress window driven in-process: the test program links the same resource script, so
// its own module holds dialog 104 and icon 109.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "progress/progress.h"
#include "res/resource.h"
#include "run/run.h"

#ifndef PBM_GETSTEP
#define PBM_GETSTEP (WM_USER + 13)
#endif

namespace {

// Posted to see whether a drain took a message: one for a window, one for the thread.
constexpr UINT kWindowProbe = WM_APP + 7;
constexpr UINT kThreadProbe = WM_APP + 8;
constexpr char kReceiverClass[] = "ProgressTestReceiver";

// What the receiver window was handed, in order.
std::vector<UINT> g_received;

LRESULT CALLBACK ReceiverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kWindowProbe || message == WM_KEYDOWN || message == WM_CHAR) {
        g_received.push_back(message);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A message-only window of the thread, outside the dialog: the drain must dispatch its mail.
HWND CreateReceiver() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ReceiverProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kReceiverClass;
    RegisterClassA(&windowClass);  // fails harmlessly when an earlier test registered it
    return CreateWindowExA(0, kReceiverClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

// Records the WM_COMMAND ids that reach the dialog, then lets the dialog handle them.
LRESULT CALLBACK RecordCommands(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                DWORD_PTR commands) {
    if (message == WM_COMMAND) {
        reinterpret_cast<std::vector<WORD>*>(commands)->push_back(LOWORD(wParam));
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

bool ThreadMessagePending(UINT message) {
    MSG pending;
    return PeekMessageA(&pending, nullptr, message, message, PM_NOREMOVE) != 0;
}

// Empties the queue without the code under test.
void EmptyQueue() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&message);
    }
}

struct BarState {
    int low;
    int high;
    int position;
};

BarState ReadBar(HWND bar) {
    PBRANGE range = {-1, -1};
    SendMessageA(bar, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    int position = static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0));
    return {range.iLow, range.iHigh, position};
}

std::string Label(HWND window) {
    char text[1024];
    memset(text, 0xCC, sizeof text);
    UINT length = GetDlgItemTextA(window, IDC_PROGRESS_TEXT, text, sizeof text);
    EXPECT_EQ('\0', text[length]) << "no terminator after the text";
    return std::string(text, length);
}

class ProgressWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_instance = GetModuleHandleA(nullptr);
        BeginRun();  // the arrow cursor and the progress-bar class, as in the run
        EmptyQueue();
        receiver_ = CreateReceiver();
        ASSERT_NE(nullptr, receiver_);
        g_received.clear();
    }

    void TearDown() override {
        if (g_progressWindow != nullptr) {
            Progress(nullptr, kProgressClose, nullptr, 0);
        }
        DestroyWindow(receiver_);
        EmptyQueue();
        EndRun();
    }

    // Opens with a count and checks that a window came of it.
    HWND Open(unsigned command, int count) {
        Progress(nullptr, command, nullptr, count);
        EXPECT_NE(nullptr, g_progressWindow) << "command " << command << ", count " << count;
        return g_progressWindow;
    }

    HWND Bar() const { return GetDlgItem(g_progressWindow, IDC_PROGRESS_BAR); }

    // One message for the receiver and one for the thread, to see whether a command drains.
    void PostProbes() const {
        ASSERT_TRUE(PostMessageA(receiver_, kWindowProbe, 0, 0));
        ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), kThreadProbe, 0, 0));
    }

    void ExpectProbesHandled() const {
        EXPECT_EQ(std::vector<UINT>{kWindowProbe}, g_received) << "the receiver's message";
        EXPECT_FALSE(ThreadMessagePending(kThreadProbe)) << "the thread message stayed queued";
    }

    void ExpectProbesPending() const {
        EXPECT_TRUE(g_received.empty()) << "a message was dispatched";
        EXPECT_TRUE(ThreadMessagePending(kThreadProbe)) << "the thread message was taken";
    }

    HWND receiver_ = nullptr;
};

TEST_F(ProgressWindowTest, OpenShowsCaptionlessWindowWithEmptyBar) {
    HWND window = Open(kProgressOpen, 5);
    ASSERT_NE(nullptr, window);

    EXPECT_TRUE(IsWindowVisible(window));
    LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP) << std::hex << style;
    EXPECT_NE(WS_CAPTION, style & WS_CAPTION) << std::hex << style;
    EXPECT_FALSE(style & WS_SYSMENU) << std::hex << style;
    EXPECT_EQ(0, GetWindowTextLengthA(window)) << "a title";
    EXPECT_EQ(nullptr, GetWindow(window, GW_OWNER));
    EXPECT_EQ("Static", Label(window)) << "the template's text before the first update";

    HWND bar = Bar();
    ASSERT_NE(nullptr, bar);
    EXPECT_TRUE(IsWindowVisible(bar));
    BarState state = ReadBar(bar);
    EXPECT_EQ(0, state.low);
    EXPECT_EQ(5, state.high);
    EXPECT_EQ(0, state.position);
    EXPECT_EQ(1, SendMessageA(bar, PBM_GETSTEP, 0, 0)) << "the step";
}

// Only the low 16 bits of the count are the maximum; a negative count, or command 4, hides the
// bar and leaves the text and the icon.
TEST_F(ProgressWindowTest, CountSetsBarUp) {
    struct Row {
        const char* name;
        unsigned command;
        int count;
        bool barShown;
        int maximum;
    };
    const Row rows[] = {
        {"count 0", kProgressOpen, 0, true, 0},
        {"count 1", kProgressOpen, 1, true, 1},
        {"count 65535", kProgressOpen, 65535, true, 65535},
        {"count 65536: low word 0", kProgressOpen, 65536, true, 0},
        {"count 65537: low word 1", kProgressOpen, 65537, true, 1},
        {"count -1", kProgressOpen, -1, false, 0},
        {"count -65536: low word 0, yet negative", kProgressOpen, -65536, false, 0},
        {"count INT_MIN", kProgressOpen, INT32_MIN, false, 0},
        {"command 4, count 5", kProgressOpenWithoutBar, 5, false, 0},
        {"command 4, count 0", kProgressOpenWithoutBar, 0, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        HWND window = Open(row.command, row.count);
        if (window == nullptr) {
            continue;
        }
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(window, IDC_PROGRESS_TEXT)));
        HWND bar = Bar();
        ASSERT_NE(nullptr, bar) << "the bar is hidden, not missing";
        EXPECT_EQ(row.barShown, IsWindowVisible(bar) != FALSE);
        if (row.barShown) {
            BarState state = ReadBar(bar);
            EXPECT_EQ(0, state.low);
            EXPECT_EQ(row.maximum, state.high);
            EXPECT_EQ(0, state.position);
        }
        Progress(nullptr, kProgressClose, nullptr, 0);
    }
}

TEST_F(ProgressWindowTest, UpdateShowsTextStepsAndHandlesPendingMessages) {
    HWND window = Open(kProgressOpen, 3);
    ASSERT_NE(nullptr, window);

    PostProbes();
    // A key for a window outside the dialog: translated (WM_CHAR follows) and dispatched.
    ASSERT_TRUE(PostMessageA(receiver_, WM_KEYDOWN, VK_RETURN, 1));
    Progress(nullptr, kProgressUpdate, "C:\\Games\\Zorvane\\addgames\\Quintaro\\a.dat", 0);
    EXPECT_EQ("C:\\Games\\Zorvane\\addgames\\Quintaro\\a.dat", Label(window));
    EXPECT_EQ(1, ReadBar(Bar()).position);
    EXPECT_EQ((std::vector<UINT>{kWindowProbe, WM_KEYDOWN, WM_CHAR}), g_received);
    EXPECT_FALSE(ThreadMessagePending(kThreadProbe)) << "the thread message stayed queued";
    MSG left;
    EXPECT_FALSE(PeekMessageA(&left, nullptr, 0, 0, PM_NOREMOVE))
        << "message 0x" << std::hex << left.message << " left in the queue";

    g_received.clear();
    PostProbes();
    Progress(nullptr, kProgressUpdate, "C:\\Games\\Zorvane\\addgames\\Quintaro\\b.dat", 0);
    EXPECT_EQ("C:\\Games\\Zorvane\\addgames\\Quintaro\\b.dat", Label(window));
    EXPECT_EQ(2, ReadBar(Bar()).position);
    ExpectProbesHandled();
    EXPECT_EQ(window, g_progressWindow);
}

// The drain paints: the new text and bar position are on screen before the copy starts.
TEST_F(ProgressWindowTest, UpdateLeavesNothingToPaint) {
    HWND window = Open(kProgressOpen, 3);
    ASSERT_NE(nullptr, window);
    Progress(nullptr, kProgressUpdate, "C:\\Games\\a.dat", 0);
    EXPECT_FALSE(GetUpdateRect(window, nullptr, FALSE));
    EXPECT_FALSE(GetUpdateRect(GetDlgItem(window, IDC_PROGRESS_TEXT), nullptr, FALSE));
    EXPECT_FALSE(GetUpdateRect(Bar(), nullptr, FALSE));
}

TEST_F(ProgressWindowTest, SetTextNeitherStepsNorHandlesMessages) {
    HWND window = Open(kProgressOpen, 3);
    ASSERT_NE(nullptr, window);
    PostProbes();
    Progress(nullptr, kProgressSetText, "C:\\Games\\a.dat", 0);
    EXPECT_EQ("C:\\Games\\a.dat", Label(window));
    EXPECT_EQ(0, ReadBar(Bar()).position);
    ExpectProbesPending();
}

// The label lacks SS_NOPREFIX, so a single "&" is drawn as an underline; the program stores
// the text as given all the same, and the caller's buffer need only last for the call.
TEST_F(ProgressWindowTest, LabelHoldsTextAsGiven) {
    std::string longPath = "C:\\Games\\Zorvane\\addgames\\Quintaro\\";
    longPath += std::string(259 - longPath.size(), 'x');
    struct Row {
        const char* name;
        unsigned command;
        std::string text;
    };
    const Row rows[] = {
        {"update, ampersand", kProgressUpdate, "C:\\Games\\Tom & Jerry\\a&b&&c.dat"},
        {"set text, ampersand", kProgressSetText, "&Quintaro"},
        {"update, wider than the line", kProgressUpdate, longPath},
        {"update, empty", kProgressUpdate, ""},
    };
    HWND window = Open(kProgressOpen, 10);
    ASSERT_NE(nullptr, window);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        char text[1024];
        memcpy(text, row.text.c_str(), row.text.size() + 1);
        Progress(nullptr, row.command, text, 0);
        memset(text, 0xCC, sizeof text);
        EXPECT_EQ(row.text, Label(window));
    }
}

TEST_F(ProgressWindowTest, CloseDestroysWindowAndClearsHandle) {
    for (unsigned command : {kProgressClose, kProgressCloseToo}) {
        SCOPED_TRACE(command);
        HWND window = Open(kProgressOpen, 2);
        ASSERT_NE(nullptr, window);
        Progress(nullptr, command, nullptr, 0);
        EXPECT_EQ(nullptr, g_progressWindow);
        EXPECT_FALSE(IsWindow(window));

        Progress(nullptr, command, nullptr, 0);  // with none open
        EXPECT_EQ(nullptr, g_progressWindow);
    }
}

TEST_F(ProgressWindowTest, UnknownCommandsDoNothing) {
    const unsigned commands[] = {0, 7, 0xFFFFFFFFu};
    for (unsigned command : commands) {
        SCOPED_TRACE(command);
        Progress(nullptr, command, "C:\\Games\\a.dat", 5);
        EXPECT_EQ(nullptr, g_progressWindow) << "opened a window";
    }

    HWND window = Open(kProgressOpen, 5);
    ASSERT_NE(nullptr, window);
    for (unsigned command : commands) {
        SCOPED_TRACE(command);
        g_received.clear();
        PostProbes();
        Progress(nullptr, command, "C:\\Games\\a.dat", 5);
        EXPECT_EQ(window, g_progressWindow);
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_EQ("Static", Label(window));
        EXPECT_EQ(0, ReadBar(Bar()).position);
        ExpectProbesPending();
        EmptyQueue();
    }
}

// With no window the drain has no dialog to filter for: every message is translated and
// dispatched.
TEST_F(ProgressWindowTest, UpdateWithoutWindowStillDrainsQueue) {
    ASSERT_EQ(nullptr, g_progressWindow);
    PostProbes();
    ASSERT_TRUE(PostMessageA(receiver_, WM_KEYDOWN, VK_RETURN, 1));
    Progress(nullptr, kProgressUpdate, "C:\\Games\\a.dat", 0);
    EXPECT_EQ((std::vector<UINT>{kWindowProbe, WM_KEYDOWN, WM_CHAR}), g_received);
    EXPECT_FALSE(ThreadMessagePending(kThreadProbe));
    EXPECT_EQ(nullptr, g_progressWindow);

    g_received.clear();
    PostProbes();
    Progress(nullptr, kProgressSetText, "C:\\Games\\a.dat", 0);
    Progress(nullptr, kProgressClose, nullptr, 0);
    EXPECT_EQ(nullptr, g_progressWindow);
    ExpectProbesPending();
}

// The window shows the current cursor wherever the pointer is: the hit-test code and the mouse
// message are not looked at.
TEST_F(ProgressWindowTest, SetCursorShowsCurrentCursor) {
    HWND window = Open(kProgressOpen, 5);
    ASSERT_NE(nullptr, window);
    // A cursor other than the arrow, so that the one set is known to come from CurrentCursor.
    g_currentCursor = LoadCursorA(nullptr, IDC_CROSS);
    HCURSOR other = LoadCursorA(nullptr, IDC_WAIT);
    ASSERT_NE(g_currentCursor, other);
    struct Row {
        const char* name;
        WORD hitTest;
        WORD mouseMessage;
    };
    const Row rows[] = {
        {"client, move", HTCLIENT, WM_MOUSEMOVE},
        {"border, button down", HTBORDER, WM_LBUTTONDOWN},
        {"error, button down", static_cast<WORD>(HTERROR), WM_LBUTTONDOWN},
        {"nowhere, none", HTNOWHERE, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LPARAM where = MAKELPARAM(row.hitTest, row.mouseMessage);
        SetCursor(other);
        SendMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), where);
        EXPECT_EQ(g_currentCursor, GetCursor()) << "sent to the window";

        SetCursor(other);
        EXPECT_EQ(TRUE, ProgressDialogProc(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
                                           where));
        EXPECT_EQ(g_currentCursor, GetCursor()) << "called directly";
    }
}

// Enter and Esc reach the dialog manager through an update's drain and become IDOK and
// IDCANCEL; a close request becomes IDCANCEL. None of them closes the window.
TEST_F(ProgressWindowTest, KeysAndCloseRequestsLeaveWindowOpen) {
    struct Row {
        const char* name;
        UINT message;
        WPARAM wParam;
        WORD command;  // what reaches the dialog as WM_COMMAND
    };
    const Row rows[] = {
        {"Enter", WM_KEYDOWN, VK_RETURN, IDOK},
        {"Esc", WM_KEYDOWN, VK_ESCAPE, IDCANCEL},
        {"WM_CLOSE", WM_CLOSE, 0, IDCANCEL},
        {"WM_COMMAND IDCANCEL", WM_COMMAND, IDCANCEL, IDCANCEL},
        {"WM_COMMAND IDOK", WM_COMMAND, IDOK, IDOK},
    };
    HWND window = Open(kProgressOpen, 10);
    ASSERT_NE(nullptr, window);
    std::vector<WORD> commands;
    ASSERT_TRUE(
        SetWindowSubclass(window, RecordCommands, 1, reinterpret_cast<DWORD_PTR>(&commands)));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        commands.clear();
        ASSERT_TRUE(PostMessageA(window, row.message, row.wParam, 0));
        Progress(nullptr, kProgressUpdate, "C:\\Games\\a.dat", 0);
        EXPECT_EQ(std::vector<WORD>{row.command}, commands);
        EXPECT_EQ(window, g_progressWindow);
        EXPECT_TRUE(IsWindow(window));
        EXPECT_TRUE(IsWindowVisible(window));
    }
    RemoveWindowSubclass(window, RecordCommands, 1);

    // The procedure itself leaves them to the platform.
    EXPECT_EQ(FALSE, ProgressDialogProc(window, WM_COMMAND, IDOK, 0));
    EXPECT_EQ(FALSE, ProgressDialogProc(window, WM_COMMAND, IDCANCEL, 0));
    EXPECT_EQ(FALSE, ProgressDialogProc(window, WM_CLOSE, 0, 0));
    EXPECT_TRUE(IsWindowVisible(window));
}

TEST_F(ProgressWindowTest, OpenUsesParentAsOwner) {
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, owner);
    for (unsigned command : {kProgressOpen, kProgressOpenWithoutBar}) {
        SCOPED_TRACE(command);
        Progress(owner, command, nullptr, 3);
        ASSERT_NE(nullptr, g_progressWindow);
        EXPECT_EQ(owner, GetWindow(g_progressWindow, GW_OWNER));
        Progress(nullptr, kProgressClose, nullptr, 0);
    }
    DestroyWindow(owner);
}

// The earlier window is not closed by a second open: it only loses its handle.
TEST_F(ProgressWindowTest, OpenAgainReplacesHandle) {
    HWND first = Open(kProgressOpen, 3);
    HWND second = Open(kProgressOpen, 3);
    ASSERT_NE(nullptr, first);
    ASSERT_NE(nullptr, second);
    EXPECT_NE(first, second);
    EXPECT_EQ(second, g_progressWindow);
    EXPECT_TRUE(IsWindowVisible(first));
    DestroyWindow(first);
}

TEST_F(ProgressWindowTest, PumpOneMessageTakesAtMostOne) {
    EXPECT_EQ(0, PumpOneMessage(nullptr)) << "empty queue";
    ASSERT_TRUE(PostMessageA(receiver_, kWindowProbe, 0, 0));
    ASSERT_TRUE(PostMessageA(receiver_, kWindowProbe, 0, 0));
    EXPECT_NE(0, PumpOneMessage(nullptr));
    EXPECT_EQ(std::vector<UINT>{kWindowProbe}, g_received);
    EXPECT_NE(0, PumpOneMessage(nullptr));
    EXPECT_EQ(0, PumpOneMessage(nullptr));
    EXPECT_EQ(2u, g_received.size());
}

}  // namespace
