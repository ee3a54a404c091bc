// LoadSetupInfo's host probe against real registry keys and files, and the two platform
// reads it is made of: ReadRegistryString and FileExists.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "setup/setup.h"
#include "support/scratch.h"

namespace {

constexpr char kAppPaths[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

enum class Program { kNone, kFile, kFolder };

// One host installation as the registry and the disk show it, under names of its own: a
// scratch folder holding the script and the host folder "host", the maker's keys below
// Software\<firm> and the App Paths key of the program.
class HostScene {
  public:
    HostScene() : firmKey_("Software\\" + firm) {}

    std::string host() const { return folder_ / "host"; }

    // The program's App Paths key with its "Path" value; "{host}" stands for host().
    void SetPath(const std::string& value) {
        appPaths_ = std::make_unique<ScratchMachineKey>(kAppPaths + program);
        appPaths_->SetString("Path", value);
    }
    // The maker's key Software\<firm>\<product>, with its "version" value unless nullptr;
    // for REG_DWORD the text is the number.
    void SetMakerKey(const std::string& keyProduct, const char* version, DWORD type = REG_SZ) {
        maker_ = std::make_unique<ScratchMachineKey>("Software\\" + firm + "\\" + keyProduct);
        if (version != nullptr && type == REG_DWORD) {
            maker_->SetDword("version", static_cast<DWORD>(strtoul(version, nullptr, 10)));
        } else if (version != nullptr) {
            maker_->SetString("version", version);
        }
    }
    void PlaceProgram(Program kind, const std::string& name) const {
        CreateDirectoryA(host().c_str(), nullptr);
        if (kind == Program::kFile) {
            folder_.WriteFile("host\\" + name, "MZ");
        } else if (kind == Program::kFolder) {
            CreateDirectoryA((host() + "\\" + name).c_str(), nullptr);
        }
    }

    // Writes COMMON and runs LoadSetupInfo on a zeroed record.
    std::unique_ptr<SetupInfo> Load() const {
        const std::string script =
            folder_.WriteFile("setup.isc", "[COMMON]\r\nProductName=" + product +
                                               "\r\nVersion=0x96\r\nProgramExe=" + program +
                                               "\r\nFirmName=" + firm + "\r\n");
        auto info = std::make_unique<SetupInfo>();  // value-initialised: all zero
        EXPECT_TRUE(CopyText(info->scriptPath, script.c_str()));
        LoadSetupInfo(*info);
        EXPECT_EQ(product, info->productName);
        EXPECT_EQ(firm, info->firmName);
        EXPECT_EQ(program, info->programFile);
        EXPECT_EQ(150, info->productVersion);
        return info;
    }

    std::string firm = UniqueName("Firm");
    std::string product = "Zorvane";
    std::string program = UniqueName("host") + ".exe";

  private:
    ScratchFolder folder_{"probe"};
    ScratchMachineKey firmKey_;  // removes every maker key below it
    std::unique_ptr<ScratchMachineKey> appPaths_;
    std::unique_ptr<ScratchMachineKey> maker_;
};

std::string Expand(std::string text, const std::string& host) {
    const std::string token = "{host}";
    size_t at = text.find(token);
    if (at != std::string::npos) {
        text.replace(at, token.size(), host);
    }
    return text;
}

TEST(HostProbe, OutcomeFollowsTheRegistryAndTheProgramFile) {
    struct Row {
        const char* name;
        const char* path;     // "Path" value, "{host}" expanded; nullptr: no App Paths key
        bool makerKey;        // Software\<firm>\<product> exists
        const char* version;  // its "version" value; nullptr: none
        DWORD versionType;
        Program program;
        int32_t installed;
        const char* hostFolder;  // expected; nullptr: not relied upon
    };
    static const Row rows[] = {
        {"no App Paths key", nullptr, true, "150", REG_SZ, Program::kFile, 0, ""},
        {"empty Path", "", true, "150", REG_SZ, Program::kFile, 0, ""},
        {"no maker key", "{host}", false, nullptr, REG_SZ, Program::kFile, 0, "{host}"},
        {"maker key without version", "{host}", true, nullptr, REG_SZ, Program::kFile, 0, "{host}"},
        {"version not an integer", "{host}", true, "abc", REG_SZ, Program::kFile, 0, "{host}"},
        {"version 0", "{host}", true, "0", REG_SZ, Program::kFile, 0, "{host}"},
        {"program file missing", "{host}", true, "150", REG_SZ, Program::kNone, 0, "{host}"},
        {"host present", "{host}", true, "150", REG_SZ, Program::kFile, 150, "{host}"},
        {"Path ending in backslash", "{host}\\", true, "150", REG_SZ, Program::kFile, 150,
         "{host}\\"},
        {"Path ending in slash", "{host}/", true, "150", REG_SZ, Program::kFile, 150, "{host}/"},
        {"Path ending in semicolon is kept", "{host};", true, "150", REG_SZ, Program::kFile, 0,
         "{host};"},
        {"Path in quotes is kept", "\"{host}\"", true, "150", REG_SZ, Program::kFile, 0,
         "\"{host}\""},
        {"version -3 counts", "{host}", true, "-3", REG_SZ, Program::kFile, -3, "{host}"},
        {"version 1.50 reads as 1", "{host}", true, "1.50", REG_SZ, Program::kFile, 1, "{host}"},
        {"version as REG_DWORD 150: its bytes hold no integer", "{host}", true, "150", REG_DWORD,
         Program::kFile, 0, "{host}"},
        {"a folder named like the program", "{host}", true, "150", REG_SZ, Program::kFolder, 0,
         "{host}"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        HostScene scene;
        if (row.path != nullptr) {
            scene.SetPath(Expand(row.path, scene.host()));
        }
        if (row.makerKey) {
            scene.SetMakerKey(scene.product, row.version, row.versionType);
        }
        scene.PlaceProgram(row.program, scene.program);
        std::unique_ptr<SetupInfo> info = scene.Load();
        EXPECT_EQ(row.installed, info->installedVersion);
        if (row.hostFolder != nullptr) {
            EXPECT_EQ(Expand(row.hostFolder, scene.host()), info->hostFolder);
        }
    }
}

TEST(HostProbe, PathOf259CharactersIsUnreadable) {
    HostScene scene;
    std::string path = scene.host() + ";";
    path.resize(kPathSize - 1, ';');  // 260 bytes with its terminator
    scene.SetPath(path);
    scene.SetMakerKey(scene.product, "150");
    scene.PlaceProgram(Program::kFile, scene.program);
    EXPECT_EQ(0, scene.Load()->installedVersion);
}

// A key path or program path that does not fit its buffer is not used, though its cut names
// a key or a file that exists: each pair shows the fit at the last byte, then one byte over.
TEST(HostProbe, MakerKeyPathThatDoesNotFitIsNotLookedUp) {
    struct Row {
        const char* name;
        size_t over;  // characters past the longest key path
        bool fits;
    };
    static const Row rows[] = {{"1023 characters: looked up", 0, true},
                               {"1024 characters: missing, though its cut exists", 1, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        HostScene scene;
        // A key name has at most 255 characters: the long path takes several levels.
        for (int level = 0; level < 4; ++level) {
            scene.firm += "\\" + std::string(200, 'f');
        }
        const std::string keyPath = "Software\\" + scene.firm + "\\";
        ASSERT_GT(kNameSize - 1, keyPath.size());
        const std::string keyProduct(kNameSize - 1 - keyPath.size(), 'p');
        ASSERT_GE(255u, keyProduct.size());
        scene.product = keyProduct + std::string(row.over, 'p');
        scene.SetPath(scene.host());
        scene.PlaceProgram(Program::kFile, scene.program);

        // Wine's ANSI registry calls refuse key paths of more than 260 characters
        // (ERROR_MORE_DATA): the key is made through the wide call, and where the ANSI open
        // cannot reach it even the path that fits reads as a missing host.
        const std::string fullPath = keyPath + keyProduct;
        const std::wstring wideFullPath(fullPath.begin(), fullPath.end());
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExW(HKEY_LOCAL_MACHINE, wideFullPath.c_str(), 0, nullptr, 0,
                                  KEY_SET_VALUE | kOwnRegistryView, nullptr, &key, nullptr));
        const wchar_t version[] = L"150";
        RegSetValueExW(key, L"version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                       sizeof version);
        RegCloseKey(key);
        const bool ansiOpens = RegOpenKeyExA(HKEY_LOCAL_MACHINE, fullPath.c_str(), 0,
                                             KEY_QUERY_VALUE, &key) == ERROR_SUCCESS;
        if (ansiOpens) {
            RegCloseKey(key);
        }

        std::unique_ptr<SetupInfo> info = scene.Load();
        EXPECT_EQ(row.fits && ansiOpens ? 150 : 0, info->installedVersion);
        EXPECT_EQ(scene.host(), info->hostFolder);
    }
}

TEST(HostProbe, ProgramPathThatDoesNotFitIsNotTested) {
    struct Row {
        const char* name;
        size_t over;  // characters past the longest program path
        int32_t installed;
    };
    static const Row rows[] = {{"259 characters: tested", 0, 150},
                               {"260 characters: missing, though its cut exists", 1, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        HostScene scene;
        const size_t nameLength = kPathSize - 1 - scene.host().size() - 1;
        ASSERT_LT(scene.program.size(), nameLength);
        ASSERT_GT(255u, nameLength);
        // Wine's ANSI registry calls take key paths of at most 260 characters.
        ASSERT_GE(260u, strlen(kAppPaths) + nameLength + row.over);
        const std::string fileName =
            scene.program + std::string(nameLength - scene.program.size(), 'x');
        scene.program = fileName + std::string(row.over, 'x');
        scene.SetPath(scene.host());
        scene.SetMakerKey(scene.product, "150");
        scene.PlaceProgram(Program::kFile, fileName);
        EXPECT_EQ(row.installed, scene.Load()->installedVersion);
    }
}

TEST(FileExists, CountsOnlyAFileThatOpensForSharedReading) {
    ScratchFolder folder("exists");
    const std::string file = folder.WriteFile("host.exe", "MZ");
    CreateDirectoryA((folder / "folder.exe").c_str(), nullptr);
    EXPECT_EQ(1, FileExists(file.c_str()));
    EXPECT_EQ(0, FileExists((folder / "folder.exe").c_str()));
    EXPECT_EQ(0, FileExists((folder / "missing.exe").c_str()));

    // Sharing is checked between handles of one process too (Wine does it as Windows does),
    // so a handle of our own plays the other process.
    struct Row {
        const char* name;
        DWORD access;
        DWORD share;
        int exists;
    };
    static const Row rows[] = {
        {"held without sharing", GENERIC_READ, 0, 0},
        {"held for writing, shared for writing only", GENERIC_WRITE, FILE_SHARE_WRITE, 0},
        {"held for writing, shared for reading and writing", GENERIC_READ | GENERIC_WRITE,
         FILE_SHARE_READ | FILE_SHARE_WRITE, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        HANDLE held = CreateFileA(file.c_str(), row.access, row.share, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
        EXPECT_EQ(row.exists, FileExists(file.c_str()));
        CloseHandle(held);
    }
}

// Data goes in as REG_BINARY where it must lack a terminator: the registry adds a forgotten
// one to REG_SZ data. The type is never looked at.
TEST(ReadRegistryString, TakesAtMost259BytesAndTerminatesThem) {
    ScratchMachineKey key("Software\\" + UniqueName("ReadRegistry"));
    struct Row {
        const char* name;
        DWORD type;
        std::string data;  // the bytes stored; empty: no value
        int result;
        std::string text;  // when read: the bytes up to and with the terminator written
    };
    const Row rows[] = {
        {"text with its terminator: the byte after it is set too", REG_SZ, std::string("12\0", 3),
         1, std::string("12\0\0", 4)},
        {"259 bytes without terminator", REG_BINARY, std::string(259, 'a'), 1,
         std::string(259, 'a') + '\0'},
        {"258 characters and terminator", REG_SZ, std::string(258, 'a') + '\0', 1,
         std::string(258, 'a') + std::string(2, '\0')},
        {"260 bytes: unreadable", REG_BINARY, std::string(260, 'a'), 0, ""},
        {"259 characters and terminator: unreadable", REG_SZ, std::string(259, 'a') + '\0', 0, ""},
        {"REG_DWORD: its bytes", REG_DWORD, std::string("\x96\0\0\0", 4), 1,
         std::string("\x96\0\0\0\0", 5)},
        {"REG_EXPAND_SZ unexpanded", REG_EXPAND_SZ, std::string("%TEMP%\0", 7), 1,
         std::string("%TEMP%\0\0", 8)},
        {"no such value", REG_SZ, "", 0, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string valueName = UniqueName("v");
        if (!row.data.empty()) {
            key.SetValue(valueName.c_str(), row.type, row.data.data(),
                         static_cast<DWORD>(row.data.size()));
        }
        struct {
            char text[kPathSize];
            char guard[8];
        } destination;
        memset(&destination, 0xCC, sizeof destination);
        EXPECT_EQ(row.result, ReadRegistryString(HKEY_LOCAL_MACHINE, key.subKey().c_str(),
                                                 valueName.c_str(), destination.text));
        if (row.result == 1) {
            EXPECT_EQ(row.text, std::string(destination.text, row.text.size()));
            if (row.text.size() < kPathSize) {
                EXPECT_EQ('\xCC', destination.text[row.text.size()]) << "past the terminator";
            }
        }
        EXPECT_EQ(std::string(8, '\xCC'), std::string(destination.guard, sizeof destination.guard));
    }
    char destination[kPathSize];
    EXPECT_EQ(0, ReadRegistryString(HKEY_LOCAL_MACHINE, (key.subKey() + "\\missing").c_str(), "v",
                                    destination));
}

}  // namespace
