#include "support/scratch.h"

#include <cstdio>
#include <cstring>

namespace {

void MakeFolders(const std::string& path) {
    for (size_t at = path.find_first_of("\\/", 3); at != std::string::npos;
         at = path.find_first_of("\\/", at + 1)) {
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    }
    CreateDirectoryA(path.c_str(), nullptr);
}

}  // namespace

std::string UniqueName(const char* tag) {
    static unsigned counter;
    char name[96];
    snprintf(name, sizeof name, "%s-%lu-%u-%lu", tag, GetCurrentProcessId(), ++counter,
             GetTickCount());
    return name;
}

ScratchFolder::ScratchFolder(const char* tag, const std::string& parent) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    path_ = (parent.empty() ? std::string(temp) : parent + "\\") + "setup-tests-" + UniqueName(tag);
    MakeFolders(path_);
}

ScratchFolder::~ScratchFolder() {
    RemoveTree(path_);
}

std::string ScratchFolder::operator/(const std::string& relative) const {
    return path_ + "\\" + relative;
}

std::string ScratchFolder::WriteFile(const std::string& relative, const std::string& bytes) const {
    std::string full = *this / relative;
    size_t slash = full.find_last_of("\\/");
    MakeFolders(full.substr(0, slash));
    FILE* file = fopen(full.c_str(), "wb");
    if (file != nullptr) {
        fwrite(bytes.data(), 1, bytes.size(), file);
        fclose(file);
    }
    return full;
}

std::string ReadWholeFile(const std::string& path, bool* ok) {
    std::string bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (ok != nullptr) {
        *ok = file != nullptr;
    }
    if (file == nullptr) {
        return bytes;
    }
    char block[65536];
    for (size_t got; (got = fread(block, 1, sizeof block, file)) > 0;) {
        bytes.append(block, got);
    }
    fclose(file);
    return bytes;
}

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") {
                continue;
            }
            std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

ScratchMachineKey::ScratchMachineKey(const std::string& subKey, REGSAM view)
    : subKey_(subKey), view_(view) {
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, subKey_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view_,
                    nullptr, &key_, nullptr);
}

ScratchMachineKey::~ScratchMachineKey() {
    if (key_ != nullptr) {
        RegCloseKey(key_);
    }
    HKEY parent;
    size_t slash = subKey_.find_last_of('\\');
    std::string parentPath = slash == std::string::npos ? "" : subKey_.substr(0, slash);
    std::string leaf = slash == std::string::npos ? subKey_ : subKey_.substr(slash + 1);
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, parentPath.c_str(), 0, KEY_ALL_ACCESS | view_, &parent) ==
        ERROR_SUCCESS) {
        RegDeleteTreeA(parent, leaf.c_str());
        RegCloseKey(parent);
    }
}

void ScratchMachineKey::SetValue(const char* name, DWORD type, const void* data, DWORD size) const {
    RegSetValueExA(key_, name, 0, type, static_cast<const BYTE*>(data), size);
}

void ScratchMachineKey::SetString(const char* name, const std::string& text) const {
    SetValue(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void ScratchMachineKey::SetDword(const char* name, DWORD value) const {
    SetValue(name, REG_DWORD, &value, sizeof value);
}

REGSAM RegistryViewOfProgram(const std::string& path) {
    std::string image = ReadWholeFile(path);
    uint32_t peOffset = 0;
    uint16_t machine = 0;
    if (image.size() >= 0x40) {
        memcpy(&peOffset, image.data() + 0x3C, sizeof peOffset);
    }
    if (peOffset != 0 && static_cast<size_t>(peOffset) + 6 <= image.size()) {
        memcpy(&machine, image.data() + peOffset + 4, sizeof machine);
    }
    return machine == IMAGE_FILE_MACHINE_I386 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}
