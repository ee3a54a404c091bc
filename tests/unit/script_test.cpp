// The script operations against real files, read by the platform's profile reader.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "setup/setup.h"
#include "support/scratch.h"

namespace {

using Entry = std::pair<std::string, std::string>;

// What the entry handler saw; the handler fails on the call whose number is failAt.
struct Recorder {
    std::vector<Entry> entries;
    size_t failAt = 0;
};
Recorder g_recorder;

int RecordEntry(const char* key, const char* value) {
    g_recorder.entries.emplace_back(key, value);
    return g_recorder.entries.size() == g_recorder.failAt ? 0 : 1;
}

void ResetRecorder(size_t failAt = 0) {
    g_recorder = Recorder{};
    g_recorder.failAt = failAt;
}

class ScriptTest : public ::testing::Test {
  protected:
    // Writes the script and returns its path.
    std::string Script(const std::string& text) const {
        return folder_.WriteFile("setup.isc", text);
    }
    std::string MissingScript() const { return folder_ / "missing.isc"; }

    ScratchFolder folder_{"script"};
};

TEST_F(ScriptTest, ReadScriptStringTreatsEveryEmptyFormAlikeAndCutsLongValues) {
    const std::string longValue(300, 'v');
    const std::string script =
        Script("[COMMON]\r\nProductName=Zorvane\r\nEmpty=\r\nLong=" + longValue +
               "\r\n[FILES]\r\na=b\r\n");
    struct Row {
        const char* name;
        std::string path;
        const char* section;
        const char* key;
        int result;
        std::string text;
    };
    const Row rows[] = {
        {"missing file", MissingScript(), "COMMON", "ProductName", 0, ""},
        {"missing section", script, "OTHER", "ProductName", 0, ""},
        {"missing key", script, "COMMON", "FirmName", 0, ""},
        {"empty value", script, "COMMON", "Empty", 0, ""},
        {"value", script, "COMMON", "ProductName", 1, "Zorvane"},
        {"300 characters cut to 259", script, "COMMON", "Long", 1, longValue.substr(0, 259)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        struct {
            char text[kPathSize];
            char guard[8];
        } buffer;
        memset(&buffer, 0xCC, sizeof buffer);
        EXPECT_EQ(row.result, ReadScriptString(row.path.c_str(), row.section, row.key, buffer.text,
                                               /*required=*/false));
        EXPECT_EQ(row.text, std::string(buffer.text, strnlen(buffer.text, sizeof buffer.text)));
        EXPECT_EQ(std::string(8, '\xCC'), std::string(buffer.guard, sizeof buffer.guard));
    }
}

TEST_F(ScriptTest, ReadScriptIntConvertsOrLeavesTheValueAlone) {
    // 64 characters: only the first 63 are read, which drops the final digit.
    const std::string cutHex = "0x" + std::string(59, '0') + "961";
    const std::string script = Script(
        "[COMMON]\r\nVersion=150\r\nHex=0x96\r\nPoint=1.50\r\nNegative=-5\r\n"
        "Cut=" +
        cutHex + "\r\nEmpty=\r\n");
    struct Row {
        const char* name;
        const char* key;
        bool required;
        int result;
        int32_t value;
    };
    constexpr int32_t kUntouched = 0x5A5A5A5A;
    static const Row rows[] = {
        {"decimal", "Version", true, 1, 150},
        {"hexadecimal", "Hex", true, 1, 150},
        {"stops at the point", "Point", true, 1, 1},
        {"negative", "Negative", false, 1, -5},
        {"read as its first 63 characters", "Cut", true, 1, 150},
        {"missing, not required", "Missing", false, 0, kUntouched},
        {"empty, not required", "Empty", false, 0, kUntouched},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        int32_t value = kUntouched;
        EXPECT_EQ(row.result,
                  ReadScriptInt(script.c_str(), "COMMON", row.key, &value, row.required));
        EXPECT_EQ(row.value, value);
    }
}

TEST_F(ScriptTest, ForEachScriptEntryStopsOnlyWhenAsked) {
    const std::string script = Script("[FILES]\r\na=1\r\nb=2\r\nc=3\r\n");
    struct Row {
        const char* name;
        bool stopAtFailure;
        size_t calls;
    };
    static const Row rows[] = {{"stop flag set", true, 2}, {"stop flag clear", false, 3}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ResetRecorder(/*failAt=*/2);
        EXPECT_EQ(0, ForEachScriptEntry(script.c_str(), "FILES", RecordEntry, row.stopAtFailure));
        EXPECT_EQ(row.calls, g_recorder.entries.size());
    }
}

TEST_F(ScriptTest, ForEachScriptEntryHandsEntriesInLineOrder) {
    const std::string longValue(300, 'v');
    const std::string script = Script(
        "[COMMON]\r\nProductName=Zorvane\r\n[FILES]\r\nzeta.dat=z\\zeta.dat\r\n"
        "alpha.dat=\r\nmid.dat=" +
        longValue + "\r\n[OTHER]\r\nother.dat=o\r\n");
    ResetRecorder();
    EXPECT_EQ(1, ForEachScriptEntry(script.c_str(), "FILES", RecordEntry, true));
    // The empty value follows a non-empty one: the shared value buffer must not leak it.
    const std::vector<Entry> expected = {
        {"zeta.dat", "z\\zeta.dat"}, {"alpha.dat", ""}, {"mid.dat", longValue.substr(0, 259)}};
    EXPECT_EQ(expected, g_recorder.entries);
}

TEST_F(ScriptTest, CountScriptEntriesMatchesTheWalk) {
    struct Row {
        const char* name;
        const char* text;  // nullptr: no script file
        size_t count;
    };
    static const Row rows[] = {
        {"no script file", nullptr, 0},
        {"no FILES section", "[COMMON]\r\nProductName=Zorvane\r\n", 0},
        {"empty FILES section", "[FILES]\r\n[OTHER]\r\nx=y\r\n", 0},
        {"one entry", "[FILES]\r\na=b\r\n", 1},
        {"comments, blank lines and empty values",
         "; the add-on\r\n[FILES]\r\n; data\r\na=\r\n\r\nb=c\r\nd=e\r\n[COMMON]\r\nx=y\r\n", 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = row.text != nullptr ? Script(row.text) : MissingScript();
        EXPECT_EQ(static_cast<int>(row.count), CountScriptEntries(path.c_str(), "FILES"));
        ResetRecorder();
        EXPECT_EQ(1, ForEachScriptEntry(path.c_str(), "FILES", RecordEntry, true));
        EXPECT_EQ(row.count, g_recorder.entries.size());
    }
}

// The reader's count for a key list is its bytes of names and their zeros. A list that does
// not fit comes back as kKeyListSize - 2, which ends the run, so kKeyListSize - 3 is the
// longest list taken. (Wine, asked for 60,000 bytes of names in 50,000, returns 49,998 with
// the last name cut and one zero at index 49,998, leaving the final byte unwritten; a list
// that would just fit comes back the same way.)
TEST_F(ScriptTest, LongestKeyListIsCountedAndWalkedWhole) {
    constexpr size_t kListBytes = kKeyListSize - 3;
    std::string text = "[FILES]\r\n";
    std::vector<std::string> names;
    size_t bytes = 0;
    while (bytes + 2 * 11 <= kListBytes) {
        const std::string number = std::to_string(names.size());
        names.push_back("f" + std::string(5 - number.size(), '0') + number + ".dat");
        bytes += names.back().size() + 1;
    }
    names.push_back(std::string(kListBytes - bytes - 1, 'z'));  // the rest of the list
    for (const std::string& name : names) {
        text += name + "=d\r\n";
    }
    const std::string script = Script(text);

    EXPECT_EQ(static_cast<int>(names.size()), CountScriptEntries(script.c_str(), "FILES"));
    ResetRecorder();
    EXPECT_EQ(1, ForEachScriptEntry(script.c_str(), "FILES", RecordEntry, true));
    ASSERT_EQ(names.size(), g_recorder.entries.size());
    for (size_t i = 0; i < names.size(); ++i) {
        ASSERT_EQ(names[i], g_recorder.entries[i].first) << "entry " << i;
    }
}

}  // namespace
