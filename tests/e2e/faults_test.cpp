// Copies that fail on the platform's side: each one ends the installation with the copy-error
// box and the platform's text, keeps what was copied before and leaves the sources alone.
#include "e2e/installer_fixture.h"

namespace {

// A disk of a few MiB (the ctest fixture mounts 4 MiB) and a file that cannot fit on it.
constexpr ULONGLONG kSmallDiskLimit = 64ull << 20;
constexpr size_t kLargerThanTheDisk = 6u << 20;

enum class Fault {
    kMissingSource,
    kDestinationHeldOpen,  // by another process, without sharing
    kReadOnlyDestination,  // there before, not made by setup.exe
    kDiskFull,
};

struct FaultCase {
    const char* name;
    Fault fault;
};

// Names the row in gtest's messages.
void PrintTo(const FaultCase& row, std::ostream* out) {
    *out << row.name;
}

const FaultCase kFaults[] = {
    {"MissingSource", Fault::kMissingSource},
    {"DestinationHeldOpen", Fault::kDestinationHeldOpen},
    {"ReadOnlyDestination", Fault::kReadOnlyDestination},
    {"DiskFull", Fault::kDiskFull},
};

// What the platform does to a copy onto a read-only file: Windows refuses with
// ERROR_ACCESS_DENIED, Wine run as root overwrites it. 0 when it overwrites.
DWORD ReadOnlyOverwriteError() {
    ScratchFolder probe("probe");
    std::string from = probe.WriteFile("from.txt", "new");
    std::string onto = probe.WriteFile("onto.txt", "old");
    SetFileAttributesA(onto.c_str(), FILE_ATTRIBUTE_READONLY);
    return CopyFileA(from.c_str(), onto.c_str(), FALSE) ? 0 : GetLastError();
}

class CopyFaultTest : public InstallerTest, public ::testing::WithParamInterface<FaultCase> {};

// Three entries; the second one meets the fault, the third is never tried.
TEST_P(CopyFaultTest, EndsTheInstallationWithThePlatformsText) {
    const Fault fault = GetParam().fault;
    std::unique_ptr<ScratchFolder> disk;
    if (fault == Fault::kDiskFull) {
        ULARGE_INTEGER size = {};
        if (g_smallDisk.empty() ||
            !GetDiskFreeSpaceExA((g_smallDisk + "\\").c_str(), nullptr, &size, nullptr) ||
            size.QuadPart > kSmallDiskLimit) {
            GTEST_SKIP()
                << "no small disk at \"" << g_smallDisk
                << "\" (--small-disk; the ctest fixture e2e_mount_disk mounts one as root)";
        }
        disk = std::make_unique<ScratchFolder>("host", g_smallDisk);
        hostFolder_ = disk->path();
    }
    InstallHost();
    const std::string second =
        fault == Fault::kDiskFull ? BinaryBytes(kLargerThanTheDisk) : std::string("second");
    source_.WriteFile("first.txt", "first");
    if (fault != Fault::kMissingSource) {
        source_.WriteFile("second.bin", second);
    }
    source_.WriteFile("third.txt", "third");
    WriteScript(
        "first.txt=addgames\\Quintaro\\first.txt\r\n"
        "second.bin=addgames\\Quintaro\\second.bin\r\n"
        "third.txt=addgames\\Quintaro\\third.txt\r\n");
    const std::string destination = AddOnFolder() + "\\second.bin";

    DWORD error = ERROR_SUCCESS;
    HANDLE held = INVALID_HANDLE_VALUE;
    switch (fault) {
        case Fault::kMissingSource:
            error = ERROR_FILE_NOT_FOUND;
            break;
        case Fault::kDestinationHeldOpen:
            ASSERT_TRUE(CreateDirectoryA(AddOnFolder().c_str(), nullptr));
            held = CreateFileA(destination.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(INVALID_HANDLE_VALUE, held);
            error = ERROR_SHARING_VIOLATION;
            break;
        case Fault::kReadOnlyDestination:
            ASSERT_TRUE(CreateDirectoryA(AddOnFolder().c_str(), nullptr));
            host_.WriteFile("addgames\\Quintaro\\second.bin", "old");
            ASSERT_TRUE(SetFileAttributesA(destination.c_str(), FILE_ATTRIBUTE_READONLY));
            error = ReadOnlyOverwriteError();
            break;
        case Fault::kDiskFull:
            error = ERROR_DISK_FULL;
            break;
    }
    RunResult result = Run();
    if (held != INVALID_HANDLE_VALUE) {
        CloseHandle(held);
    }

    if (error == ERROR_SUCCESS) {
        // This platform overwrites read-only files: the entry is copied like any other.
        EXPECT_TRUE(RunShowed(result, 0, {ConfirmBox(), SuccessBox()}));
        EXPECT_TRUE(FileIs(destination, second)) << result.Describe();
        EXPECT_TRUE(FileIs(AddOnFolder() + "\\third.txt", "third")) << result.Describe();
    } else {
        EXPECT_TRUE(RunShowed(
            result, 0, {ConfirmBox(), CopyErrorBox(Source("second.bin"), destination, error)}));
        EXPECT_TRUE(IsAbsent(AddOnFolder() + "\\third.txt")) << result.Describe();
    }
    EXPECT_TRUE(FileIs(AddOnFolder() + "\\first.txt", "first")) << result.Describe();
    if (fault == Fault::kDestinationHeldOpen) {
        EXPECT_TRUE(FileIs(destination, "")) << result.Describe();
    }
    if (fault == Fault::kReadOnlyDestination && error != ERROR_SUCCESS) {
        EXPECT_TRUE(FileIs(destination, "old", FILE_ATTRIBUTE_READONLY)) << result.Describe();
    }
    // The sources are only read.
    EXPECT_TRUE(FileIs(Source("first.txt"), "first"));
    if (fault != Fault::kMissingSource) {
        EXPECT_TRUE(FileIs(Source("second.bin"), second));
    }
    EXPECT_TRUE(FileIs(Source("third.txt"), "third"));
}

INSTANTIATE_TEST_SUITE_P(Faults, CopyFaultTest, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<FaultCase>& row) {
                             return std::string(row.param.name);
                         });

}  // namespace
