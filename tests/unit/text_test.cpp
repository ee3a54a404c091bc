// The text helpers: the script's integer syntax, and the bounded copy, join and format at
// the edges of their buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/text.h"

namespace {

constexpr unsigned char kPoison = 0xCC;

TEST(ScanScriptInt, ReadsTheScriptIntegerSyntax) {
    struct Row {
        const char* name;
        const char* text;
        bool scans;
        int32_t value;  // when it scans
    };
    static const Row rows[] = {
        {"decimal", "150", true, 150},
        {"stops at a point", "1.50", true, 1},
        {"stops at a letter", "150abc", true, 150},
        {"octal stops at 9", "019", true, 1},
        {"lone zero", "0", true, 0},
        {"zero then 8: the zero is the number", "08", true, 0},
        {"hexadecimal", "0x96", true, 150},
        {"hexadecimal, upper case", "0XaF", true, 175},
        {"octal", "0226", true, 150},
        {"minus", "-5", true, -5},
        {"plus", "+7", true, 7},
        {"minus hexadecimal", "-0x10", true, -16},
        {"white space of each kind", " \t\n\v\f\r42", true, 42},
        {"2^32 - 1 wraps to -1", "4294967295", true, -1},
        {"2^32 + 150 wraps to 150", "4294967446", true, 150},
        {"minus (2^32 - 1) wraps to 1", "-4294967295", true, 1},
        {"2^31 reads as the lowest int", "2147483648", true, INT32_MIN},
        {"hexadecimal wraps", "0x100000096", true, 150},
        {"octal wraps", "040000000226", true, 150},
        {"empty", "", false, 0},
        {"lone minus", "-", false, 0},
        {"lone plus", "+", false, 0},
        {"sign then blank", "- 5", false, 0},
        {"two signs", "+-5", false, 0},
        {"0x alone", "0x", false, 0},
        {"0x then no hexadecimal digit", "0xg", false, 0},
        {"letter first", "abc", false, 0},
        {"point first", ".5", false, 0},
        {"white space only", " \t\r\n", false, 0},
    };
    constexpr int32_t kUntouched = 0x5A5A5A5A;
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.name) + ": \"" + row.text + "\"");
        int32_t value = kUntouched;
        EXPECT_EQ(row.scans, ScanScriptInt(row.text, &value));
        EXPECT_EQ(row.scans ? row.value : kUntouched, value);
    }
}

// A buffer of kBuffer poisoned bytes, of which a call may use the first size: after the call
// it must hold exactly the expected image, the poison past the result untouched.
constexpr size_t kBuffer = 32;

struct Image {
    char bytes[kBuffer];
};

// Poison, then text with its terminator at the start.
Image Poisoned(const char* text) {
    Image image;
    memset(image.bytes, kPoison, sizeof image.bytes);
    memcpy(image.bytes, text, strlen(text) + 1);
    return image;
}

// start, with result and its terminator written over its beginning.
Image After(Image start, const char* result) {
    memcpy(start.bytes, result, strlen(result) + 1);
    return start;
}

std::string Differences(const Image& expected, const Image& got) {
    std::string text;
    for (size_t i = 0; i < kBuffer; ++i) {
        if (expected.bytes[i] != got.bytes[i]) {
            text += "byte " + std::to_string(i) + ": expected " +
                    std::to_string(static_cast<unsigned char>(expected.bytes[i])) + ", got " +
                    std::to_string(static_cast<unsigned char>(got.bytes[i])) + "\n";
        }
    }
    return text;
}

TEST(AppendPathComponent, JoinsWithOneSeparatorAndStaysInItsBuffer) {
    struct Row {
        const char* name;
        const char* path;
        size_t size;
        const char* component;
        bool fits;
        const char* result;
    };
    static const Row rows[] = {
        {"empty path takes the component alone", "", kBuffer, "a.exe", true, "a.exe"},
        {"a backslash between", "C:\\games", kBuffer, "a.exe", true, "C:\\games\\a.exe"},
        {"path ending in backslash", "C:\\games\\", kBuffer, "a.exe", true, "C:\\games\\a.exe"},
        {"path ending in slash", "C:/games/", kBuffer, "a.exe", true, "C:/games/a.exe"},
        {"drive root", "C:\\", kBuffer, "a.exe", true, "C:\\a.exe"},
        {"semicolon kept", "C:\\g;", kBuffer, "a.exe", true, "C:\\g;\\a.exe"},
        {"empty component still gets the separator", "ab", kBuffer, "", true, "ab\\"},
        {"exact fit", "ab", 7, "cde", true, "ab\\cde"},
        {"one short: cut", "ab", 6, "cde", false, "ab\\cd"},
        {"only the separator fits", "abc", 5, "d", false, "abc\\"},
        {"separator does not fit", "abc", 4, "d", false, "abc"},
        {"size 1, empty path", "", 1, "a", false, ""},
        {"size 1, empty path and component", "", 1, "", true, ""},
        {"unterminated path: cut at the last byte", "abcd", 4, "e", false, "abc"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Image start = Poisoned(row.path);
        Image got = start;
        EXPECT_EQ(row.fits, AppendPathComponentN(got.bytes, row.size, row.component));
        EXPECT_EQ("", Differences(After(start, row.result), got));
    }
}

TEST(CopyText, CopiesWithinItsBuffer) {
    struct Row {
        const char* name;
        size_t size;
        const char* text;
        bool fits;
        const char* result;
    };
    static const Row rows[] = {
        {"exact fit", 4, "abc", true, "abc"},
        {"one short: cut", 3, "abc", false, "ab"},
        {"size 1", 1, "abc", false, ""},
        {"size 1, empty text", 1, "", true, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Image start = Poisoned("");
        Image got = start;
        EXPECT_EQ(row.fits, CopyTextN(got.bytes, row.size, row.text));
        EXPECT_EQ("", Differences(After(start, row.result), got));
    }
}

TEST(FormatText, FormatsWithinItsBuffer) {
    struct Row {
        const char* name;
        size_t size;
        bool fits;
        const char* result;
    };
    static const Row rows[] = {
        {"exact fit", 8, true, "ab[-12]"},
        {"one short: cut", 7, false, "ab[-12"},
        {"size 1", 1, false, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Image start = Poisoned("");
        Image got = start;
        EXPECT_EQ(row.fits, FormatTextN(got.bytes, row.size, "%s[%d]", "ab", -12));
        EXPECT_EQ("", Differences(After(start, row.result), got));
    }
}

// The array forms take their size from the array: a member array followed by a guard.
TEST(TextHelpers, ArrayFormsStopAtTheArraysEnd) {
    struct Guarded {
        char text[8];
        unsigned char guard[8];
    };
    const unsigned char poisonedGuard[8] = {kPoison, kPoison, kPoison, kPoison,
                                            kPoison, kPoison, kPoison, kPoison};
    Guarded copied;
    memset(&copied, kPoison, sizeof copied);
    EXPECT_FALSE(CopyText(copied.text, "0123456789"));
    EXPECT_STREQ("0123456", copied.text);
    EXPECT_EQ(0, memcmp(poisonedGuard, copied.guard, sizeof copied.guard));

    Guarded joined;
    memset(&joined, kPoison, sizeof joined);
    strcpy(joined.text, "C:");
    EXPECT_FALSE(AppendPathComponent(joined.text, "long.exe"));
    EXPECT_STREQ("C:\\long", joined.text);
    EXPECT_EQ(0, memcmp(poisonedGuard, joined.guard, sizeof joined.guard));

    Guarded formatted;
    memset(&formatted, kPoison, sizeof formatted);
    EXPECT_FALSE(FormatText(formatted.text, "%s %s", "Zorvane", kAddOnName));
    EXPECT_STREQ("Zorvane", formatted.text);
    EXPECT_EQ(0, memcmp(poisonedGuard, formatted.guard, sizeof formatted.guard));
}

}  // namespace
