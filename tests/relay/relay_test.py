#!/usr/bin/env python3
"""Checks the platform calls of setup.exe, with their flags, sizes and order, for five runs.

    relay_test.py --program SETUP.EXE --driver TRACE_DRIVE.EXE --warmup PREFIX_WARMUP.EXE
                  --prefix DIR --work DIR

Each run starts setup.exe under Wine's relay trace, narrowed to the system functions the
program calls (RelayInclude), and answers its boxes with trace_drive.exe. The calls whose
return address lies inside setup.exe are the program's own; each becomes one normalised line
(strings decoded, DWORDs masked to 32 bits, handles and pointers given stable names) and the
sequence is compared with the expected one written out below. A difference prints both side
by side.

The prefix is the test's own: the trace setting there would slow every other program down.
The runs see their folders through drive R:, so the paths in the trace are short and the
same in every build tree.

What the trace cannot show, and is therefore not in the transcript:
- calls made for the program by the C runtime: GetCurrentDirectoryA (from _getcwd),
  CreateDirectoryA (from _mkdir), CreateFileA and GetFileType (from fopen), HeapAlloc (from
  malloc) and ExitProcess (from exit) return into msvcrt, not into setup.exe; the exit code
  is checked from the driver instead;
- GetModuleHandleA: the start-up code takes the instance handle from the image's own base,
  so the program makes no such call (the function is traced, so a call would show);
- IMalloc::Release in EndRun, a method call, not a DLL export.

For the 32-bit program (build/win32/setup.exe) the same script applies: it reads the machine
type and image base from the program file, writes the host keys into the 32-bit registry
view, and the trace shows 32-bit arguments already (the mask changes nothing).
"""
import argparse
import difflib
import os
import pathlib
import re
import shutil
import struct
import subprocess
import sys
import textwrap
import time

ROOT = pathlib.Path(__file__).resolve().parents[2]
WINE_RUN = ROOT / "scripts/wine-run.sh"
WINESERVER = "/usr/lib/wine/wineserver"
RUN_TIMEOUT_S = 300

# The trace for setup.exe alone: relay for the calls, reg for the size that RegQueryValueExA
# receives through its pointer (the relay line shows only the pointer).
CHILD_WINEDEBUG = "-all,+relay,+reg"

# The system functions the program calls, the ones whose calls are checked. Function names
# without a DLL: each is traced under whatever DLL the program reaches it through.
TRACED_FUNCTIONS = [
    "GetPrivateProfileStringA", "CopyFileA", "SetFileAttributesA", "GetLastError",
    "SetLastError", "FormatMessageA", "LocalFree", "GetModuleHandleA",
    "RegOpenKeyExA", "RegQueryValueExA", "RegCloseKey",
    "MessageBoxA", "LoadCursorA", "CreateDialogParamA", "DestroyWindow", "SetDlgItemTextA",
    "SendDlgItemMessageA", "SendMessageA", "GetDlgItem", "ShowWindow", "SetCursor",
    "PeekMessageA", "IsDialogMessageA", "TranslateMessage", "DispatchMessageA",
    "CoInitialize", "CoUninitialize", "SHGetMalloc", "InitCommonControlsEx",
]

# Argument kinds, one letter or word per argument, and whether the result is shown (only
# results that steer the program are). Kinds:
#   s string   d DWORD, decimal   x DWORD, hex   b BOOL   id control or resource id
#   msg window message   p pointer   proc code pointer   hw window   hk registry key
#   hc cursor   hi module   size pointer to the DWORD size (value from the reg channel)
SIGNATURES = {
    "GetPrivateProfileStringA": ("s s s p d s", True),
    "CopyFileA": ("s s b", True),
    "SetFileAttributesA": ("s x", False),
    "GetLastError": ("", True),
    "SetLastError": ("d", False),
    "FormatMessageA": ("x p d x p d p", False),
    "LocalFree": ("p", False),
    "GetModuleHandleA": ("s", False),
    "RegOpenKeyExA": ("hk s d x p", True),
    "RegQueryValueExA": ("hk s p p p size", True),
    "RegCloseKey": ("hk", False),
    "MessageBoxA": ("hw s s x", True),
    "LoadCursorA": ("hi id", True),
    "CreateDialogParamA": ("hi id hw proc d", True),
    "DestroyWindow": ("hw", False),
    "SetDlgItemTextA": ("hw id s", False),
    "SendDlgItemMessageA": ("hw id msg d d", False),
    "SendMessageA": ("hw msg d x", False),
    "GetDlgItem": ("hw id", True),
    "ShowWindow": ("hw d", False),
    "SetCursor": ("hc", False),
    "PeekMessageA": ("p hw d d d", True),
    "IsDialogMessageA": ("hw p", True),
    "TranslateMessage": ("p", False),
    "DispatchMessageA": ("p", False),
    "CoInitialize": ("p", False),
    "CoUninitialize": ("", False),
    "SHGetMalloc": ("p", False),
    "InitCommonControlsEx": ("p", False),
}

MESSAGES = {0x0401: "PBM_SETRANGE", 0x0404: "PBM_SETSTEP", 0x0405: "PBM_STEPIT"}
PREDEFINED_KEYS = {0x80000000: "HKEY_CLASSES_ROOT", 0x80000001: "HKEY_CURRENT_USER",
                   0x80000002: "HKEY_LOCAL_MACHINE", 0x80000003: "HKEY_USERS"}
# The progress window's controls, by id: a handle from GetDlgItem is named after its control.
CONTROLS = {101: "label", 102: "bar"}
PM_REMOVE = 1

# Stands in an expected line for the system's text for an error, which is the platform's.
SYSTEM_TEXT = "<system text>"


def mask(value):
    return value & 0xFFFFFFFF


def quote(text):
    """A string as the transcript shows it: in quotes, control characters escaped."""
    named = {"\r": "\\r", "\n": "\\n", "\t": "\\t"}
    return '"' + "".join(named.get(c, f"\\x{ord(c):02x}" if ord(c) < 32 else c)
                         for c in text) + '"'


# ---------------------------------------------------------------------------------------------
# The program file


class Image:
    """Where setup.exe lies in memory: its preferred base, corrected from the trace when Wine
    has loaded it elsewhere."""

    def __init__(self, path):
        data = pathlib.Path(path).read_bytes()
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        self.machine = struct.unpack_from("<H", data, pe + 4)[0]
        optional = pe + 24
        self.entry = struct.unpack_from("<I", data, optional + 16)[0]
        if struct.unpack_from("<H", data, optional)[0] == 0x20B:  # PE32+
            self.base = struct.unpack_from("<Q", data, optional + 24)[0]
        else:
            self.base = struct.unpack_from("<I", data, optional + 28)[0]
        self.size = struct.unpack_from("<I", data, optional + 56)[0]

    @property
    def is_32bit(self):
        return self.machine == 0x14C

    def locate(self, trace):
        """The base in this run: the main thread starts at the entry point."""
        for match in re.finditer(r"Starting (?:thread proc|process) ([0-9A-Fa-f]+)", trace):
            base = int(match.group(1), 16) - self.entry
            if base % 0x10000 == 0:
                return base
        return self.base

    def contains(self, base, address):
        return base <= address < base + self.size


# ---------------------------------------------------------------------------------------------
# Reading the trace

CALL = re.compile(r"^(?:[0-9a-f]+:)?([0-9a-f]+):Call ([\w.]+)\.(\w+)\((.*)\) ret=([0-9a-f]+)$")
RET = re.compile(r"^(?:[0-9a-f]+:)?([0-9a-f]+):Ret  ([\w.]+)\.(\w+)\(\) retval=([0-9a-f]+) "
                 r"ret=([0-9a-f]+)$")
REG_QUERY_SIZE = re.compile(r"^(?:[0-9a-f]+:)?([0-9a-f]+):trace:reg:RegQueryValueExA "
                            r"\(.*=(\d+)\)$")
ARGUMENT = re.compile(r'([0-9a-f]+)(?: (L?)"((?:[^"\\]|\\.)*)"(\.\.\.)?)?(?:,|$)')
ESCAPE = re.compile(r'\\(x[0-9a-f]{2}|.)')
ESCAPES = {"n": "\n", "r": "\r", "t": "\t", '"': '"', "\\": "\\"}


class Call:
    def __init__(self, dll, name, arguments, caller):
        self.dll = dll
        self.name = name
        self.arguments = arguments  # (number, decoded string or None)
        self.caller = caller
        self.result = None
        self.size = None  # RegQueryValueExA's size, from the reg channel
        self.inner = []  # calls made while this one ran

    def walk(self, depth=0):
        yield self, depth
        for call in self.inner:
            yield from call.walk(depth + 1)


def decode(text):
    def one(match):
        escape = match.group(1)
        return chr(int(escape[1:], 16)) if escape[0] == "x" else ESCAPES.get(escape, escape)
    return ESCAPE.sub(one, text)


def parse_arguments(text):
    arguments = []
    position = 0
    while position < len(text):
        match = ARGUMENT.match(text, position)
        if not match:
            raise ValueError(f"cannot read the arguments {text!r}")
        string = decode(match.group(3)) if match.group(3) is not None else None
        if match.group(4):
            string += "..."  # cut by the trace
        arguments.append((int(match.group(1), 16), string))
        position = match.end()
    return arguments


def read_trace(trace):
    """Every traced call as a tree per thread, in the order made: (top-level calls)."""
    roots = []
    stacks = {}
    for line in trace.splitlines():
        if match := CALL.match(line):
            thread, dll, name, arguments, caller = match.groups()
            call = Call(dll, name, parse_arguments(arguments), int(caller, 16))
            stack = stacks.setdefault(thread, [])
            (stack[-1].inner if stack else roots).append(call)
            stack.append(call)
        elif match := RET.match(line):
            thread, dll, name, result, caller = match.groups()
            stack = stacks.get(thread, [])
            # Calls that never return (ExitProcess) stay open; close down to the one returning.
            while stack:
                call = stack.pop()
                if call.name == name and call.caller == int(caller, 16):
                    call.result = int(result, 16)
                    break
        elif match := REG_QUERY_SIZE.match(line):
            stack = stacks.get(match.group(1), [])
            if stack and stack[-1].name == "RegQueryValueExA" and stack[-1].size is None:
                stack[-1].size = int(match.group(2))
    return roots


def own_calls(roots, image, base):
    """The calls made from setup.exe's code, with their depth among such calls."""
    own = []

    def visit(call, depth):
        mine = image.contains(base, call.caller)
        if mine:
            own.append((call, depth))
        for inner in call.inner:
            visit(inner, depth + 1 if mine else depth)

    for root in roots:
        visit(root, 0)
    return own


# ---------------------------------------------------------------------------------------------
# Normalising


class Names:
    """Stable names for handles: by the call that made them, or in order of appearance."""

    def __init__(self, base):
        self.base = base
        self.windows = {}
        self.keys = {}
        self.cursors = {}
        self.key_count = 0

    def window(self, value):
        value = mask(value)
        return "NULL" if value == 0 else self.windows.get(value, f"window?{value:x}")

    def key(self, value):
        value = mask(value)
        if value in PREDEFINED_KEYS:
            return PREDEFINED_KEYS[value]
        if value not in self.keys:
            self.key_count += 1
            self.keys[value] = f"key{self.key_count}"
        return self.keys[value]

    def render(self, kind, value, string):
        if kind == "s":
            if string is not None:
                return quote(string)
            return "NULL" if value == 0 else f"#{mask(value)}"
        if kind == "d":
            return str(mask(value))
        if kind == "x":
            return f"{mask(value):#x}" if mask(value) else "0"
        if kind == "b":
            return "FALSE" if mask(value) == 0 else "TRUE"
        if kind == "id":
            return str(mask(value)) if value < 0x10000 else quote(string or "?")
        if kind == "msg":
            return MESSAGES.get(mask(value), f"{mask(value):#06x}")
        if kind in ("p", "size"):
            return "NULL" if value == 0 else "ptr"
        if kind == "proc":
            return "NULL" if value == 0 else "code"
        if kind == "hw":
            return self.window(value)
        if kind == "hk":
            return self.key(value)
        if kind == "hc":
            return self.cursors.get(mask(value), f"cursor?{mask(value):x}")
        if kind == "hi":
            return "NULL" if value == 0 else "module" if value == self.base else f"{value:#x}"
        raise ValueError(kind)

    def line(self, call):
        kinds, show_result = SIGNATURES.get(call.name, ("", True))
        kinds = kinds.split()
        rendered = []
        for index, (value, string) in enumerate(call.arguments):
            kind = kinds[index] if index < len(kinds) else "x"
            text = self.render(kind, value, string)
            if kind == "size" and call.size is not None:
                text = f"&{call.size}"
            rendered.append(text)
        text = f"{call.dll}.{call.name}({', '.join(rendered)})"
        result = self.result(call)
        if show_result:
            text += f" -> {result}"
        return text

    def result(self, call):
        """The result as shown; names the handles that calls make, frees those closed."""
        if call.result is None:
            return "(no return)"
        value = mask(call.result)
        if call.name == "CreateDialogParamA" and value:
            self.windows[value] = "dialog"
            return "dialog"
        if call.name == "GetDlgItem" and value:
            control = mask(call.arguments[1][0])
            self.windows[value] = CONTROLS.get(control, f"item{control}")
            return self.windows[value]
        if call.name == "LoadCursorA" and value:
            self.cursors[value] = "cursor"
            return "cursor"
        if call.name == "DestroyWindow":
            self.windows.pop(mask(call.arguments[0][0]), None)
        if call.name == "RegCloseKey":
            self.keys.pop(mask(call.arguments[0][0]), None)
        return str(value)


def pump_line(calls, start, names):
    """Folds one drain of the message queue, which takes as many messages as happen to be
    waiting, into one line. Returns the line and the index after the drain; the line names
    the fault when the drain is not the one the window relies on: PeekMessageA(msg, NULL, 0, 0,
    PM_REMOVE) until it returns 0; each message to IsDialogMessageA(window, msg) and, when that
    declines it, TranslateMessage(msg) and DispatchMessageA(msg)."""
    depth = calls[start][1]
    index = start
    message = None
    while index < len(calls):
        call, call_depth = calls[index]
        if call_depth != depth or call.name != "PeekMessageA":
            return f"pump: broken at {call.name}", index
        pointer, window, low, high, flags = (value for value, _ in call.arguments)
        if message is None:
            message = pointer
        if (pointer, mask(window), mask(low), mask(high), mask(flags)) != (message, 0, 0, 0,
                                                                          PM_REMOVE):
            return "pump: " + names.line(call), index + 1
        index += 1
        if call.result is None or mask(call.result) == 0:
            return "pump: PeekMessageA(ptr, NULL, 0, 0, PM_REMOVE) until 0", index
        expected = ["IsDialogMessageA"]
        while expected:
            if index >= len(calls):
                return f"pump: ends before {expected[0]}", index
            call, call_depth = calls[index]
            if call_depth > depth:  # made by the dialog procedure while handling the message
                return "pump: inside the dispatch: " + names.line(call), index + 1
            if call.name != expected[0] or call.arguments[-1][0] != message:
                return f"pump: {names.line(call)} where {expected[0]}(..., msg) belongs", index + 1
            if call.name == "IsDialogMessageA":
                if names.window(call.arguments[0][0]) != "dialog":
                    return "pump: " + names.line(call), index + 1
                expected = [] if mask(call.result or 0) else ["TranslateMessage",
                                                              "DispatchMessageA"]
            else:
                expected.pop(0)
            index += 1
    return "pump: no PeekMessageA returned 0", index


def transcript(calls, base):
    """The normalised lines, nested calls indented under the call that made them."""
    # WM_SETCURSOR reaches the progress window whenever messages happen to be handled, in a
    # drain or in a box's own loop: its handler's SetCursor with the run's cursor is left out.
    cursors = {mask(call.result) for call, _ in calls
               if call.name == "LoadCursorA" and call.result is not None}
    calls = [(call, depth) for call, depth in calls
             if not (call.name == "SetCursor" and depth > 0 and call.arguments
                     and mask(call.arguments[0][0]) in cursors)]
    names = Names(base)
    lines = []
    index = 0
    while index < len(calls):
        call, depth = calls[index]
        if call.name == "PeekMessageA":
            text, index = pump_line(calls, index, names)
            lines.append("  " * depth + text)
            continue
        lines.append("  " * depth + names.line(call))
        index += 1
    return lines


# ---------------------------------------------------------------------------------------------
# Comparing


def matches(expected, actual):
    if SYSTEM_TEXT not in expected:
        return expected == actual
    pattern = ".+".join(re.escape(piece) for piece in expected.split(SYSTEM_TEXT))
    return re.fullmatch(pattern, actual) is not None


def side_by_side(expected, actual, width=78):
    """Both sequences in two columns, long lines wrapped; the marker between the columns
    says where they differ: | changed, < only expected, > only in the trace."""
    # A line that matches an expected one through its placeholder aligns with it.
    aligned = [next((e for e in expected if matches(e, line)), line) for line in actual]
    matcher = difflib.SequenceMatcher(a=expected, b=aligned, autojunk=False)
    rows = []
    for tag, e1, e2, a1, a2 in matcher.get_opcodes():
        marker = {"equal": " ", "replace": "|", "delete": "<", "insert": ">"}[tag]
        left, right = expected[e1:e2], actual[a1:a2]
        for row in range(max(len(left), len(right))):
            rows.append((left[row] if row < len(left) else "", marker,
                         right[row] if row < len(right) else ""))

    def wrap(line):
        return textwrap.wrap(line, width, drop_whitespace=False, break_on_hyphens=False) or [""]

    out = [f"{'expected':<{width}}   trace", f"{'-' * width}   {'-' * width}"]
    for left, marker, right in rows:
        left_parts, right_parts = wrap(left), wrap(right)
        for part in range(max(len(left_parts), len(right_parts))):
            left_text = left_parts[part] if part < len(left_parts) else ""
            right_text = right_parts[part] if part < len(right_parts) else ""
            out.append(f"{left_text:<{width}} {marker if part == 0 else ' '} {right_text}")
    return "\n".join(out)


# ---------------------------------------------------------------------------------------------
# The expected sequences

TITLE = "Zorvane Quintaro"
PRODUCT = "Zorvane"
FIRM = "Relay Firm"
HOST_PROGRAM = "relayhost.exe"
MISSING_PROGRAM = "nohost.exe"
DRIVE = "R:"
HOST = DRIVE + "\\host"
APP_PATHS = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths"

CONFIRM_TEXT = ("This program will install a new additional game into Zorvane. Press the OK "
                "button to continue.")
NOT_FOUND_TEXT = ("The additional  game has not been successfuly installed. Zorvane not found. "
                  "The game is not correctly installed on your computer. Download Zorvane from "
                  "https://www.zorvane-games.com and install it. Then restart this program.")
SUCCESS_TEXT = ("The additional game has been successfuly installed. Now you can start the new "
                "additional game via One Player/Additional Game in Zorvane.")

IDOK, IDCANCEL = 1, 2
ERROR_FILE_NOT_FOUND = 2
FILE_ATTRIBUTE_NORMAL = 0x80
KEY_QUERY_VALUE = 0x1
MB_OKCANCEL_ICONQUESTION = 0x21
MB_OK_ICONERROR = 0x10
MB_OK_ICONINFORMATION = 0x40
MB_TASKMODAL_ICONERROR = 0x2010
ALLOCATE_BUFFER_FROM_SYSTEM = 0x1100
LANG_USER_DEFAULT = 0x400
KEY_LIST_SIZE = 50000

# Wine's relay names the DLL that holds the code reached: the KERNEL32, ADVAPI32 and USER32
# imports show under their own names (Wine's ADVAPI32 spells itself in lower case), but ole32
# forwards CoUninitialize to combase, so the trace shows combase.CoUninitialize.
CO_UNINITIALIZE = "combase.CoUninitialize()"


class Scenario:
    """One run: the script, the host game, how the boxes are answered, and what it calls."""

    def __init__(self, name, files, missing=(), common=None, cancel=False, exit_code=0):
        self.name = name
        self.files = files  # FILES entries: source name -> destination below the host
        self.missing = set(missing)  # sources listed but not there
        self.common = common or {"ProductName": PRODUCT, "Version": "150",
                                 "ProgramExe": HOST_PROGRAM, "FirmName": FIRM}
        self.cancel = cancel
        self.exit_code = exit_code
        self.source = f"{DRIVE}\\{name}"
        self.script = self.source + "\\setup.isc"

    def script_text(self):
        lines = ["[COMMON]"] + [f"{key}={value}" for key, value in self.common.items()]
        lines += ["[FILES]"] + [f"{key}={value}" for key, value in self.files.items()]
        return "\r\n".join(lines) + "\r\n"

    def read(self, section, key, size, value):
        """One read of the script; the count is what the profile reader copies."""
        key_text = "NULL" if key is None else quote(key)
        return (f"KERNEL32.GetPrivateProfileStringA({quote(section)}, {key_text}, \"\", ptr, "
                f"{size}, {quote(self.script)}) -> {len(value)}")

    def key_list(self):
        return self.read("FILES", None, KEY_LIST_SIZE, "".join(k + "\0" for k in self.files))


def begin_run():
    # BeginRun: COM, the shell allocator, the arrow; the bar's class registered for the dialog.
    return ["ole32.CoInitialize(NULL)",
            "shell32.SHGetMalloc(ptr)",
            "user32.LoadCursorA(NULL, 32512) -> cursor",
            "comctl32.InitCommonControlsEx(ptr)"]


def load_common(scenario, stop_at=None):
    """The four COMMON reads in order, up to the one that is missing (stop_at)."""
    sizes = {"ProductName": 1024, "Version": 64, "ProgramExe": 260, "FirmName": 1024}
    lines = []
    for key, size in sizes.items():
        lines.append(scenario.read("COMMON", key, size, scenario.common.get(key, "")))
        if key == stop_at:
            break
    return lines


def registry_read(key_path, value_name, key_name, found=True):
    # At most 259 bytes of data: the size goes in through a pointer (shown as &size).
    status = 0 if found else ERROR_FILE_NOT_FOUND
    lines = [f"advapi32.RegOpenKeyExA(HKEY_LOCAL_MACHINE, {quote(key_path)}, 0, "
             f"{KEY_QUERY_VALUE:#x}, ptr) -> {status}"]
    if found:
        lines += [f"advapi32.RegQueryValueExA({key_name}, {quote(value_name)}, NULL, ptr, ptr, "
                  "&259) -> 0",
                  f"advapi32.RegCloseKey({key_name})"]
    return lines


def host_probe(scenario, found=True):
    program = scenario.common["ProgramExe"]
    lines = registry_read(f"{APP_PATHS}\\{program}", "Path", "key1", found)
    if found:
        key_path = f"Software\\{scenario.common['FirmName']}\\{scenario.common['ProductName']}"
        lines += registry_read(key_path, "version", "key2")
    return lines


def box(text, caption, style, answer=IDOK):
    caption_text = "NULL" if caption is None else quote(caption)
    return f"user32.MessageBoxA(NULL, {quote(text)}, {caption_text}, {style:#x}) -> {answer}"


def open_progress(count):
    # Created from template 104 with the count as its parameter; WM_INITDIALOG sets the bar up
    # from inside the creation: range 0..count in the high word, a step of 1.
    return [f"user32.CreateDialogParamA(module, 104, NULL, code, {count}) -> dialog",
            "  user32.GetDlgItem(dialog, 102) -> bar",
            f"  user32.SendMessageA(bar, PBM_SETRANGE, 0, {count << 16:#x})",
            "  user32.SendMessageA(bar, PBM_SETSTEP, 1, 0)"]


def copy_entry(scenario, key):
    """One FILES entry: its value read, the window updated and drained, then the copy."""
    value = scenario.files[key]
    source = f"{scenario.source}\\{key}"
    destination = f"{HOST}\\{value}"
    lines = [scenario.read("FILES", key, 260, value),
             f"user32.SetDlgItemTextA(dialog, 101, {quote(destination)})",
             "user32.SendDlgItemMessageA(dialog, 102, PBM_STEPIT, 0, 0)",
             "pump: PeekMessageA(ptr, NULL, 0, 0, PM_REMOVE) until 0"]
    if key not in scenario.missing:
        return lines + [
            f"KERNEL32.CopyFileA({quote(source)}, {quote(destination)}, FALSE) -> 1",
            f"KERNEL32.SetFileAttributesA({quote(destination)}, {FILE_ATTRIBUTE_NORMAL:#x})"]
    # The error is read right after the failed copy, its text allocated by the system, freed
    # once the message is composed, and the box has no caption.
    message = (f"Setup could not copy from the file:\n{source}\nto the file:\n'{destination}'.\n"
               f"{SYSTEM_TEXT}")
    return lines + [
        f"KERNEL32.CopyFileA({quote(source)}, {quote(destination)}, FALSE) -> 0",
        f"KERNEL32.GetLastError() -> {ERROR_FILE_NOT_FOUND}",
        f"KERNEL32.FormatMessageA({ALLOCATE_BUFFER_FROM_SYSTEM:#x}, NULL, "
        f"{ERROR_FILE_NOT_FOUND}, {LANG_USER_DEFAULT:#x}, ptr, 0, NULL)",
        "KERNEL32.LocalFree(ptr)",
        box(message, None, MB_OK_ICONERROR)]


def install(scenario):
    """InstallAddOn: count, open, copy up to the first failure, close, success box."""
    lines = [scenario.key_list()] + open_progress(len(scenario.files)) + [scenario.key_list()]
    failed = False
    for key in scenario.files:
        lines += copy_entry(scenario, key)
        if key in scenario.missing:
            failed = True
            break
    lines.append("user32.DestroyWindow(dialog)")
    if not failed:
        lines.append(box(SUCCESS_TEXT, TITLE, MB_OK_ICONINFORMATION))
    return lines


def start_up(image):
    # The 32-bit MinGW start-up code asks whether a shared libgcc is loaded, to register its
    # unwind tables with it; the program is linked statically, so none is.
    if image.is_32bit:
        return ['KERNEL32.GetModuleHandleA("libgcc_s_dw2-1.dll")']
    return []


def expected_calls(scenario, image):
    lines = start_up(image) + begin_run()
    missing_key = next((key for key in ("ProductName", "Version", "ProgramExe", "FirmName")
                        if not scenario.common.get(key)), None)
    if missing_key:
        # Fatal: the task-modal box names script, section and key; then exit(1), no EndRun.
        lines += load_common(scenario, stop_at=missing_key)
        text = f"{scenario.script}\r\n[COMMON]\r\n{missing_key}"
        return lines + [box(text, "Not Found", MB_TASKMODAL_ICONERROR)]
    host_found = scenario.common["ProgramExe"] == HOST_PROGRAM
    lines += load_common(scenario) + host_probe(scenario, host_found)
    lines.append(box(CONFIRM_TEXT, TITLE, MB_OKCANCEL_ICONQUESTION,
                     IDCANCEL if scenario.cancel else IDOK))
    if not scenario.cancel:
        lines += install(scenario) if host_found else [box(NOT_FOUND_TEXT, TITLE,
                                                           MB_OK_ICONERROR)]
    return lines + [CO_UNINITIALIZE]


THREE_FILES = {"a.dat": "addgames\\Quintaro\\a.dat", "b.dat": "addgames\\Quintaro\\b.dat",
               "c.dat": "addgames\\Quintaro\\c.dat"}

SCENARIOS = [
    Scenario("full", THREE_FILES),
    Scenario("copyfail", THREE_FILES, missing=["b.dat"]),
    Scenario("cancel", THREE_FILES, cancel=True),
    Scenario("nohost", THREE_FILES,
             common={"ProductName": PRODUCT, "Version": "150", "ProgramExe": MISSING_PROGRAM,
                     "FirmName": FIRM}),
    Scenario("fatal", THREE_FILES,
             common={"ProductName": PRODUCT, "Version": "150", "ProgramExe": HOST_PROGRAM},
             exit_code=1),
]


# ---------------------------------------------------------------------------------------------
# Running


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


class Output:
    """What a Wine run printed. It goes through files, not pipes: a wineserver that the run
    starts keeps its standard streams for seconds after the run, and a pipe would wait."""

    def __init__(self, returncode, stdout, stderr):
        self.returncode = returncode
        self.stdout = stdout
        self.stderr = stderr


def wine(prefix, work, *args):
    command = [str(WINE_RUN), "--prefix", str(prefix), *map(str, args)]
    stdout_path = work / "wine.out"
    stderr_path = work / "wine.err"
    with open(stdout_path, "wb") as stdout, open(stderr_path, "wb") as stderr:
        result = subprocess.run(command, stdout=stdout, stderr=stderr, check=False,
                                env=dict(os.environ, WINEDEBUG="-all"), timeout=RUN_TIMEOUT_S)
    return Output(result.returncode, stdout_path.read_text(errors="replace"),
                  stderr_path.read_text(errors="replace"))


def prepare_prefix(prefix, work, warmup, drive_folder, image):
    """The prefix once (with a warm-up, since its first boxes misbehave), then on every run the
    trace setting, the host game's keys and drive R:."""
    if not (prefix / ".relay-ready").exists():
        result = wine(prefix, work, warmup)
        if result.returncode != 0:
            sys.exit(f"relay_test: the prefix warm-up failed:\n{result.stderr}")
        (prefix / ".relay-ready").touch()
    # A 32-bit program reads the 32-bit view of the registry.
    machine = "HKEY_LOCAL_MACHINE\\Software" + ("\\Wow6432Node" if image.is_32bit else "")
    host = HOST.replace("\\", "\\\\")
    registry = "\r\n".join([
        "REGEDIT4", "",
        "[HKEY_CURRENT_USER\\Software\\Wine\\Debug]",
        f"\"RelayInclude\"=\"{';'.join(TRACED_FUNCTIONS)}\"",
        # The default list leaves SetLastError out: a stray call between the copy and the
        # reading of its error must show.
        "\"RelayExclude\"=\"\"", "",
        f"[{machine}\\Microsoft\\Windows\\CurrentVersion\\App Paths\\{HOST_PROGRAM}]",
        f"\"Path\"=\"{host}\"", "",
        f"[{machine}\\{FIRM}\\{PRODUCT}]",
        "\"version\"=\"150\"", "", ""])
    reg_file = work / "relay.reg"
    reg_file.write_text(registry)
    result = wine(prefix, work, "regedit", "/s", windows_path(reg_file))
    if result.returncode != 0:
        sys.exit(f"relay_test: regedit failed:\n{result.stderr}")
    letter = prefix / "dosdevices" / DRIVE.lower()
    if letter.is_symlink() or letter.exists():
        letter.unlink()
    letter.symlink_to(drive_folder)


def lay_out(scenario, drive_folder):
    source = drive_folder / scenario.name
    source.mkdir(parents=True)
    (source / "setup.isc").write_bytes(scenario.script_text().encode("ascii"))
    for key in scenario.files:
        if key not in scenario.missing:
            (source / key).write_bytes(f"contents of {key}\n".encode("ascii"))
    host = drive_folder / "host"
    shutil.rmtree(host, ignore_errors=True)
    (host / "addgames").mkdir(parents=True)
    (host / HOST_PROGRAM).write_bytes(b"MZ host program")


def run(scenario, args, image, drive_folder):
    lay_out(scenario, drive_folder)
    command = [args.driver, args.program, scenario.source, CHILD_WINEDEBUG]
    if scenario.cancel:
        command.append("--cancel")
    result = wine(args.prefix, args.work, *command)
    failures = []
    if result.returncode != scenario.exit_code:
        failures.append(f"exit code {result.returncode}, want {scenario.exit_code}")
    base = image.locate(result.stderr)
    actual = transcript(own_calls(read_trace(result.stderr), image, base), base)
    expected = expected_calls(scenario, image)
    if len(actual) != len(expected) or not all(map(matches, expected, actual)):
        failures.append("the calls differ:\n" + side_by_side(expected, actual))
    if failures:
        (args.work / f"{scenario.name}.trace").write_text(result.stderr)
        failures.append(f"driver output:\n{result.stdout}"
                        f"full trace in {args.work / (scenario.name + '.trace')}")
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--program", type=pathlib.Path, required=True)
    parser.add_argument("--driver", type=pathlib.Path, required=True)
    parser.add_argument("--warmup", type=pathlib.Path, required=True)
    parser.add_argument("--prefix", type=pathlib.Path, required=True)
    parser.add_argument("--work", type=pathlib.Path, required=True)
    parser.add_argument("scenarios", nargs="*", help="run only these (default: all)")
    args = parser.parse_args()
    args.prefix = args.prefix.resolve()
    args.work = args.work.resolve()
    image = Image(args.program)
    shutil.rmtree(args.work, ignore_errors=True)
    drive_folder = args.work / "drive"
    drive_folder.mkdir(parents=True)
    failed = 0
    try:
        prepare_prefix(args.prefix, args.work, args.warmup, drive_folder, image)
        for scenario in SCENARIOS:
            if args.scenarios and scenario.name not in args.scenarios:
                continue
            started = time.monotonic()
            failures = run(scenario, args, image, drive_folder)
            status = "FAILED" if failures else "ok"
            print(f"{scenario.name}: {status} ({time.monotonic() - started:.1f} s)", flush=True)
            for failure in failures:
                print(textwrap.indent(failure, "    "))
            failed += bool(failures)
    finally:
        subprocess.run([WINESERVER, "-w"], env=dict(os.environ, WINEPREFIX=str(args.prefix)),
                       check=False, timeout=RUN_TIMEOUT_S)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
