// The system's text for a failed copy: read from the last error, allocated by the system,
// and nothing at all when the system has no text for the code.
#include <gtest/gtest.h>

#include <string>

#include "run/run.h"

namespace {

struct ErrorTextCase {
    const char* name;
    DWORD error;
    bool hasText;
};

// What the platform itself says for error, "" for nothing.
std::string PlatformText(DWORD error) {
    char* text = nullptr;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&text),
        0, nullptr);
    std::string result = length != 0 ? std::string(text, length) : "";
    LocalFree(text);
    return result;
}

TEST(GetSystemErrorText, ReadsTheLastErrorAndGivesTheSystemsText) {
    const ErrorTextCase cases[] = {
        {"file not found", ERROR_FILE_NOT_FOUND, true},
        {"access denied", ERROR_ACCESS_DENIED, true},
        {"path too long", ERROR_FILENAME_EXCED_RANGE, true},
        {"disk full", ERROR_DISK_FULL, true},
        // A code of an application's own (bit 29): the system has no text, allocates
        // nothing, and the caller writes a text of its own with the number.
        {"no system text", 0x2000ABCD, false},
    };
    for (const ErrorTextCase& row : cases) {
        SCOPED_TRACE(row.name);
        DWORD error = 0xCCCCCCCC;
        SetLastError(row.error);
        char* text = GetSystemErrorText(&error);
        EXPECT_EQ(row.error, error);
        if (row.hasText) {
            ASSERT_NE(nullptr, text);
            EXPECT_EQ(PlatformText(row.error), text);
            EXPECT_EQ(nullptr, LocalFree(text));  // the system's own allocation
        } else {
            EXPECT_EQ(nullptr, text);
        }
    }
}

}  // namespace
