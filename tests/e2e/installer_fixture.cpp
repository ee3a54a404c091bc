#include "e2e/installer_fixture.h"

#include <cstring>

std::string g_program;
REGSAM g_registryView = KEY_WOW64_64KEY;

const char kConfirmText[] =
    "This program will install a new additional game into Zorvane. Press the OK button to "
    "continue.";
const char kNotFoundText[] =
    "The additional  game has not been successfuly installed. Zorvane not found. The game is not "
    "correctly installed on your computer. Download Zorvane from https://www.zorvane-games.com "
    "and install it. Then restart this program.";
const char kSuccessText[] =
    "The additional game has been successfuly installed. Now you can start the new additional "
    "game via One Player/Additional Game in Zorvane.";

namespace {

constexpr char kAppPaths[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

// The registry view a program reads follows from its machine type: a 32-bit program reads
// the 32-bit view (Wow6432Node) in a 64-bit prefix.
REGSAM ViewOfProgram(const std::string& program) {
    std::string image = ReadWholeFile(program);
    if (image.size() < 0x40) {
        return KEY_WOW64_64KEY;
    }
    uint32_t peOffset;
    memcpy(&peOffset, image.data() + 0x3C, sizeof peOffset);
    uint16_t machine = 0;
    if (peOffset + 6 <= image.size()) {
        memcpy(&machine, image.data() + peOffset + 4, sizeof machine);
    }
    return machine == IMAGE_FILE_MACHINE_I386 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

}  // namespace

void InstallerTest::InstallHost(const std::string& version, bool addGamesFolder,
                                const std::string& hostPath) {
    appPathKey_ = std::make_unique<ScratchMachineKey>(kAppPaths + programExe_, g_registryView);
    appPathKey_->SetString("Path", hostPath.empty() ? host_.path() : hostPath);
    firmKey_ = std::make_unique<ScratchMachineKey>("Software\\" + firm_, g_registryView);
    makerKey_ =
        std::make_unique<ScratchMachineKey>("Software\\" + firm_ + "\\" + product_, g_registryView);
    makerKey_->SetString("version", version);
    host_.WriteFile(programExe_, "MZ host program");
    if (addGamesFolder) {
        CreateDirectoryA((host_ / "addgames").c_str(), nullptr);
    }
}

void InstallerTest::WriteScript(const char* files) {
    std::string text = "[COMMON]\r\nProductName=" + product_ +
                       "\r\nVersion=150\r\nProgramExe=" + programExe_ + "\r\nFirmName=" + firm_ +
                       "\r\n";
    if (files != nullptr) {
        text += std::string("[FILES]\r\n") + files;
    }
    WriteRawScript(text);
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

::testing::AssertionResult BoxIs(const RunResult& result, size_t index, const std::string& caption,
                                 const std::string& text, const std::string& icon) {
    if (index >= result.boxes.size()) {
        return ::testing::AssertionFailure() << "no box " << index + 1 << "; the run was:\n"
                                             << result.Describe();
    }
    const BoxRecord& box = result.boxes[index];
    bool iconMatches = box.icon == icon || (box.icon == "icon" && icon != "none");
    if (box.caption != caption || box.text != text || !iconMatches || box.hasOwner) {
        return ::testing::AssertionFailure()
               << "box " << index + 1 << ": want [" << caption << "] (" << icon << "): " << text
               << "\n  the run was:\n"
               << result.Describe() << (box.hasOwner ? "  and the box has an owner window\n" : "");
    }
    return ::testing::AssertionSuccess();
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (strncmp(argv[i], "--program=", 10) == 0) {
            g_program = ToWindowsPath(argv[i] + 10);
        }
    }
    if (g_program.empty()) {
        fprintf(stderr, "usage: e2e_tests --program=PATH-OF-SETUP.EXE [gtest options]\n");
        return 2;
    }
    g_registryView = ViewOfProgram(g_program);
    return RUN_ALL_TESTS();
}
