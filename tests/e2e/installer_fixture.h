// The end-to-end fixture: a source folder with a setup.isc, a host game installed the way
// its own installation leaves it (App Paths "Path", the maker's "version", the program file,
// an "addgames" folder), and setup.exe run in the source folder under the window driver.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/program_texts.h"
#include "support/scratch.h"
#include "support/window_driver.h"

// The program under test and the registry view it reads (set from the command line).
extern std::string g_program;
extern REGSAM g_registryView;
// Prepared outside Wine by the ctest fixtures; empty when not given.
extern std::string g_smallDisk;   // a folder on a disk of a few MiB (--small-disk=PATH)
extern std::string g_spareDrive;  // a drive letter such as "Y:" that maps a folder (--spare-drive)

// The caption the system gives a box shown with none (the copy-error box).
extern const char kDefaultCaption[];

// One message box as the user should see it.
struct ExpectedBox {
    std::string caption;
    std::string text;
    std::string icon;  // as BoxRecord::icon
    std::vector<int> buttons;
};

// The platform's text for a system error, as FormatMessageA gives it (with its line break).
std::string SystemText(DWORD error);

// The copy-error box for a failed copy from source to destination.
ExpectedBox CopyErrorBox(const std::string& source, const std::string& destination, DWORD error);

// The fatal box of a setup-script error: "Not Found", "Invalid INT format", ...
ExpectedBox ScriptErrorBox(const std::string& caption, const std::string& scriptPath,
                           const std::string& section, const std::string& key);

// The box of a source folder that cannot be used.
ExpectedBox InvalidPathBox();

// Whether the run ended by itself with exitCode after showing exactly these boxes in this
// order, none of them with an owner window. The failure message shows the whole run.
::testing::AssertionResult RunShowed(const RunResult& result, DWORD exitCode,
                                     const std::vector<ExpectedBox>& boxes);

// Whether path is a file that holds exactly these bytes and, of the attributes a user sets
// (read-only, hidden, system), exactly these; a copy made by setup.exe has none of them.
::testing::AssertionResult FileIs(const std::string& path, const std::string& bytes,
                                  DWORD attributes = 0);

// Writes a whole file; false when it cannot be written.
bool WriteWholeFile(const std::string& path, const std::string& bytes);

// Whether path names nothing at all.
::testing::AssertionResult IsAbsent(const std::string& path);

// The names in a folder, sorted; {"<no folder>"} when it cannot be listed.
std::vector<std::string> FolderNames(const std::string& folder);

// Makes a folder below parent whose path is exactly length characters long; returns its
// path, or "" when parent is already too long for it.
std::string MakeFolderOfLength(const std::string& parent, size_t length);

// A box answer that presses Cancel in the first box (the confirmation) and OK elsewhere.
int CancelConfirmation(const BoxRecord& box, size_t index);

// Bytes of every value, so that a copy that drops, reorders or translates any of them shows.
std::string BinaryBytes(size_t size);

class InstallerTest : public ::testing::Test {
  protected:
    ScratchFolder source_{"source"};
    ScratchFolder host_{"host"};
    // Where InstallHost puts the host game: host_ unless a test moves it before the call.
    std::string hostFolder_ = host_.path();
    // Unique per test, so that the registry keys are too.
    std::string programExe_ = UniqueName("zorvane") + ".exe";
    std::string firm_ = UniqueName("firm");
    std::string product_ = "Zorvane";

    // Points the fixture at a new host folder and program name, so that each row of a table
    // gets a host and registry keys of its own.
    void UseNewHost(const ScratchFolder& host) {
        hostFolder_ = host.path();
        programExe_ = UniqueName("zorvane") + ".exe";
    }

    // What the host's installation writes into hostFolder_ and the registry. pathValue is
    // the App Paths "Path" value, "" for hostFolder_ itself.
    void InstallHost(const std::string& version = "150", bool addGamesFolder = true,
                     const std::string& pathValue = "");
    // A setup.isc with COMMON from the members and the given lines after a [FILES] header
    // (no FILES section when files is nullptr).
    std::string ScriptText(const char* files) const;
    // Writes that script into the source folder.
    void WriteScript(const char* files) const;
    void WriteScript(const std::string& files) const { WriteScript(files.c_str()); }
    // Writes setup.isc exactly as given.
    void WriteRawScript(const std::string& text) const;

    // Runs setup.exe in folder ("" for the source folder); answer defaults to OK everywhere.
    RunResult Run(BoxAnswer answer = nullptr, const std::string& folder = "") const;

    std::string Title() const { return product_ + " Quintaro"; }
    std::string ScriptPath() const { return source_ / "setup.isc"; }
    std::string Source(const std::string& key) const { return source_ / key; }
    // The destination of a FILES value, below the host folder.
    std::string Destination(const std::string& value) const { return hostFolder_ + "\\" + value; }
    std::string AddOnFolder() const { return Destination("addgames\\Quintaro"); }

    ExpectedBox ConfirmBox() const;
    ExpectedBox SuccessBox() const;
    ExpectedBox NotFoundBox() const;

  private:
    std::unique_ptr<ScratchMachineKey> appPathKey_;
    std::unique_ptr<ScratchMachineKey> firmKey_;
    std::unique_ptr<ScratchMachineKey> makerKey_;
};
