// Fills the setup record: COMMON from the script, then the host probe, which only reads the
// registry and the file system and reports nothing; its one finding is a non-zero
// installed version.
#include <cstdio>

#include "setup/setup.h"

namespace {

constexpr char kAppPathsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths";
constexpr char kAppPathsFormat[] = "%s\\%s";
constexpr char kMakerKeyFormat[] = "Software\\%s\\%s";
constexpr char kHostFolderValue[] = "Path";
constexpr char kVersionValue[] = "version";

// The longest value data taken; the byte after it is the terminator.
constexpr DWORD kRegistryDataLimit = kPathSize - 1;

// The installed version of the host game described by info's COMMON values, 0 when it
// counts as missing; sets the host folder on the way.
int32_t ProbeHost(SetupInfo& info) {
    char keyPath[kNameSize];
    if (!FormatText(keyPath, kAppPathsFormat, kAppPathsKey, info.programFile)) {
        return 0;
    }
    if (!ReadMachineRegistryString(keyPath, kHostFolderValue, info.hostFolder) ||
        info.hostFolder[0] == '\0') {
        return 0;
    }
    // A cut key path could name another product's key.
    if (!FormatText(keyPath, kMakerKeyFormat, info.firmName, info.productName)) {
        return 0;
    }
    char versionText[kNameSize];
    if (!ReadMachineRegistryString(keyPath, kVersionValue, versionText)) {
        return 0;
    }
    int32_t version = 0;
    ScanScriptInt(versionText, &version);  // no integer leaves 0: the host counts as missing
    char programPath[kPathSize];
    if (!CopyText(programPath, info.hostFolder) ||
        !AppendPathComponent(programPath, info.programFile) || !FileExists(programPath)) {
        return 0;
    }
    return version;
}

}  // namespace

int ReadRegistryStringN(HKEY root, const char* subKey, const char* valueName, char* destination) {
    HKEY key;
    if (RegOpenKeyExA(root, subKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return 0;
    }
    DWORD type;  // whatever the type, the bytes are taken as text
    DWORD size = kRegistryDataLimit;
    LONG status = RegQueryValueExA(key, valueName, nullptr, &type,
                                   reinterpret_cast<BYTE*>(destination), &size);
    if (status == ERROR_SUCCESS) {
        destination[size] = '\0';  // data stored without its terminator ends here too
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? 1 : 0;
}

int FileExists(const char* path) {
    FILE* file = fopen(path, "rb");
    if (file == nullptr) {
        return 0;
    }
    fclose(file);
    return 1;
}

void LoadSetupInfo(SetupInfo& info) {
    ReadScriptString(info.scriptPath, kCommonSection, "ProductName", info.productName, true);
    ReadScriptInt(info.scriptPath, kCommonSection, "Version", &info.productVersion, true);
    ReadScriptString(info.scriptPath, kCommonSection, "ProgramExe", info.programFile, true);
    ReadScriptString(info.scriptPath, kCommonSection, "FirmName", info.firmName, true);
    info.installedVersion = ProbeHost(info);
}
