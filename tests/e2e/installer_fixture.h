// The end-to-end fixture: a source folder with a setup.isc, a host game installed the way
// its own installation leaves it (App Paths "Path", the maker's "version", the program file,
// an "addgames" folder), and setup.exe run in the source folder under the window driver.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/scratch.h"
#include "support/window_driver.h"

// The program under test and the registry view it reads (set from the command line).
extern std::string g_program;
extern REGSAM g_registryView;

// The texts setup.exe shows, byte for byte.
extern const char kConfirmText[];
extern const char kNotFoundText[];
extern const char kSuccessText[];

class InstallerTest : public ::testing::Test {
  protected:
    ScratchFolder source_{"source"};
    ScratchFolder host_{"host"};
    // Unique per test, so that the registry keys are too.
    std::string programExe_ = UniqueName("zorvane") + ".exe";
    std::string firm_ = UniqueName("firm");
    std::string product_ = "Zorvane";

    // What the host's installation writes. hostPath "" means host_.path().
    void InstallHost(const std::string& version = "150", bool addGamesFolder = true,
                     const std::string& hostPath = "");
    // setup.isc with COMMON from the members and the given lines after a [FILES] header
    // (no FILES section when files is nullptr).
    void WriteScript(const char* files);
    // Writes setup.isc exactly as given.
    void WriteRawScript(const std::string& text) const;

    // Runs setup.exe in folder ("" for the source folder); answer defaults to OK everywhere.
    RunResult Run(BoxAnswer answer = nullptr, const std::string& folder = "") const;

    std::string Title() const { return product_ + " Quintaro"; }

  private:
    std::unique_ptr<ScratchMachineKey> appPathKey_;
    std::unique_ptr<ScratchMachineKey> firmKey_;
    std::unique_ptr<ScratchMachineKey> makerKey_;
};

// Whether box index of the run has this caption, text and icon and no owner window; the
// failure message shows every box of the run. An icon the driver could not tell apart
// ("icon") stands for any icon but none.
::testing::AssertionResult BoxIs(const RunResult& result, size_t index, const std::string& caption,
                                 const std::string& text, const std::string& icon);
