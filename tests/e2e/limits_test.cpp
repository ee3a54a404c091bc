// Texts longer than their buffers: paths are never used cut short (a cut path names another
// file), and a FILES key list that does not fit is refused before anything is copied.
#include <cstring>

#include "e2e/installer_fixture.h"

namespace {

using LimitTest = InstallerTest;

// The longest path that fits setup.exe's path buffers, without its terminator.
constexpr size_t kLongestPath = 259;

// A program file name short enough to leave room for a long host folder, still unique to
// the test process.
std::string ShortProgramName() {
    return "z" + std::to_string(GetCurrentProcessId()) + ".exe";
}

// The add-on folder's path (host folder, "\addgames\Quintaro") is made only when it fits;
// the copies that do not need it go on.
TEST_F(LimitTest, AddOnFolderPathThatDoesNotFitIsNotMade) {
    struct Case {
        size_t hostLength;
        bool made;
    };
    const size_t suffix = strlen("\\addgames\\Quintaro");
    const Case cases[] = {{kLongestPath - suffix, true}, {kLongestPath - suffix + 1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE("host folder of " + std::to_string(c.hostLength) + " characters");
        ScratchFolder host("host");
        hostFolder_ = MakeFolderOfLength(host.path(), c.hostLength);
        ASSERT_FALSE(hostFolder_.empty());
        programExe_ = ShortProgramName();
        InstallHost();
        source_.WriteFile("a.txt", "a");
        WriteScript("a.txt=a.txt\r\n");
        RunResult result = Run();
        EXPECT_TRUE(RunShowed(result, 0, {ConfirmBox(), SuccessBox()}));
        EXPECT_EQ(c.made ? std::vector<std::string>{"Quintaro"} : std::vector<std::string>{},
                  FolderNames(Destination("addgames")))
            << result.Describe();
        EXPECT_TRUE(FileIs(Destination("a.txt"), "a")) << result.Describe();
    }
}

// A source path of 259 characters is copied; one character more fails like a copy with the
// platform's "too long" text, showing the path as far as it fits, and the walk stops. That
// much of it names the first source: a cut path would have copied that file.
TEST_F(LimitTest, SourcePathThatDoesNotFitFailsTheEntry) {
    InstallHost();
    const std::string fits(kLongestPath - source_.path().size() - 1, 's');
    source_.WriteFile(fits, "fits");
    source_.WriteFile("third.txt", "third");
    WriteScript(fits + "=fits.txt\r\n" + fits + "s=long.txt\r\nthird.txt=third.txt\r\n");
    ASSERT_EQ(kLongestPath, Source(fits).size());
    RunResult result = Run();
    EXPECT_TRUE(RunShowed(result, 0,
                          {ConfirmBox(), CopyErrorBox(Source(fits), Destination("long.txt"),
                                                      ERROR_FILENAME_EXCED_RANGE)}));
    EXPECT_TRUE(FileIs(Destination("fits.txt"), "fits")) << result.Describe();
    EXPECT_TRUE(IsAbsent(Destination("long.txt"))) << result.Describe();
    EXPECT_TRUE(IsAbsent(Destination("third.txt"))) << result.Describe();
}

// The same for a destination: the first entry's destination is what fits of the second's.
TEST_F(LimitTest, DestinationPathThatDoesNotFitFailsTheEntry) {
    InstallHost();
    const std::string fits(kLongestPath - hostFolder_.size() - 1, 'd');
    source_.WriteFile("one.txt", "one");
    source_.WriteFile("two.txt", "two");
    source_.WriteFile("third.txt", "third");
    WriteScript("one.txt=" + fits + "\r\ntwo.txt=" + fits + "d\r\nthird.txt=third.txt\r\n");
    ASSERT_EQ(kLongestPath, Destination(fits).size());
    RunResult result = Run();
    EXPECT_TRUE(RunShowed(result, 0,
                          {ConfirmBox(), CopyErrorBox(Source("two.txt"), Destination(fits),
                                                      ERROR_FILENAME_EXCED_RANGE)}));
    EXPECT_TRUE(FileIs(Destination(fits), "one")) << result.Describe();
    EXPECT_TRUE(IsAbsent(Destination("third.txt"))) << result.Describe();
}

// FILES lines whose key names all lead to one source ("k00001xxx...\..\a.txt") and take
// exactly listBytes bytes in the key list, terminators included, about nameLength bytes a
// name. The last entry alone goes to lastValue.
std::string KeyListLines(size_t listBytes, size_t nameLength, const std::string& lastValue) {
    const std::string tail = "\\..\\a.txt";
    const size_t count = (listBytes + nameLength) / (nameLength + 1);
    std::string lines;
    for (size_t index = 0; index < count; ++index) {
        // The first names take one byte more each until the bytes add up.
        size_t bytes = listBytes / count + (index < listBytes % count ? 1 : 0);
        char head[16];
        snprintf(head, sizeof head, "k%05zu", index);
        std::string name = head + std::string(bytes - 1 - strlen(head) - tail.size(), 'x') + tail;
        bool last = index + 1 == count;
        lines += name + "=" + (last ? lastValue : "addgames\\Quintaro\\a.txt") + "\r\n";
    }
    return lines;
}

// The key list buffer holds 50,000 bytes. A list that fits is walked to its end; one that
// does not is refused before the progress window opens (a cut list would skip files and cut
// its last name into another), and nothing is copied.
TEST_F(LimitTest, KeyListThatDoesNotFitItsBufferIsRefused) {
    struct Case {
        const char* name;
        size_t listBytes;  // names with their terminators, without the list's final zero
        bool fits;
    };
    const Case cases[] = {
        {"largest list taken", 49997, true},
        {"one byte over the buffer", 50000, false},
        {"a name across the end", 50100, false},
    };
    source_.WriteFile("a.txt", "a");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder host("host");
        UseNewHost(host);
        InstallHost();
        WriteScript(KeyListLines(c.listBytes, 180, "addgames\\Quintaro\\last.txt"));
        RunResult result = Run();
        if (c.fits) {
            EXPECT_TRUE(RunShowed(result, 0, {ConfirmBox(), SuccessBox()}));
            EXPECT_EQ((std::vector<std::string>{"a.txt", "last.txt"}), FolderNames(AddOnFolder()))
                << result.Describe();
            EXPECT_TRUE(FileIs(AddOnFolder() + "\\last.txt", "a")) << result.Describe();
        } else {
            ASSERT_TRUE(RunShowed(
                result, 1,
                {ConfirmBox(), ScriptErrorBox("Too Many Entries", ScriptPath(), "FILES", "")}));
            EXPECT_FALSE(result.boxes[1].progress.exists) << "the progress window was open";
            EXPECT_EQ(std::vector<std::string>{}, FolderNames(AddOnFolder())) << result.Describe();
        }
    }
}

}  // namespace
