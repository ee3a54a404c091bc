// Fixtures made and removed by one test: a temporary folder with files in it, and a
// registry key under a name unique to the test.
#pragma once

#include <windows.h>

#include <string>

// A new empty folder below the temp folder (or below parent), removed with everything in it
// at the end.
class ScratchFolder {
  public:
    explicit ScratchFolder(const char* tag = "t", const std::string& parent = "");
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The folder's Windows path, without a trailing backslash.
    const std::string& path() const { return path_; }
    // path() joined with a relative name.
    std::string operator/(const std::string& relative) const;
    // Writes a file below the folder (making its folders), returns its full path.
    std::string WriteFile(const std::string& relative, const std::string& bytes) const;

  private:
    std::string path_;
};

// Reads a whole file; sets *ok to false when it cannot be read.
std::string ReadWholeFile(const std::string& path, bool* ok = nullptr);

// Removes a folder and everything below it; read-only files too.
void RemoveTree(const std::string& path);

// A name unique within the test run (process id, counter, tick count), for registry keys,
// file names and folder names of one test.
std::string UniqueName(const char* tag);

// The registry view this process reads by itself: a 32-bit program in a 64-bit system reads
// the 32-bit one (Wow6432Node), as does the 32-bit setup.exe.
constexpr REGSAM kOwnRegistryView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;

// The registry view that the program in the file at path reads by itself: the 32-bit view
// for a 32-bit (i386) program, the 64-bit view otherwise.
REGSAM RegistryViewOfProgram(const std::string& path);

// A key below HKEY_LOCAL_MACHINE made for one test in the given registry view
// (KEY_WOW64_64KEY or KEY_WOW64_32KEY) and removed with its subkeys at the end.
class ScratchMachineKey {
  public:
    ScratchMachineKey(const std::string& subKey, REGSAM view = kOwnRegistryView);
    ~ScratchMachineKey();
    ScratchMachineKey(const ScratchMachineKey&) = delete;
    ScratchMachineKey& operator=(const ScratchMachineKey&) = delete;

    // Sets a value of any type from raw bytes.
    void SetValue(const char* name, DWORD type, const void* data, DWORD size) const;
    void SetString(const char* name, const std::string& text) const;
    void SetDword(const char* name, DWORD value) const;
    const std::string& subKey() const { return subKey_; }

  private:
    std::string subKey_;
    REGSAM view_;
    HKEY key_ = nullptr;
};
