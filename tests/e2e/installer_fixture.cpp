#include "e2e/installer_fixture.h"

#include <algorithm>
#include <cstring>

std::string g_program;
REGSAM g_registryView = KEY_WOW64_64KEY;
std::string g_smallDisk;
std::string g_spareDrive;

const char kDefaultCaption[] = "Error";

namespace {

constexpr char kAppPaths[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
constexpr char kCopyErrorFormat[] =
    "Setup could not copy from the file:\n%s\nto the file:\n'%s'.\n%s";
// The attributes a user or a copy can leave on a file; archive and normal say nothing.
constexpr DWORD kUserAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

std::string DescribeBox(const ExpectedBox& box) {
    std::string text = "[" + box.caption + "] (" + box.icon + ")";
    for (int id : box.buttons) {
        text += std::string(" ") + ButtonName(id);
    }
    return text + ": " + box.text;
}

// The first difference between two byte strings, for messages.
std::string FirstDifference(const std::string& want, const std::string& got) {
    size_t at = 0;
    while (at < want.size() && at < got.size() && want[at] == got[at]) {
        ++at;
    }
    return "want " + std::to_string(want.size()) + " bytes, got " + std::to_string(got.size()) +
           ", first difference at byte " + std::to_string(at);
}

// An option of the form --name=VALUE; false when arg is not that option.
bool TakeOption(const char* arg, const char* name, std::string* value) {
    size_t length = strlen(name);
    if (strncmp(arg, name, length) != 0 || arg[length] != '=') {
        return false;
    }
    *value = arg + length + 1;
    return true;
}

}  // namespace

std::string SystemText(DWORD error) {
    char* text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM,
                                  nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result = length != 0 ? std::string(text, length) : std::string();
    LocalFree(text);
    return result;
}

ExpectedBox CopyErrorBox(const std::string& source, const std::string& destination, DWORD error) {
    std::string systemText = SystemText(error);
    std::vector<char> text(strlen(kCopyErrorFormat) + source.size() + destination.size() +
                           systemText.size() + 1);
    snprintf(text.data(), text.size(), kCopyErrorFormat, source.c_str(), destination.c_str(),
             systemText.c_str());
    return {kDefaultCaption, text.data(), "error", {IDOK}};
}

ExpectedBox ScriptErrorBox(const std::string& caption, const std::string& scriptPath,
                           const std::string& section, const std::string& key) {
    return {caption, scriptPath + "\r\n[" + section + "]\r\n" + key, "error", {IDOK}};
}

ExpectedBox InvalidPathBox() {
    return {kInvalidPathCaption, kInvalidPathText, "error", {IDOK}};
}

::testing::AssertionResult RunShowed(const RunResult& result, DWORD exitCode,
                                     const std::vector<ExpectedBox>& boxes) {
    std::string faults;
    if (!result.started) {
        faults += "  the program did not start\n";
    }
    if (result.timedOut) {
        faults += "  killed after the time limit\n";
    } else if (result.exitCode != exitCode) {
        faults += "  exit code " + std::to_string(result.exitCode) + ", want " +
                  std::to_string(exitCode) + "\n";
    }
    if (result.boxes.size() != boxes.size()) {
        faults += "  " + std::to_string(result.boxes.size()) + " box(es), want " +
                  std::to_string(boxes.size()) + "\n";
    }
    for (size_t i = 0; i < boxes.size() && i < result.boxes.size(); ++i) {
        const BoxRecord& got = result.boxes[i];
        const ExpectedBox& want = boxes[i];
        // The driver cannot tell another process's icons apart under Wine: "icon" then
        // stands for any icon, but never for none.
        bool iconMatches = got.icon == want.icon || (got.icon == "icon" && want.icon != "none");
        if (got.caption != want.caption || got.text != want.text || !iconMatches ||
            got.buttons != want.buttons || got.hasOwner) {
            faults += "  box " + std::to_string(i + 1) + " differs" +
                      (got.hasOwner ? " (it has an owner window)" : "") + "; want\n    " +
                      DescribeBox(want) + "\n";
        }
    }
    if (faults.empty()) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << faults << "the run was:\n" << result.Describe();
}

::testing::AssertionResult FileIs(const std::string& path, const std::string& bytes,
                                  DWORD attributes) {
    DWORD got = GetFileAttributesA(path.c_str());
    if (got == INVALID_FILE_ATTRIBUTES || (got & FILE_ATTRIBUTE_DIRECTORY)) {
        return ::testing::AssertionFailure() << path << " is not a file";
    }
    bool read = false;
    std::string content = ReadWholeFile(path, &read);
    if (!read || content != bytes) {
        return ::testing::AssertionFailure() << path << ": " << FirstDifference(bytes, content);
    }
    if ((got & kUserAttributes) != attributes) {
        return ::testing::AssertionFailure()
               << path << ": attributes 0x" << std::hex << got << ", want of 0x" << kUserAttributes
               << " only 0x" << attributes;
    }
    return ::testing::AssertionSuccess();
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && written;
}

::testing::AssertionResult IsAbsent(const std::string& path) {
    DWORD got = GetFileAttributesA(path.c_str());
    if (got != INVALID_FILE_ATTRIBUTES) {
        return ::testing::AssertionFailure()
               << path << " exists (attributes 0x" << std::hex << got << ")";
    }
    return ::testing::AssertionSuccess();
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return {"<no folder>"};
    }
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

std::string MakeFolderOfLength(const std::string& parent, size_t length) {
    if (parent.size() + 2 > length) {
        return "";
    }
    std::string folder = parent + "\\" + std::string(length - parent.size() - 1, 'p');
    return CreateDirectoryA(folder.c_str(), nullptr) ? folder : "";
}

int CancelConfirmation(const BoxRecord&, size_t index) {
    return index == 0 ? IDCANCEL : IDOK;
}

std::string BinaryBytes(size_t size) {
    std::string bytes(size, '\0');
    uint32_t state = 0x2545F491;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = static_cast<char>(state >> 24);
    }
    return bytes;
}

void InstallerTest::InstallHost(const std::string& version, bool addGamesFolder,
                                const std::string& pathValue) {
    // An earlier host of the same test goes first: its firm key holds the new maker key.
    makerKey_.reset();
    firmKey_.reset();
    appPathKey_.reset();
    appPathKey_ = std::make_unique<ScratchMachineKey>(kAppPaths + programExe_, g_registryView);
    appPathKey_->SetString("Path", pathValue.empty() ? hostFolder_ : pathValue);
    firmKey_ = std::make_unique<ScratchMachineKey>("Software\\" + firm_, g_registryView);
    makerKey_ =
        std::make_unique<ScratchMachineKey>("Software\\" + firm_ + "\\" + product_, g_registryView);
    makerKey_->SetString("version", version);
    ASSERT_TRUE(WriteWholeFile(hostFolder_ + "\\" + programExe_, "MZ host program")) << hostFolder_;
    if (addGamesFolder) {
        ASSERT_TRUE(CreateDirectoryA((hostFolder_ + "\\addgames").c_str(), nullptr)) << hostFolder_;
    }
}

std::string InstallerTest::ScriptText(const char* files) const {
    std::string text = "[COMMON]\r\nProductName=" + product_ +
                       "\r\nVersion=150\r\nProgramExe=" + programExe_ + "\r\nFirmName=" + firm_ +
                       "\r\n";
    if (files != nullptr) {
        text += std::string("[FILES]\r\n") + files;
    }
    return text;
}

void InstallerTest::WriteScript(const char* files) const {
    WriteRawScript(ScriptText(files));
}

void InstallerTest::WriteRawScript(const std::string& text) const {
    source_.WriteFile("setup.isc", text);
}

RunResult InstallerTest::Run(BoxAnswer answer, const std::string& folder) const {
    RunOptions options;
    options.program = g_program;
    options.workingFolder = folder.empty() ? source_.path() : folder;
    options.answer = std::move(answer);
    return RunAndDrive(options);
}

ExpectedBox InstallerTest::ConfirmBox() const {
    return {Title(), kConfirmText, "question", {IDOK, IDCANCEL}};
}

ExpectedBox InstallerTest::SuccessBox() const {
    return {Title(), kSuccessText, "information", {IDOK}};
}

ExpectedBox InstallerTest::NotFoundBox() const {
    return {Title(), kNotFoundText, "error", {IDOK}};
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    std::string program;
    for (int i = 1; i < argc; ++i) {
        if (!TakeOption(argv[i], "--program", &program) &&
            !TakeOption(argv[i], "--small-disk", &g_smallDisk) &&
            !TakeOption(argv[i], "--spare-drive", &g_spareDrive)) {
            fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }
    if (program.empty()) {
        fprintf(stderr,
                "usage: e2e_tests --program=PATH-OF-SETUP.EXE [--small-disk=FOLDER]"
                " [--spare-drive=Y:] [gtest options]\n");
        return 2;
    }
    g_program = ToWindowsPath(program);
    g_smallDisk = ToWindowsPath(g_smallDisk);
    g_registryView = RegistryViewOfProgram(g_program);
    return RUN_ALL_TESTS();
}
