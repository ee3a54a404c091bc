// The resources and the file format of both built programs, read back from the files: the
// 32-bit product and its 64-bit twin. A 64-bit process reads a 32-bit program's resources by
// loading it as a data file.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "support/scratch.h"
#include "support/window_driver.h"
#include "version.h"

#ifndef RT_MANIFEST
#define RT_MANIFEST MAKEINTRESOURCE(24)
#endif

namespace {

constexpr WORD kEnglishUS = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);  // 1033
constexpr WORD kProgressDialog = 104;
constexpr WORD kIconGroup = 109;
constexpr WORD kStaticClassOrdinal = 0x0082;

struct Program {
    const char* name;
    const char* path;  // as the build gave it; a Linux path under Wine
    WORD machine;
    WORD optionalMagic;
};

std::string PrintProgram(const ::testing::TestParamInfo<Program>& info) {
    return info.param.name;
}

void PrintTo(const Program& program, std::ostream* out) {
    *out << program.name << " " << program.path;
}

// A name or ordinal field of a dialog template: 0xFFFF and a number, or a UTF-16 string.
struct NameOrOrdinal {
    bool isOrdinal = false;
    WORD ordinal = 0;
    std::wstring text;
};

std::string Describe(const NameOrOrdinal& field) {
    if (field.isOrdinal) {
        return "ordinal " + std::to_string(field.ordinal);
    }
    std::string narrow;
    for (wchar_t c : field.text) {
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return "\"" + narrow + "\"";
}

bool SameTextIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

// Reads a resource field by field and stops (failed()) at the first read past its end.
class TemplateReader {
  public:
    TemplateReader(const BYTE* data, size_t size) : data_(data), size_(size) {}

    WORD Word() {
        WORD value = 0;
        Take(&value, sizeof value);
        return value;
    }
    DWORD Dword() {
        DWORD value = 0;
        Take(&value, sizeof value);
        return value;
    }
    short Short() { return static_cast<short>(Word()); }

    NameOrOrdinal Field() {
        NameOrOrdinal field;
        WORD first = Word();
        if (first == 0xFFFF) {
            field.isOrdinal = true;
            field.ordinal = Word();
            return field;
        }
        for (WORD c = first; c != 0 && !failed_; c = Word()) {
            field.text += static_cast<wchar_t>(c);
        }
        return field;
    }

    // Skips to the next DWORD boundary; false when a skipped byte is not zero.
    bool AlignToDword() {
        bool zeros = true;
        while (at_ % 4 != 0 && at_ < size_) {
            zeros = zeros && data_[at_] == 0;
            ++at_;
        }
        return zeros;
    }

    size_t at() const { return at_; }
    bool failed() const { return failed_; }

  private:
    void Take(void* out, size_t count) {
        if (failed_ || size_ - at_ < count) {
            failed_ = true;
            return;
        }
        memcpy(out, data_ + at_, count);
        at_ += count;
    }

    const BYTE* data_;
    size_t size_;
    size_t at_ = 0;
    bool failed_ = false;
};

// The bytes of one resource in language 1033; empty when it is not there.
std::string ResourceBytes(HMODULE module, LPCSTR type, LPCSTR name) {
    HRSRC found = FindResourceExA(module, type, name, kEnglishUS);
    if (found == nullptr) {
        return {};
    }
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr) {
        return {};
    }
    return std::string(static_cast<const char*>(data), SizeofResource(module, found));
}

BOOL CALLBACK CountName(HMODULE, LPCSTR, LPSTR, LONG_PTR count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR languages) {
    reinterpret_cast<std::vector<WORD>*>(languages)->push_back(language);
    return TRUE;
}

class ProgramResources : public ::testing::TestWithParam<Program> {
  protected:
    void SetUp() override {
        path_ = ToWindowsPath(GetParam().path);
        if (GetFileAttributesA(path_.c_str()) == INVALID_FILE_ATTRIBUTES) {
            GTEST_SKIP() << GetParam().name << " program " << path_
                         << " is not built: build that tree first (cmake --preset "
                         << GetParam().name << " && cmake --build --preset " << GetParam().name
                         << "), or point SETUP_TWIN_PROGRAM at it";
        }
        module_ = LoadLibraryExA(path_.c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(nullptr, module_) << path_ << ": error " << GetLastError();
    }

    void TearDown() override {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }

    std::string path_;
    HMODULE module_ = nullptr;
};

TEST_P(ProgramResources, EveryResourceIsEnglishUSOnly) {
    struct Row {
        const char* name;
        LPCSTR type;
        LPCSTR id;
    };
    const Row rows[] = {
        {"dialog 104", RT_DIALOG, MAKEINTRESOURCEA(kProgressDialog)},
        {"icon group 109", RT_GROUP_ICON, MAKEINTRESOURCEA(kIconGroup)},
        {"icon 1", RT_ICON, MAKEINTRESOURCEA(1)},
        {"icon 2", RT_ICON, MAKEINTRESOURCEA(2)},
        {"version 1", RT_VERSION, MAKEINTRESOURCEA(1)},
        {"manifest 1", RT_MANIFEST, MAKEINTRESOURCEA(1)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_NE(nullptr, FindResourceExA(module_, row.type, row.id, kEnglishUS));
        std::vector<WORD> languages;
        EnumResourceLanguagesA(module_, row.type, row.id, CollectLanguage,
                               reinterpret_cast<LONG_PTR>(&languages));
        EXPECT_EQ(std::vector<WORD>{kEnglishUS}, languages);
    }
}

// Dialog 104, field by field in the classic template format.
TEST_P(ProgramResources, ProgressDialogTemplate) {
    std::string bytes = ResourceBytes(module_, RT_DIALOG, MAKEINTRESOURCEA(kProgressDialog));
    ASSERT_FALSE(bytes.empty()) << "no dialog 104 in language 1033";
    TemplateReader reader(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size());

    DWORD style = reader.Dword();
    ASSERT_NE(0xFFFF0001u, style) << "an extended template (DLGTEMPLATEEX)";
    EXPECT_EQ(0x900009C0u, style) << std::hex << "style 0x" << style;
    EXPECT_EQ(0u, style & (WS_CAPTION | WS_SYSMENU | WS_TABSTOP)) << std::hex << style;
    EXPECT_EQ(0u, reader.Dword()) << "extended style";
    EXPECT_EQ(3, reader.Word()) << "controls";
    EXPECT_EQ(0, reader.Short()) << "x";
    EXPECT_EQ(0, reader.Short()) << "y";
    EXPECT_EQ(277, reader.Short()) << "width";
    EXPECT_EQ(39, reader.Short()) << "height";
    NameOrOrdinal menu = reader.Field();
    EXPECT_TRUE(!menu.isOrdinal && menu.text.empty()) << "menu " << Describe(menu);
    NameOrOrdinal windowClass = reader.Field();
    EXPECT_TRUE(!windowClass.isOrdinal && windowClass.text.empty())
        << "class " << Describe(windowClass);
    NameOrOrdinal title = reader.Field();
    EXPECT_TRUE(!title.isOrdinal && title.text.empty()) << "title " << Describe(title);
    EXPECT_EQ(8, reader.Word()) << "point size";
    NameOrOrdinal font = reader.Field();
    EXPECT_EQ(L"MS Sans Serif", font.text) << "font " << Describe(font);
    ASSERT_FALSE(reader.failed()) << "the header runs past the resource";

    struct Control {
        const char* name;
        DWORD style;
        short x, y, width, height;
        WORD id;
        NameOrOrdinal windowClass;
        NameOrOrdinal text;
    };
    const Control controls[] = {
        {"text line",
         0x50020000,
         37,
         7,
         232,
         8,
         101,
         {true, kStaticClassOrdinal, {}},
         {false, 0, L"Static"}},
        {"bar",
         0x50800000,
         37,
         22,
         232,
         14,
         102,
         {false, 0, L"msctls_progress32"},
         {false, 0, L"Progress1"}},
        {"icon",
         0x50000003,
         7,
         7,
         18,
         20,
         0xFFFF,
         {true, kStaticClassOrdinal, {}},
         {true, kIconGroup, {}}},
    };
    for (const Control& expected : controls) {
        SCOPED_TRACE(expected.name);
        EXPECT_TRUE(reader.AlignToDword()) << "padding that is not zero before the control";
        DWORD controlStyle = reader.Dword();
        EXPECT_EQ(expected.style, controlStyle)
            << std::hex << "style: want 0x" << expected.style << ", got 0x" << controlStyle;
        EXPECT_EQ(0u, controlStyle & WS_TABSTOP);
        EXPECT_EQ(0u, reader.Dword()) << "extended style";
        EXPECT_EQ(expected.x, reader.Short()) << "x";
        EXPECT_EQ(expected.y, reader.Short()) << "y";
        EXPECT_EQ(expected.width, reader.Short()) << "width";
        EXPECT_EQ(expected.height, reader.Short()) << "height";
        EXPECT_EQ(expected.id, reader.Word()) << "id";
        // windres writes a custom class name in upper case; class names ignore case.
        NameOrOrdinal controlClass = reader.Field();
        EXPECT_TRUE(controlClass.isOrdinal == expected.windowClass.isOrdinal &&
                    controlClass.ordinal == expected.windowClass.ordinal &&
                    SameTextIgnoringCase(controlClass.text, expected.windowClass.text))
            << "class: want " << Describe(expected.windowClass) << ", got "
            << Describe(controlClass);
        NameOrOrdinal text = reader.Field();
        EXPECT_TRUE(text.isOrdinal == expected.text.isOrdinal &&
                    text.ordinal == expected.text.ordinal && text.text == expected.text.text)
            << "text: want " << Describe(expected.text) << ", got " << Describe(text);
        EXPECT_EQ(0, reader.Word()) << "creation data";
        ASSERT_FALSE(reader.failed()) << "the control runs past the resource";
    }
    EXPECT_TRUE(reader.AlignToDword());
    EXPECT_EQ(bytes.size(), reader.at()) << "bytes after the last control";
}

// The only icon: two 16-colour images, 32 x 32 (icon 1) and 16 x 16 (icon 2).
TEST_P(ProgramResources, IconGroupHoldsTwoSixteenColourImages) {
    int groups = 0;
    EnumResourceNamesA(module_, RT_GROUP_ICON, CountName, reinterpret_cast<LONG_PTR>(&groups));
    EXPECT_EQ(1, groups) << "icon groups";
    int images = 0;
    EnumResourceNamesA(module_, RT_ICON, CountName, reinterpret_cast<LONG_PTR>(&images));
    EXPECT_EQ(2, images) << "icon images";

    std::string group = ResourceBytes(module_, RT_GROUP_ICON, MAKEINTRESOURCEA(kIconGroup));
    ASSERT_FALSE(group.empty()) << "no icon group 109 in language 1033";
    TemplateReader reader(reinterpret_cast<const BYTE*>(group.data()), group.size());
    EXPECT_EQ(0, reader.Word()) << "reserved";
    EXPECT_EQ(1, reader.Word()) << "type: icon";
    ASSERT_EQ(2, reader.Word()) << "images";

    struct Image {
        const char* name;
        BYTE size;
        DWORD bytes;
        WORD id;
    };
    const Image expectedImages[] = {
        {"32 x 32", 32, 744, 1},
        {"16 x 16", 16, 296, 2},
    };
    for (const Image& expected : expectedImages) {
        SCOPED_TRACE(expected.name);
        WORD widthAndHeight = reader.Word();
        EXPECT_EQ(expected.size, LOBYTE(widthAndHeight)) << "width";
        EXPECT_EQ(expected.size, HIBYTE(widthAndHeight)) << "height";
        WORD coloursAndReserved = reader.Word();
        EXPECT_EQ(16, LOBYTE(coloursAndReserved)) << "colours";
        EXPECT_EQ(0, HIBYTE(coloursAndReserved)) << "reserved";
        EXPECT_EQ(1, reader.Word()) << "planes";
        EXPECT_EQ(4, reader.Word()) << "bits per pixel";
        EXPECT_EQ(expected.bytes, reader.Dword()) << "size";
        WORD id = reader.Word();
        EXPECT_EQ(expected.id, id) << "icon id";
        ASSERT_FALSE(reader.failed());

        std::string image = ResourceBytes(module_, RT_ICON, MAKEINTRESOURCEA(id));
        EXPECT_EQ(expected.bytes, image.size()) << "icon " << id << " in language 1033";
        BITMAPINFOHEADER header = {};
        ASSERT_GE(image.size(), sizeof header);
        memcpy(&header, image.data(), sizeof header);
        EXPECT_EQ(sizeof header, header.biSize);
        EXPECT_EQ(expected.size, header.biWidth);
        EXPECT_EQ(2 * expected.size, header.biHeight) << "colour and mask";
        EXPECT_EQ(1, header.biPlanes);
        EXPECT_EQ(4, header.biBitCount);
        EXPECT_EQ(static_cast<DWORD>(BI_RGB), header.biCompression);
    }
    EXPECT_EQ(group.size(), reader.at()) << "bytes after the last entry";
}

TEST_P(ProgramResources, VersionNamesProductAndFile) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path_.c_str(), &ignored);
    ASSERT_NE(0u, size) << "no version resource: error " << GetLastError();
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path_.c_str(), 0, size, info.data()));

    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", &value, &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    VS_FIXEDFILEINFO fixed;
    memcpy(&fixed, value, sizeof fixed);
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(SETUP_VERSION_MINOR, SETUP_VERSION_MAJOR)),
              fixed.dwFileVersionMS);
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(0, SETUP_VERSION_PATCH)), fixed.dwFileVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed.dwFileType);

    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", &value, &length));
    ASSERT_GE(length, 4u);
    WORD translation[2];
    memcpy(translation, value, sizeof translation);
    EXPECT_EQ(kEnglishUS, translation[0]) << "language";
    EXPECT_EQ(1200, translation[1]) << "code page: UTF-16";

    struct Row {
        const char* name;
        const char* expected;
    };
    const Row rows[] = {
        {"ProductName", "Quintaro"},
        {"OriginalFilename", "setup.exe"},
        {"FileVersion", SETUP_VERSION_STRING},
        {"ProductVersion", SETUP_VERSION_STRING},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string query = std::string("\\StringFileInfo\\040904B0\\") + row.name;
        char* text = nullptr;
        ASSERT_TRUE(
            VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&text), &length));
        EXPECT_STREQ(row.expected, text);
    }
}

// Elevation is asked for; the classic common controls and the platform's DPI scaling stay.
TEST_P(ProgramResources, ManifestAsksForAdministrator) {
    std::string manifest = ResourceBytes(module_, RT_MANIFEST, MAKEINTRESOURCEA(1));
    ASSERT_FALSE(manifest.empty()) << "no manifest 1 in language 1033";
    size_t element = manifest.find("<requestedExecutionLevel");
    ASSERT_NE(std::string::npos, element) << manifest;
    std::string level = manifest.substr(element, manifest.find('>', element) - element);
    EXPECT_NE(std::string::npos, level.find("level=\"requireAdministrator\"")) << level;

    std::string lower = manifest;
    for (char& c : lower) {
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    EXPECT_EQ(std::string::npos, lower.find("microsoft.windows.common-controls")) << manifest;
    EXPECT_EQ(std::string::npos, lower.find("dpiaware")) << manifest;
}

// The file itself: its format, machine and subsystem, and that it imports system DLLs only
// (everything else is linked in statically).
TEST_P(ProgramResources, FileImportsSystemDllsOnly) {
    bool ok = false;
    std::string file = ReadWholeFile(path_, &ok);
    ASSERT_TRUE(ok) << path_;
    auto read = [&file](size_t offset, void* out, size_t count) {
        if (offset > file.size() || file.size() - offset < count) {
            return false;
        }
        memcpy(out, file.data() + offset, count);
        return true;
    };

    IMAGE_DOS_HEADER dos;
    ASSERT_TRUE(read(0, &dos, sizeof dos));
    ASSERT_EQ(IMAGE_DOS_SIGNATURE, dos.e_magic);
    size_t at = static_cast<size_t>(dos.e_lfanew);
    DWORD signature = 0;
    IMAGE_FILE_HEADER header;
    ASSERT_TRUE(read(at, &signature, sizeof signature));
    ASSERT_EQ(static_cast<DWORD>(IMAGE_NT_SIGNATURE), signature);
    ASSERT_TRUE(read(at + 4, &header, sizeof header));
    EXPECT_EQ(GetParam().machine, header.Machine) << std::hex << "machine 0x" << header.Machine;

    size_t optional = at + 4 + sizeof header;
    WORD magic = 0;
    ASSERT_TRUE(read(optional, &magic, sizeof magic));
    ASSERT_EQ(GetParam().optionalMagic, magic) << std::hex << "optional header 0x" << magic;
    WORD subsystem = 0;
    IMAGE_DATA_DIRECTORY imports;
    IMAGE_DATA_DIRECTORY delayImports;
    if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        IMAGE_OPTIONAL_HEADER32 fields;
        ASSERT_TRUE(read(optional, &fields, sizeof fields));
        subsystem = fields.Subsystem;
        imports = fields.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        delayImports = fields.DataDirectory[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT];
    } else {
        IMAGE_OPTIONAL_HEADER64 fields;
        ASSERT_TRUE(read(optional, &fields, sizeof fields));
        subsystem = fields.Subsystem;
        imports = fields.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        delayImports = fields.DataDirectory[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT];
    }
    EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, subsystem);
    EXPECT_EQ(0u, delayImports.Size) << "delay-loaded imports";

    std::vector<IMAGE_SECTION_HEADER> sections(header.NumberOfSections);
    ASSERT_TRUE(read(optional + header.SizeOfOptionalHeader, sections.data(),
                     sections.size() * sizeof(IMAGE_SECTION_HEADER)));
    auto fileOffset = [&sections](DWORD rva) -> size_t {
        for (const IMAGE_SECTION_HEADER& section : sections) {
            DWORD span = section.Misc.VirtualSize > section.SizeOfRawData ? section.Misc.VirtualSize
                                                                          : section.SizeOfRawData;
            if (rva >= section.VirtualAddress && rva - section.VirtualAddress < span) {
                return section.PointerToRawData + (rva - section.VirtualAddress);
            }
        }
        return SIZE_MAX;
    };

    const std::set<std::string> allowed = {"KERNEL32.DLL", "USER32.DLL",  "ADVAPI32.DLL",
                                           "OLE32.DLL",    "SHELL32.DLL", "COMCTL32.DLL",
                                           "MSVCRT.DLL",   "GDI32.DLL"};
    ASSERT_NE(0u, imports.VirtualAddress) << "no import directory";
    std::vector<std::string> names;
    for (size_t entry = fileOffset(imports.VirtualAddress);;
         entry += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        IMAGE_IMPORT_DESCRIPTOR descriptor;
        ASSERT_TRUE(read(entry, &descriptor, sizeof descriptor)) << "import directory cut short";
        if (descriptor.Name == 0 && descriptor.FirstThunk == 0) {
            break;
        }
        size_t name = fileOffset(descriptor.Name);
        ASSERT_LT(name, file.size()) << "import name outside the file";
        std::string dll(file.c_str() + name);
        for (char& c : dll) {
            c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        }
        names.push_back(dll);
        EXPECT_TRUE(allowed.count(dll)) << "imports " << dll;
    }
    EXPECT_NE(names.end(), std::find(names.begin(), names.end(), "KERNEL32.DLL"));
}

INSTANTIATE_TEST_SUITE_P(
    Programs, ProgramResources,
    ::testing::Values(Program{"win32", SETUP_WIN32_PROGRAM, IMAGE_FILE_MACHINE_I386,
                              IMAGE_NT_OPTIONAL_HDR32_MAGIC},
                      Program{"win64", SETUP_WIN64_PROGRAM, IMAGE_FILE_MACHINE_AMD64,
                              IMAGE_NT_OPTIONAL_HDR64_MAGIC}),
    PrintProgram);

}  // namespace
