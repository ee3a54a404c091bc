// The installation end to end: the add-on's folder, the copies, the progress window while a
// copy error is shown, and where the paths come from.
#include "e2e/installer_fixture.h"

namespace {

using InstallTest = InstallerTest;

TEST_F(InstallTest, InstallsEveryFileAsAnExactCopyWithNormalAttributes) {
    InstallHost();
    const std::string binary = BinaryBytes((1 << 20) + 17);
    source_.WriteFile("readme.txt", "Quintaro\r\nread me\r\n");
    ASSERT_TRUE(SetFileAttributesA(Source("readme.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    source_.WriteFile("data\\level1.map", "level one");
    source_.WriteFile("music.bin", binary);
    WriteScript(
        "readme.txt=addgames\\Quintaro\\readme.txt\r\n"
        "data\\level1.map=addgames\\Quintaro\\level1.map\r\n"
        "music.bin=addgames\\Quintaro\\music.bin\r\n");
    RunResult result = Run();
    EXPECT_TRUE(RunShowed(result, 0, {ConfirmBox(), SuccessBox()}));
    EXPECT_EQ((std::vector<std::string>{"level1.map", "music.bin", "readme.txt"}),
              FolderNames(AddOnFolder()))
        << result.Describe();
    EXPECT_TRUE(FileIs(AddOnFolder() + "\\readme.txt", "Quintaro\r\nread me\r\n"));
    EXPECT_TRUE(FileIs(AddOnFolder() + "\\level1.map", "level one"));
    EXPECT_TRUE(FileIs(AddOnFolder() + "\\music.bin", binary));
    // The sources are only read.
    EXPECT_TRUE(FileIs(Source("readme.txt"), "Quintaro\r\nread me\r\n", FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(FileIs(Source("data\\level1.map"), "level one"));
    EXPECT_TRUE(FileIs(Source("music.bin"), binary));
}

TEST_F(InstallTest, NoFilesToCopyStillEndsInSuccess) {
    struct Case {
        const char* name;
        const char* files;  // the lines after [FILES]; nullptr: no such section
    };
    const Case cases[] = {
        {"FILES missing", nullptr},
        {"FILES empty", ""},
        {"FILES with comment and blank lines only", "; nothing yet\r\n\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder host("host");
        UseNewHost(host);
        InstallHost();
        WriteScript(c.files);
        RunResult result = Run();
        EXPECT_TRUE(RunShowed(result, 0, {ConfirmBox(), SuccessBox()}));
        EXPECT_EQ(std::vector<std::string>{}, FolderNames(AddOnFolder())) << result.Describe();
    }
}

TEST_F(InstallTest, ExistingAddOnFolderIsUsedAndItsFilesOverwritten) {
    InstallHost();
    ASSERT_TRUE(CreateDirectoryA(AddOnFolder().c_str(), nullptr));
    host_.WriteFile("addgames\\Quintaro\\a.txt", "an older and longer a");
    host_.WriteFile("addgames\\Quintaro\\keep.txt", "not ours");
    source_.WriteFile("a.txt", "new a");
    WriteScript("a.txt=addgames\\Quintaro\\a.txt\r\n");
    RunResult result = Run();
    EXPECT_TRUE(RunShowed(result, 0, {ConfirmBox(), SuccessBox()}));
    EXPECT_TRUE(FileIs(AddOnFolder() + "\\a.txt", "new a")) << result.Describe();
    EXPECT_TRUE(FileIs(AddOnFolder() + "\\keep.txt", "not ours")) << result.Describe();
}

// The copies carry normal attributes, so a second run can overwrite them all, also those of
// read-only sources (which a platform that honours read-only would refuse otherwise).
TEST_F(InstallTest, SecondRunOverwritesEveryEarlierCopy) {
    InstallHost();
    WriteScript(
        "a.txt=addgames\\Quintaro\\a.txt\r\n"
        "b.txt=addgames\\Quintaro\\b.txt\r\n");
    source_.WriteFile("a.txt", "first a");
    source_.WriteFile("b.txt", "first b");
    ASSERT_TRUE(SetFileAttributesA(Source("a.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    RunResult first = Run();
    ASSERT_TRUE(RunShowed(first, 0, {ConfirmBox(), SuccessBox()}));
    ASSERT_TRUE(FileIs(AddOnFolder() + "\\a.txt", "first a"));

    SetFileAttributesA(Source("a.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    source_.WriteFile("a.txt", "second a, longer");
    source_.WriteFile("b.txt", "2b");
    SetFileAttributesA(Source("a.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    RunResult second = Run();
    EXPECT_TRUE(RunShowed(second, 0, {ConfirmBox(), SuccessBox()}));
    EXPECT_TRUE(FileIs(AddOnFolder() + "\\a.txt", "second a, longer")) << second.Describe();
    EXPECT_TRUE(FileIs(AddOnFolder() + "\\b.txt", "2b")) << second.Describe();
}

// No folder is made but the add-on's own: without "addgames" the first entry below it fails.
TEST_F(InstallTest, WithoutAddGamesFolderTheFirstEntryBelowItFails) {
    InstallHost("150", false);
    source_.WriteFile("top.txt", "top");
    source_.WriteFile("a.txt", "a");
    source_.WriteFile("later.txt", "later");
    WriteScript(
        "top.txt=top.txt\r\n"
        "a.txt=addgames\\Quintaro\\a.txt\r\n"
        "later.txt=later.txt\r\n");
    RunResult result = Run();
    EXPECT_TRUE(RunShowed(
        result, 0,
        {ConfirmBox(), CopyErrorBox(Source("a.txt"), Destination("addgames\\Quintaro\\a.txt"),
                                    ERROR_PATH_NOT_FOUND)}));
    EXPECT_EQ((std::vector<std::string>{"top.txt", programExe_}), FolderNames(hostFolder_))
        << result.Describe();
    EXPECT_TRUE(FileIs(Destination("top.txt"), "top"));
}

// The bar counts the entry being copied: while the third entry's error is up it stands at 3
// of 5, with the third destination on its line; the walk ends there.
TEST_F(InstallTest, ThirdOfFiveFailsWithTheProgressWindowAtThree) {
    InstallHost();
    for (const char* name : {"1.txt", "2.txt", "4.txt", "5.txt"}) {
        source_.WriteFile(name, std::string("source ") + name);
    }
    host_.WriteFile("addgames\\Quintaro\\4.txt", "old 4");
    WriteScript(
        "1.txt=addgames\\Quintaro\\1.txt\r\n"
        "2.txt=addgames\\Quintaro\\2.txt\r\n"
        "3.txt=addgames\\Quintaro\\3.txt\r\n"
        "4.txt=addgames\\Quintaro\\4.txt\r\n"
        "5.txt=addgames\\Quintaro\\5.txt\r\n");
    RunResult result = Run();
    const std::string third = Destination("addgames\\Quintaro\\3.txt");
    ASSERT_TRUE(RunShowed(
        result, 0, {ConfirmBox(), CopyErrorBox(Source("3.txt"), third, ERROR_FILE_NOT_FOUND)}));
    const ProgressSnapshot& progress = result.boxes[1].progress;
    EXPECT_TRUE(progress.exists && progress.visible && progress.barVisible) << result.Describe();
    EXPECT_EQ(third, progress.label);
    EXPECT_EQ(0, progress.low);
    EXPECT_EQ(5, progress.high);
    EXPECT_EQ(3, progress.position);
    EXPECT_TRUE(FileIs(AddOnFolder() + "\\1.txt", "source 1.txt"));
    EXPECT_TRUE(FileIs(AddOnFolder() + "\\2.txt", "source 2.txt"));
    EXPECT_TRUE(FileIs(AddOnFolder() + "\\4.txt", "old 4"));
    EXPECT_TRUE(IsAbsent(AddOnFolder() + "\\5.txt"));
    EXPECT_TRUE(IsAbsent(AddOnFolder() + "\\3.txt"));
}

// Removes what a drive's root holds, but not the root: RemoveTree would remove the folder
// that the letter maps.
void EmptyDrive(const std::string& drive) {
    for (const std::string& name : FolderNames(drive)) {
        std::string path = drive + "\\" + name;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileA(path.c_str())) {
            RemoveTree(path);
        }
    }
}

// At a drive root the current directory ends in a backslash already: no second one.
TEST_F(InstallTest, StartedFromADriveRootJoinsWithOneBackslash) {
    const std::string root = g_spareDrive + "\\";
    if (g_spareDrive.empty() || GetFileAttributesA(root.c_str()) == INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "no spare drive (--spare-drive=" << g_spareDrive
                     << "; the ctest fixture e2e_map_drive maps one)";
    }
    EmptyDrive(g_spareDrive);  // what an interrupted run may have left

    RunResult noScript = Run(nullptr, root);
    EXPECT_TRUE(RunShowed(
        noScript, 1, {ScriptErrorBox("Not Found", root + "setup.isc", "COMMON", "ProductName")}));

    InstallHost();
    ASSERT_TRUE(
        WriteWholeFile(root + "setup.isc", ScriptText("b.txt=addgames\\Quintaro\\b.txt\r\n"
                                                      "a.txt=addgames\\Quintaro\\a.txt\r\n")));
    ASSERT_TRUE(WriteWholeFile(root + "b.txt", "drive b"));
    RunResult missingSource = Run(nullptr, root);
    EXPECT_TRUE(RunShowed(
        missingSource, 0,
        {ConfirmBox(), CopyErrorBox(root + "a.txt", Destination("addgames\\Quintaro\\a.txt"),
                                    ERROR_FILE_NOT_FOUND)}));
    EXPECT_TRUE(FileIs(AddOnFolder() + "\\b.txt", "drive b")) << missingSource.Describe();
    EmptyDrive(g_spareDrive);
}

// An empty value names the host folder itself, which cannot be copied over.
TEST_F(InstallTest, EntryWithAnEmptyValueFailsOnTheHostFolder) {
    InstallHost();
    source_.WriteFile("a.txt", "a");
    WriteScript("a.txt=\r\n");
    // What the platform says to a copy onto a folder.
    ScratchFolder probe("probe");
    ASSERT_FALSE(CopyFileA(Source("a.txt").c_str(), (probe.path() + "\\").c_str(), FALSE));
    DWORD error = GetLastError();
    RunResult result = Run();
    EXPECT_TRUE(RunShowed(
        result, 0, {ConfirmBox(), CopyErrorBox(Source("a.txt"), hostFolder_ + "\\", error)}));
    EXPECT_EQ((std::vector<std::string>{"addgames", programExe_}), FolderNames(hostFolder_));
}

// A "Path" value that ends in a backslash gets no second one before the destination.
TEST_F(InstallTest, HostPathWithTrailingBackslashGetsNoSecondOne) {
    InstallHost("150", true, hostFolder_ + "\\");
    source_.WriteFile("a.txt", "a");
    WriteScript(
        "a.txt=addgames\\Quintaro\\a.txt\r\n"
        "missing.txt=addgames\\Quintaro\\m.txt\r\n");
    RunResult result = Run();
    EXPECT_TRUE(RunShowed(result, 0,
                          {ConfirmBox(), CopyErrorBox(Source("missing.txt"),
                                                      hostFolder_ + "\\addgames\\Quintaro\\m.txt",
                                                      ERROR_FILE_NOT_FOUND)}));
    EXPECT_TRUE(FileIs(AddOnFolder() + "\\a.txt", "a")) << result.Describe();
}

// Names are bytes of the ANSI code page, from the script to the file system and the boxes.
TEST_F(InstallTest, NonAsciiNamesOfTheAnsiCodePage) {
    if (GetACP() != 1252) {
        GTEST_SKIP() << "the names are written for code page 1252; this one is " << GetACP();
    }
    InstallHost();
    source_.WriteFile("caf\xE9.txt", "caf\xE9");
    WriteScript(
        "caf\xE9.txt=addgames\\Quintaro\\d\xE9j\xE0 vu.txt\r\n"
        "\xFC"
        "ber.txt=addgames\\Quintaro\\\xFC"
        "ber.txt\r\n");
    RunResult result = Run();
    EXPECT_TRUE(RunShowed(result, 0,
                          {ConfirmBox(), CopyErrorBox(Source("\xFC"
                                                             "ber.txt"),
                                                      AddOnFolder() + "\\\xFC"
                                                                      "ber.txt",
                                                      ERROR_FILE_NOT_FOUND)}));
    EXPECT_EQ(std::vector<std::string>{"d\xE9j\xE0 vu.txt"}, FolderNames(AddOnFolder()));
    EXPECT_TRUE(FileIs(AddOnFolder() + "\\d\xE9j\xE0 vu.txt", "caf\xE9"));
}

// Watches a registry tree for any change below it from the moment it is made.
class RegistryWatch {
  public:
    RegistryWatch(HKEY root, const char* subKey) {
        event_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        // The 64-bit view's tree holds the 32-bit one (Wow6432Node) too.
        if (RegOpenKeyExA(root, subKey, 0, KEY_NOTIFY | KEY_WOW64_64KEY, &key_) == ERROR_SUCCESS) {
            armed_ = RegNotifyChangeKeyValue(key_, TRUE,
                                             REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET |
                                                 REG_NOTIFY_CHANGE_ATTRIBUTES |
                                                 REG_NOTIFY_CHANGE_SECURITY,
                                             event_, TRUE) == ERROR_SUCCESS;
        }
    }
    ~RegistryWatch() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
        CloseHandle(event_);
    }
    RegistryWatch(const RegistryWatch&) = delete;
    RegistryWatch& operator=(const RegistryWatch&) = delete;

    bool armed() const { return armed_; }
    bool changed() const { return WaitForSingleObject(event_, 0) == WAIT_OBJECT_0; }

  private:
    HKEY key_ = nullptr;
    HANDLE event_ = nullptr;
    bool armed_ = false;
};

using RegistryTest = InstallerTest;

// The whole run, installation included, only reads the registry. Wine itself writes nothing
// there while a program runs, so the whole trees are watched; other tests write scratch keys,
// so ctest runs this one alone.
TEST_F(RegistryTest, RegistryIsNeverWritten) {
    InstallHost();
    source_.WriteFile("a.txt", "a");
    WriteScript("a.txt=addgames\\Quintaro\\a.txt\r\n");
    RegistryWatch machine(HKEY_LOCAL_MACHINE, "");
    RegistryWatch user(HKEY_CURRENT_USER, "");
    ASSERT_TRUE(machine.armed() && user.armed());
    RunResult result = Run();
    ASSERT_TRUE(RunShowed(result, 0, {ConfirmBox(), SuccessBox()}));
    EXPECT_FALSE(machine.changed()) << "HKEY_LOCAL_MACHINE changed during the run";
    EXPECT_FALSE(user.changed()) << "HKEY_CURRENT_USER changed during the run";
}

}  // namespace
