// The start-up run: the source folder, the script's COMMON section, the host probe, the
// confirmation and the decision between installing and telling that the host is missing.
#include "e2e/installer_fixture.h"

namespace {

using StartupTest = InstallerTest;

TEST_F(StartupTest, CancelEndsTheRunWithoutAnotherBox) {
    InstallHost();
    WriteScript("a.txt=addgames\\Quintaro\\a.txt\r\n");
    source_.WriteFile("a.txt", "a");
    RunResult result = Run(CancelConfirmation);
    EXPECT_TRUE(RunShowed(result, 0, {ConfirmBox()}));
    EXPECT_EQ(std::vector<std::string>{}, FolderNames(Destination("addgames")))
        << result.Describe();
}

TEST_F(StartupTest, HostMissingIsToldOnlyAfterOk) {
    struct Case {
        const char* name;
        bool installed;
        const char* version;
        bool programFile;
    };
    const Case cases[] = {
        {"no host installed", false, "", false},
        {"installed version 0", true, "0", true},
        {"host program file missing", true, "150", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder host("host");
        UseNewHost(host);
        if (c.installed) {
            InstallHost(c.version);
        }
        if (!c.programFile) {
            DeleteFileA(Destination(programExe_).c_str());
        }
        WriteScript("a.txt=addgames\\Quintaro\\a.txt\r\n");
        source_.WriteFile("a.txt", "a");
        RunResult result = Run();
        EXPECT_TRUE(RunShowed(result, 0, {ConfirmBox(), NotFoundBox()}));
        EXPECT_TRUE(IsAbsent(AddOnFolder())) << result.Describe();
    }
}

TEST_F(StartupTest, ConfirmedRunWithTheHostReachesTheInstallBranch) {
    InstallHost();
    WriteScript(nullptr);
    RunResult result = Run();
    EXPECT_TRUE(RunShowed(result, 0, {ConfirmBox(), SuccessBox()}));
    EXPECT_EQ(std::vector<std::string>{}, FolderNames(AddOnFolder())) << result.Describe();
}

// Script errors end the run before the confirmation, with exit code 1 and nothing written;
// only the first one is told, and before the host is looked for.
TEST_F(StartupTest, ScriptErrorsAreFatalBeforeTheConfirmation) {
    struct Case {
        const char* name;
        bool script;          // false: no setup.isc at all
        const char* version;  // the Version line's value
        bool firmName;        // whether COMMON has a FirmName line
        bool hostInstalled;
        const char* caption;
        const char* key;
    };
    const Case cases[] = {
        {"no setup.isc", false, "150", true, true, "Not Found", "ProductName"},
        {"Version abc", true, "abc", true, true, "Invalid INT format", "Version"},
        {"Version empty", true, "", true, true, "Not Found", "Version"},
        // A run that probed the host first would tell that the host is missing.
        {"FirmName missing, no host", true, "150", false, false, "Not Found", "FirmName"},
    };
    source_.WriteFile("a.txt", "a");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder host("host");
        UseNewHost(host);
        if (c.hostInstalled) {
            InstallHost();
        }
        DeleteFileA(ScriptPath().c_str());
        if (c.script) {
            std::string common = "ProductName=" + product_ + "\r\nVersion=" + c.version +
                                 "\r\nProgramExe=" + programExe_ + "\r\n";
            if (c.firmName) {
                common += "FirmName=" + firm_ + "\r\n";
            }
            WriteRawScript("[COMMON]\r\n" + common + "[FILES]\r\na.txt=a.txt\r\n");
        }
        RunResult result = Run();
        EXPECT_TRUE(
            RunShowed(result, 1, {ScriptErrorBox(c.caption, ScriptPath(), "COMMON", c.key)}));
        EXPECT_TRUE(IsAbsent(Destination("a.txt"))) << result.Describe();
        EXPECT_TRUE(IsAbsent(AddOnFolder())) << result.Describe();
    }
}

// The script path is the source folder, a backslash and "setup.isc": 259 characters at most.
// A longer one is refused before anything is read (a cut one would name another file).
TEST_F(StartupTest, SourceFolderTooLongForTheScriptPathIsRefused) {
    struct Case {
        size_t folderLength;
        bool fits;
    };
    const Case cases[] = {{249, true}, {250, false}, {258, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE("source folder of " + std::to_string(c.folderLength) + " characters");
        std::string folder = MakeFolderOfLength(source_.path(), c.folderLength);
        ASSERT_FALSE(folder.empty());
        // No setup.isc there: a run that reads the script reports its full path.
        RunResult result = Run(nullptr, folder);
        ExpectedBox box =
            c.fits ? ScriptErrorBox("Not Found", folder + "\\setup.isc", "COMMON", "ProductName")
                   : InvalidPathBox();
        EXPECT_TRUE(RunShowed(result, 1, {box}));
    }
}

// The title holds 1023 characters: a longer one is cut, since it is only a caption.
TEST_F(StartupTest, TitleLongerThanItsBufferIsCut) {
    product_ = std::string(1020, 'N');
    WriteScript(nullptr);
    RunResult result = Run();
    std::string title = (product_ + " Quintaro").substr(0, 1023);
    EXPECT_TRUE(RunShowed(result, 0,
                          {{title, kConfirmText, "question", {IDOK, IDCANCEL}},
                           {title, kNotFoundText, "error", {IDOK}}}));
}

}  // namespace
