// The start-up run: the script's COMMON section, the host probe and the confirmation.
#include "e2e/installer_fixture.h"

namespace {

int PressCancel(const BoxRecord&, size_t) {
    return IDCANCEL;
}

}  // namespace

TEST_F(InstallerTest, CancelEndsTheRunWithoutAnotherBox) {
    InstallHost();
    WriteScript("a.txt=addgames\\Quintaro\\a.txt\r\n");
    source_.WriteFile("a.txt", "a");
    RunResult result = Run(PressCancel);
    ASSERT_FALSE(result.timedOut) << result.Describe();
    EXPECT_EQ(0u, result.exitCode);
    ASSERT_EQ(1u, result.boxes.size()) << result.Describe();
    EXPECT_TRUE(BoxIs(result, 0, Title(), kConfirmText, "question"));
    EXPECT_EQ((std::vector<int>{IDOK, IDCANCEL}), result.boxes[0].buttons);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((host_ / "addgames\\Quintaro").c_str()));
}

TEST_F(InstallerTest, HostMissingIsToldOnlyAfterOk) {
    WriteScript(nullptr);
    RunResult result = Run();
    ASSERT_FALSE(result.timedOut) << result.Describe();
    EXPECT_EQ(0u, result.exitCode);
    ASSERT_EQ(2u, result.boxes.size()) << result.Describe();
    EXPECT_TRUE(BoxIs(result, 0, Title(), kConfirmText, "question"));
    EXPECT_TRUE(BoxIs(result, 1, Title(), kNotFoundText, "error"));
    EXPECT_EQ((std::vector<int>{IDOK}), result.boxes[1].buttons);
}
