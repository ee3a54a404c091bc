// Bad input at volume: makes broken setup scripts (random and cut bytes, lines without
// brackets or "=", repeated sections and keys, NUL bytes, very long lines and values, huge
// FILES lists, other encodings) and odd host registry values (wrong types, empty, too long,
// with quotes, semicolons, slashes), runs setup.exe on each with every box answered by its
// first button, and checks that every run
//   - ends within the time limit, with exit code 0 or 1, after the boxes a run can show:
//     a script error alone (exit 1), or the confirmation and then the not-found, success or
//     copy-error box (exit 0), or the confirmation and "Too Many Entries" (exit 1);
//   - writes nothing outside the host folder: the case's source folder, a sentinel folder
//     beside the host folder and the host's registry keys are unchanged, and inside the host
//     folder only the add-on folder may appear and only copies of source files, with normal
//     attributes, and only when the run went on to install;
//   - where the script's COMMON section is intact, finds the host exactly when the registry
//     values and the host's files name it, and installs a clean FILES list completely.
// Destinations stay inside the host folder by construction: script texts never hold ':' nor
// two dots in a row, so any file found written elsewhere is the program's doing.
//
// Case k is made from k alone: --start=K --runs=N runs cases K to K+N-1, and a failed case k
// runs again by itself with --start=k --runs=1 --verbose.
//   usage: bad_input.exe --program=SETUP.EXE [--runs=N] [--start=K] [--verbose] [--keep]
//     --keep  leaves each case's folders in the temp folder (the registry keys are removed)
//   the test suite's short run is ctest's bad_input (30 cases); a long run, from the
//   repository after scripts/test.sh has built build/win64:
//     scripts/wine-run.sh --prefix build/win64/wineprefix build/win64/tests/bad_input.exe
//         --program=build/win64/setup.exe --runs=2000 --start=1000
#include <windows.h>
// after windows.h
#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "support/program_texts.h"
#include "support/scratch.h"
#include "support/window_driver.h"

namespace {

// What setup.exe shows, as far as this program tells its boxes apart (with the texts of
// support/program_texts.h).
constexpr char kNotFoundLead[] = "The additional  game has not been successfuly installed.";
constexpr char kCopyErrorLead[] = "Setup could not copy from the file:\n";
constexpr char kTooManyEntriesCaption[] = "Too Many Entries";
constexpr const char* kScriptErrorCaptions[] = {"Not Found", "Invalid INT format",
                                                kTooManyEntriesCaption, "Invalid Path"};

constexpr char kAppPaths[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
constexpr char kAddOnFolder[] = "addgames\\Quintaro";
constexpr DWORD kTimeLimitMs = 10000;
constexpr size_t kRegistryDataLimit = 259;  // the longest "Path" or "version" setup.exe reads
constexpr size_t kPathLimit = 259;          // the longest path setup.exe composes
constexpr size_t kKeyListSize = 50000;      // setup.exe's buffer for a section's key names

// ---------------------------------------------------------------------------------------
// Random choices: splitmix64, so that a case is the same on every machine and compiler.

class Random {
  public:
    // The stream starts at a scrambled case number: started at the number itself, case k + 1
    // would repeat case k's stream one step later.
    explicit Random(uint64_t caseNumber) : state_(Mix(caseNumber ^ 0x51A7E0F1CEB00Cu)) {}

    uint64_t Next() { return Mix(state_ += 0x9E3779B97F4A7C15u); }
    size_t Below(size_t n) { return n == 0 ? 0 : static_cast<size_t>(Next() % n); }
    bool Percent(unsigned percent) { return Below(100) < percent; }
    char Byte(unsigned low, unsigned high) {
        return static_cast<char>(low + Below(high - low + 1));
    }
    template <typename T>
    const T& Pick(const std::vector<T>& items) {
        return items[Below(items.size())];
    }

  private:
    static uint64_t Mix(uint64_t z) {
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }

    uint64_t state_;
};

std::string Hex(uint64_t value, int digits) {
    char text[24];
    snprintf(text, sizeof text, "%0*llX", digits, static_cast<unsigned long long>(value));
    return text;
}

// ---------------------------------------------------------------------------------------
// The generated case.

enum class Known { kNo, kYes, kUnknown };

struct RegistryValue {
    std::string form;  // a name for reports
    DWORD type = REG_SZ;
    std::string data;  // the bytes stored
    // "Path": the text names the host folder; "version": it reads as a nonzero integer.
    Known good = Known::kNo;
};

enum class ScriptKind { kFile, kMissing, kFolder };
enum class ProgramFile { kFile, kMissing, kFolder };

struct FilesEntry {
    std::string key;
    std::string value;
    bool good;  // an existing source file copied into the add-on folder
};

struct Case {
    uint64_t number = 0;
    std::vector<std::string> notes;  // what was done to the input, for reports

    // Names and folders, of fixed length so that a case behaves the same in every process.
    std::string root;  // holds source, host and sentinel
    std::string source;
    std::string host;
    std::string sentinel;
    std::string programExe;
    std::string firm;
    std::string product = "Zorvane";

    std::vector<std::pair<std::string, std::string>> sourceFiles;  // relative path, bytes
    bool readOnlySource = false;
    bool addGames = true;
    ProgramFile programFile = ProgramFile::kFile;

    bool appPathsKey = true;
    bool pathValue = true;
    RegistryValue path;
    bool makerKey = true;
    bool versionValue = true;
    RegistryValue version;

    ScriptKind scriptKind = ScriptKind::kFile;
    std::string script;        // the bytes of setup.isc
    bool commonIntact = true;  // COMMON as the clean generator wrote it
    bool filesIntact = true;   // FILES as the clean generator wrote it
    std::vector<FilesEntry> files;

    std::string Describe() const {
        std::string text = "  input:";
        for (const std::string& note : notes) {
            text += " | " + note;
        }
        return text + "\n";
    }
};

// ---------------------------------------------------------------------------------------
// Script texts: keep every destination inside the host folder whatever the bytes.

// No ':' (a drive or stream) and no two dots with only blanks between them (a parent
// folder once the platform trims blanks and dots): everything else goes.
std::string KeepInside(std::string text) {
    char previous = '\0';  // the last byte that was not a blank
    for (char& c : text) {
        if (c == ':') {
            c = '_';
        }
        if (c == '.' && previous == '.') {
            c = '_';
        }
        if (c != ' ' && c != '\t') {
            previous = c;
        }
    }
    return text;
}

// A byte-order mark makes the profile reader take the rest as another encoding, in which
// the bytes that KeepInside saw would mean other characters: raw bytes never start with one.
std::string NoByteOrderMark(std::string bytes) {
    bool utf16 = bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') ||
                                       (bytes[0] == '\xFE' && bytes[1] == '\xFF'));
    bool utf8 = bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
    if (utf16 || utf8) {
        bytes[0] = 'x';
    }
    return bytes;
}

std::string RandomText(Random& random, size_t length, bool anyByte) {
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        text += anyByte ? random.Byte(1, 255) : random.Byte(0x20, 0x7E);
    }
    return text;
}

// A long text of path-like pieces.
std::string LongText(Random& random, size_t length) {
    static const std::vector<std::string> pieces = {"Quintaro", "\\",    "a", "Level ", "/",
                                                    "0",        "x.dat", " ", "\xE9",   "data\\"};
    std::string text;
    while (text.size() < length) {
        text += random.Pick(pieces);
    }
    text.resize(length);
    return text;
}

enum class Encoding { kUtf16Le, kUtf16Be, kUtf8 };

// The text (ANSI) in another encoding, without a byte-order mark.
std::string Encode(const std::string& text, Encoding encoding) {
    int wideLength =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        wideLength);
    std::string bytes;
    if (encoding == Encoding::kUtf8) {
        int length =
            WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
        bytes.resize(static_cast<size_t>(length));
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, bytes.data(), length, nullptr,
                            nullptr);
        return bytes;
    }
    for (wchar_t unit : wide) {
        char low = static_cast<char>(unit & 0xFF);
        char high = static_cast<char>((unit >> 8) & 0xFF);
        bytes += encoding == Encoding::kUtf16Be ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

// ---------------------------------------------------------------------------------------
// Registry values: the forms of "Path" and "version".

std::string Text(const std::string& text) {
    return text + std::string(1, '\0');  // stored with its terminator, as REG_SZ usually is
}

std::string Padded(const std::string& host, size_t length) {
    std::string text = host;
    text.resize(std::max(length, host.size()), '\\');  // extra separators name the same folder
    return text;
}

std::string DwordBytes(uint32_t value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

std::vector<RegistryValue> PathForms(const Case& c, Random& random) {
    std::string slashes = c.host;
    std::replace(slashes.begin(), slashes.end(), '\\', '/');
    std::string upper = c.host;
    CharUpperA(upper.data());
    // No '.', '/' or '\' in it: four random bytes that cannot spell a way to another folder.
    uint32_t number = static_cast<uint32_t>(random.Next());
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t byte = (number >> shift) & 0xFF;
        if (byte == '.' || byte == '/' || byte == '\\' || byte == ':') {
            number ^= 0x40u << shift;
        }
    }
    return {
        {"plain", REG_SZ, Text(c.host), Known::kYes},
        {"trailing backslash", REG_SZ, Text(c.host + "\\"), Known::kYes},
        {"trailing slash", REG_SZ, Text(c.host + "/"), Known::kYes},
        {"forward slashes", REG_SZ, Text(slashes), Known::kYes},
        {"upper case", REG_SZ, Text(upper), Known::kYes},
        {"quoted", REG_SZ, Text("\"" + c.host + "\""), Known::kNo},
        {"semicolon after", REG_SZ, Text(c.host + ";"), Known::kNo},
        {"list of two", REG_SZ, Text(c.host + ";" + c.sentinel), Known::kNo},
        {"sentinel folder", REG_SZ, Text(c.sentinel), Known::kNo},
        {"relative", REG_SZ, Text("host"), Known::kNo},
        {"empty", REG_SZ, Text(""), Known::kNo},
        {"no bytes", REG_SZ, "", Known::kNo},
        {"258 characters", REG_SZ, Text(Padded(c.host, kRegistryDataLimit - 1)), Known::kYes},
        {"259 characters", REG_SZ, Text(Padded(c.host, kRegistryDataLimit)), Known::kNo},
        {"1000 characters", REG_SZ, Text(Padded(c.host, 1000)), Known::kNo},
        {"doubled separators", REG_SZ, Text(c.host.substr(0, 3) + "\\" + c.host.substr(3)),
         Known::kUnknown},
        {"trailing blank", REG_SZ, Text(c.host + " "), Known::kUnknown},
        {"expand string", REG_EXPAND_SZ, Text(c.host), Known::kYes},
        {"expand string with a variable", REG_EXPAND_SZ, Text("%TEMP%\\host"), Known::kNo},
        {"multi string", REG_MULTI_SZ, Text(c.host) + Text(c.sentinel) + Text(""), Known::kYes},
        {"binary, no terminator", REG_BINARY, c.host, Known::kYes},
        {"binary, 259 bytes", REG_BINARY, Padded(c.host, kRegistryDataLimit), Known::kYes},
        {"binary, 260 bytes", REG_BINARY, Padded(c.host, kRegistryDataLimit + 1), Known::kNo},
        {"dword", REG_DWORD, DwordBytes(number), Known::kNo},
        {"qword", REG_QWORD, DwordBytes(number) + DwordBytes(0), Known::kNo},
    };
}

std::vector<RegistryValue> VersionForms() {
    return {
        {"150", REG_SZ, Text("150"), Known::kYes},
        {"0", REG_SZ, Text("0"), Known::kNo},
        {"-3", REG_SZ, Text("-3"), Known::kYes},
        {"1.50", REG_SZ, Text("1.50"), Known::kYes},
        {"abc", REG_SZ, Text("abc"), Known::kNo},
        {"empty", REG_SZ, Text(""), Known::kNo},
        {"no bytes", REG_SZ, "", Known::kNo},
        {"blank then hexadecimal", REG_SZ, Text(" 0x96"), Known::kYes},
        {"2^32 wraps to 0", REG_SZ, Text("4294967296"), Known::kNo},
        {"2^32 + 150", REG_SZ, Text("4294967446"), Known::kYes},
        {"quoted", REG_SZ, Text("\"150\""), Known::kNo},
        {"semicolon after", REG_SZ, Text("150;"), Known::kYes},
        {"semicolon first", REG_SZ, Text(";150"), Known::kNo},
        {"slash inside", REG_SZ, Text("1/50"), Known::kYes},
        {"slash first", REG_SZ, Text("/150"), Known::kNo},
        {"backslash first", REG_SZ, Text("\\150"), Known::kNo},
        {"258 characters, octal", REG_SZ, Text(std::string(255, '0') + "150"), Known::kYes},
        {"259 characters", REG_SZ, Text(std::string(256, '0') + "150"), Known::kNo},
        {"300 characters", REG_SZ, Text("1" + std::string(299, '0')), Known::kNo},
        {"dword 150", REG_DWORD, DwordBytes(150), Known::kNo},
        {"dword spelling 150", REG_DWORD, std::string("150", 3) + std::string(1, '\0'),
         Known::kYes},
        {"dword 0", REG_DWORD, DwordBytes(0), Known::kNo},
        {"qword 150", REG_QWORD, DwordBytes(150) + DwordBytes(0), Known::kNo},
        {"binary 150, no terminator", REG_BINARY, "150", Known::kYes},
        {"binary, no bytes", REG_BINARY, "", Known::kNo},
        {"multi string", REG_MULTI_SZ, Text("150") + Text(""), Known::kYes},
        {"expand string", REG_EXPAND_SZ, Text("150"), Known::kYes},
        {"expand string with a variable", REG_EXPAND_SZ, Text("%VERSION%"), Known::kNo},
    };
}

// ---------------------------------------------------------------------------------------
// The script: a clean one as lines, then damage to its lines, its bytes and its encoding.

struct Script {
    std::vector<std::string> lines;
};

std::vector<FilesEntry> CleanFiles(Random& random) {
    static const std::vector<FilesEntry> pool = {
        {"readme.txt", "addgames\\Quintaro\\readme.txt", true},
        {"data\\level1.map", "addgames\\Quintaro\\level1.map", true},
        {"gfx\\tiles.bmp", "addgames/Quintaro/tiles.bmp", true},
        {"Quintaro.exe", "addgames\\Quintaro\\Quintaro.exe", true},
    };
    std::vector<FilesEntry> files;
    size_t count = random.Below(pool.size() + 1);
    size_t first = random.Below(pool.size());
    for (size_t i = 0; i < count; ++i) {
        files.push_back(pool[(first + i) % pool.size()]);
    }
    return files;
}

// Odd FILES entries: (key, value) pairs whose copies fail, go to odd places in the host
// folder or carry odd characters.
std::vector<std::pair<std::string, std::string>> OddEntries(const Case& c) {
    return {
        {"readme.txt", ""},
        {"missing.dat", "addgames\\Quintaro\\missing.dat"},
        {"data", "addgames\\Quintaro\\data"},
        {"setup.isc", "addgames\\Quintaro\\setup.isc"},
        {"readme.txt", "nofolder\\readme.txt"},
        {"readme.txt", "addgames\\Quintaro\\"},
        {"readme.txt", "\\addgames\\Quintaro\\rooted.txt"},
        {"readme.txt", "addgames\\\\Quintaro\\\\double.txt"},
        {"readme.txt", "\"addgames\\Quintaro\\quoted.txt\""},
        {"readme.txt", "addgames\\Quintaro\\semi;colon.txt"},
        {"readme.txt", "addgames\\Quintaro\\star*.txt"},
        {"readme.txt", "addgames\\Quintaro\\what?.txt"},
        {"readme.txt", "addgames\\Quintaro\\a<b>c|d.txt"},
        {"readme.txt", "  addgames\\Quintaro\\blanks.txt  "},
        {"readme.txt", "addgames\\Quintaro\\Spielst\xE4nde \xA9.txt"},
        {"readme.txt", "host-root.txt"},
        {"readme.txt", c.programExe},
        {"gfx\\tiles.bmp", "addgames\\Quintaro\\readme.txt"},
        {"\"readme.txt\"", "addgames\\Quintaro\\from-quoted.txt"},
        {"readme.txt;x", "addgames\\Quintaro\\x.txt"},
        {"a=b", "addgames\\Quintaro\\equals.txt"},
        {";commented", "addgames\\Quintaro\\comment.txt"},
        {"[FILES]", "addgames\\Quintaro\\section.txt"},
        {"data/level1.map", "addgames/Quintaro/level1-slash.map"},
        {"./readme.txt", "./addgames/Quintaro/./dotted.txt"},
    };
}

// One kind of damage: changes the case's script lines and says what it did.
using Damage = void (*)(Case& c, Script& script, Random& random);

size_t AnyLine(const Script& script, Random& random) {
    return random.Below(script.lines.size());
}

void DropLine(Case& c, Script& script, Random& random) {
    if (script.lines.empty()) {
        return;
    }
    size_t at = AnyLine(script, random);
    c.notes.push_back("dropped line " + std::to_string(at));
    script.lines.erase(script.lines.begin() + static_cast<std::ptrdiff_t>(at));
}

void RepeatLine(Case& c, Script& script, Random& random) {
    if (script.lines.empty()) {
        return;
    }
    size_t from = AnyLine(script, random);
    std::string line = script.lines[from];
    size_t equals = line.find('=');
    if (equals != std::string::npos && random.Percent(50)) {
        line = line.substr(0, equals + 1) + "Other";  // the same key with another value
    }
    size_t to = from + 1 + random.Below(script.lines.size() - from);
    c.notes.push_back("line " + std::to_string(from) + " repeated at " + std::to_string(to));
    script.lines.insert(script.lines.begin() + static_cast<std::ptrdiff_t>(to), line);
}

void RepeatSection(Case& c, Script& script, Random& random) {
    static const std::vector<std::vector<std::string>> sections = {
        {"[COMMON]", "ProductName=Other", "Version=abc"},
        {"[COMMON]", "FirmName=", "ProgramExe=other.exe"},
        {"[FILES]", "readme.txt=addgames\\Quintaro\\again.txt"},
        {"[FILES]"},
        {"[COMMON]"},
    };
    const std::vector<std::string>& section = random.Pick(sections);
    size_t at = random.Below(script.lines.size() + 1);
    c.notes.push_back("section " + section[0] + " again at line " + std::to_string(at));
    script.lines.insert(script.lines.begin() + static_cast<std::ptrdiff_t>(at), section.begin(),
                        section.end());
}

void BreakHeader(Case& c, Script& script, Random& random) {
    static const std::vector<std::string> shapes = {
        "%s]", "[%s", "%s", "[%s]]", "[[%s]", "[ %s ]", "[%s] junk", "junk [%s]", "[]", "[%s\t]",
    };
    std::vector<size_t> headers;
    for (size_t i = 0; i < script.lines.size(); ++i) {
        if (!script.lines[i].empty() && script.lines[i][0] == '[') {
            headers.push_back(i);
        }
    }
    if (headers.empty()) {
        return;
    }
    size_t at = random.Pick(headers);
    std::string name = script.lines[at].substr(1, script.lines[at].find(']') - 1);
    std::string line = random.Pick(shapes);
    size_t hole = line.find("%s");
    if (hole != std::string::npos) {
        line.replace(hole, 2, name);
    }
    c.notes.push_back("header " + script.lines[at] + " as " + line);
    script.lines[at] = line;
}

void DropEquals(Case& c, Script& script, Random& random) {
    size_t at = AnyLine(script, random);
    size_t equals = script.lines.empty() ? std::string::npos : script.lines[at].find('=');
    if (equals == std::string::npos) {
        return;
    }
    static const std::vector<std::string> replacements = {"", " ", "-", "==", "\t"};
    std::string replacement = random.Pick(replacements);
    c.notes.push_back("'=' of line " + std::to_string(at) + " as '" + replacement + "'");
    script.lines[at].replace(equals, 1, replacement);
}

void JunkLine(Case& c, Script& script, Random& random) {
    static const std::vector<std::string> fixed = {"=",  "=value", "key=", "[",      "]",
                                                   "[]", ";",      "#x=y", "\t= \t", "  "};
    std::string line = random.Percent(40)   ? random.Pick(fixed)
                       : random.Percent(50) ? RandomText(random, 1 + random.Below(60), false)
                                            : RandomText(random, 1 + random.Below(60), true);
    size_t at = random.Below(script.lines.size() + 1);
    c.notes.push_back("junk line at " + std::to_string(at));
    script.lines.insert(script.lines.begin() + static_cast<std::ptrdiff_t>(at), line);
}

// Sets the value of the first line with that key, or adds the line.
void SetValue(Script& script, const std::string& key, const std::string& value) {
    for (std::string& line : script.lines) {
        if (line.compare(0, key.size() + 1, key + "=") == 0) {
            line = key + "=" + value;
            return;
        }
    }
    script.lines.insert(script.lines.begin() + 1, key + "=" + value);
}

void OddVersion(Case& c, Script& script, Random& random) {
    static const std::vector<std::string> versions = {
        "",
        "abc",
        "1.50",
        "0x",
        "-",
        "+",
        "08",
        "019",
        " 42",
        "- 5",
        "4294967446",
        "0x100000096",
        "\"150\"",
        "150;",
        "1/50",
        "\xB9\xB2",
        "150\t",
        "+-5",
        "1" + std::string(70, '0'),
        std::string(5000, '7'),
    };
    std::string version = random.Pick(versions);
    c.notes.push_back("Version=" + version.substr(0, 24));
    SetValue(script, "Version", version);
}

void LongValue(Case& c, Script& script, Random& random) {
    static const std::vector<std::string> keys = {"ProductName", "FirmName", "ProgramExe",
                                                  "Version"};
    static const std::vector<size_t> lengths = {259, 260, 300, 1023, 1024, 1100, 5000, 70000};
    std::string key = random.Pick(keys);
    size_t length = random.Pick(lengths);
    c.notes.push_back(key + " of " + std::to_string(length) + " characters");
    SetValue(script, key, LongText(random, length));
}

void LongLine(Case& c, Script& script, Random& random) {
    static const std::vector<size_t> lengths = {1024, 5000, 40000, 70000};
    size_t length = random.Pick(lengths);
    std::string line = LongText(random, length);
    if (random.Percent(50)) {
        line += "=" + LongText(random, length / 2);
    }
    size_t at = random.Below(script.lines.size() + 1);
    c.notes.push_back("line of " + std::to_string(line.size()) + " characters at " +
                      std::to_string(at));
    script.lines.insert(script.lines.begin() + static_cast<std::ptrdiff_t>(at), line);
}

// The lines from the first "[FILES]" to the end, where the clean script keeps FILES.
std::vector<std::string>::iterator FilesSection(Script& script) {
    return std::find(script.lines.begin(), script.lines.end(), "[FILES]");
}

void HugeFiles(Case& c, Script& script, Random& random) {
    // Each name "f00000.dat" takes 11 bytes in the key list: kFit names fill 49,995 bytes of
    // setup.exe's list buffer, one more name overflows it. A last name of the right length
    // instead brings the list to each length around the buffer's end.
    constexpr size_t kFit = kKeyListSize / 11;
    static const std::vector<size_t> counts = {300, 2000, kFit, kFit + 1, 6000};
    static const std::vector<size_t> listEnds = {kKeyListSize - 3, kKeyListSize - 2,
                                                 kKeyListSize - 1, kKeyListSize};
    bool exactEnd = random.Percent(40);
    size_t count = exactEnd ? kFit - 1 : random.Pick(counts);
    size_t existing = std::min(count, random.Below(25));
    script.lines.erase(FilesSection(script), script.lines.end());
    script.lines.push_back("[FILES]");
    for (size_t i = 0; i < count; ++i) {
        char line[96];
        snprintf(line, sizeof line, "f%05zu.dat=addgames\\Quintaro\\f%05zu.dat", i, i);
        script.lines.push_back(line);
    }
    if (exactEnd) {
        // The list's length counts every name's terminator but not the list's own.
        size_t listEnd = random.Pick(listEnds);
        std::string last = "g" + std::string(listEnd - count * 11 - 1 - 5, 'x') + ".dat";
        script.lines.push_back(last + "=addgames\\Quintaro\\" + last);
        ++count;
        c.notes.push_back("key list of " + std::to_string(listEnd) + " bytes");
    }
    for (size_t i = 0; i < existing; ++i) {
        char name[16];
        snprintf(name, sizeof name, "f%05zu.dat", i);
        c.sourceFiles.push_back({name, "huge list file " + std::to_string(i)});
    }
    c.notes.push_back("FILES of " + std::to_string(count) + " entries, the first " +
                      std::to_string(existing) + " existing");
    c.filesIntact = false;
}

void OddFilesEntries(Case& c, Script& script, Random& random) {
    std::vector<std::pair<std::string, std::string>> odd = OddEntries(c);
    size_t count = 1 + random.Below(4);
    auto files = FilesSection(script);
    if (files == script.lines.end()) {
        script.lines.push_back("[FILES]");
        files = script.lines.end() - 1;
    }
    for (size_t i = 0; i < count; ++i) {
        const auto& entry = odd[random.Below(odd.size())];
        size_t offset = 1 + random.Below(static_cast<size_t>(script.lines.end() - files));
        script.lines.insert(files + static_cast<std::ptrdiff_t>(offset),
                            entry.first + "=" + entry.second);
        files = FilesSection(script);
        c.notes.push_back("FILES entry " + entry.first + "=" + entry.second);
    }
    c.filesIntact = false;
}

void Blanks(Case& c, Script& script, Random& random) {
    static const std::vector<std::string> blanks = {" ", "\t", "  ", " \t "};
    size_t at = AnyLine(script, random);
    if (script.lines.empty()) {
        return;
    }
    std::string& line = script.lines[at];
    size_t equals = line.find('=');
    if (equals != std::string::npos && random.Percent(50)) {
        line.insert(equals + 1, random.Pick(blanks));
        line.insert(equals, random.Pick(blanks));
    } else {
        line = random.Pick(blanks) + line + random.Pick(blanks);
    }
    c.notes.push_back("blanks in line " + std::to_string(at));
}

void Quotes(Case& c, Script& script, Random& random) {
    size_t at = AnyLine(script, random);
    if (script.lines.empty() || script.lines[at].find('=') == std::string::npos) {
        return;
    }
    std::string& line = script.lines[at];
    size_t equals = line.find('=');
    std::string quote = random.Percent(70) ? "\"" : "'";
    line = line.substr(0, equals + 1) + quote + line.substr(equals + 1) +
           (random.Percent(80) ? quote : "");
    c.notes.push_back("quoted value in line " + std::to_string(at));
}

void LetterCase(Case& c, Script& script, Random& random) {
    size_t at = AnyLine(script, random);
    if (script.lines.empty()) {
        return;
    }
    std::string& line = script.lines[at];
    bool upper = random.Percent(50);
    for (char& ch : line) {
        ch = static_cast<char>(upper ? toupper(static_cast<unsigned char>(ch))
                                     : tolower(static_cast<unsigned char>(ch)));
    }
    c.notes.push_back(std::string(upper ? "upper" : "lower") + " case line " + std::to_string(at));
}

void CommentOut(Case& c, Script& script, Random& random) {
    size_t at = AnyLine(script, random);
    if (script.lines.empty()) {
        return;
    }
    script.lines[at] = (random.Percent(70) ? ";" : "#") + script.lines[at];
    c.notes.push_back("commented out line " + std::to_string(at));
}

void SwapLines(Case& c, Script& script, Random& random) {
    if (script.lines.size() < 2) {
        return;
    }
    size_t a = AnyLine(script, random);
    size_t b = AnyLine(script, random);
    std::swap(script.lines[a], script.lines[b]);
    c.notes.push_back("swapped lines " + std::to_string(a) + " and " + std::to_string(b));
}

struct DamageKind {
    Damage damage;
    unsigned weight;
    bool keepsCommon;  // touches FILES only
};

const std::vector<DamageKind>& DamageKinds() {
    static const std::vector<DamageKind> kinds = {
        {DropLine, 6, false},    {RepeatLine, 6, false},      {RepeatSection, 5, false},
        {BreakHeader, 6, false}, {DropEquals, 6, false},      {JunkLine, 6, false},
        {OddVersion, 6, false},  {LongValue, 5, false},       {LongLine, 3, false},
        {HugeFiles, 4, true},    {OddFilesEntries, 10, true}, {Blanks, 4, false},
        {Quotes, 4, false},      {LetterCase, 3, false},      {CommentOut, 4, false},
        {SwapLines, 4, false},
    };
    return kinds;
}

void ApplyDamage(Case& c, Script& script, Random& random) {
    const std::vector<DamageKind>& kinds = DamageKinds();
    unsigned total = 0;
    for (const DamageKind& kind : kinds) {
        total += kind.weight;
    }
    size_t pick = random.Below(total);
    for (const DamageKind& kind : kinds) {
        if (pick < kind.weight) {
            kind.damage(c, script, random);
            c.commonIntact = c.commonIntact && kind.keepsCommon;
            c.filesIntact = false;
            return;
        }
        pick -= kind.weight;
    }
}

// Damage to the bytes: NULs, random bytes, changed bytes, a cut.
void DamageBytes(Case& c, std::string& bytes, Random& random) {
    size_t kind = random.Below(4);
    size_t count = 1 + random.Below(4);
    for (size_t i = 0; i < count && !bytes.empty(); ++i) {
        size_t at = random.Below(bytes.size() + 1);
        switch (kind) {
            case 0:
                bytes.insert(at, std::string(1 + random.Below(3), '\0'));
                break;
            case 1:
                bytes.insert(at, RandomText(random, 1 + random.Below(40), true));
                break;
            case 2:
                bytes[std::min(at, bytes.size() - 1)] = random.Byte(0, 255);
                break;
            default:
                bytes.resize(at);
                break;
        }
    }
    static const char* const names[] = {"NUL bytes", "random bytes", "changed bytes", "cut"};
    c.notes.push_back(std::string(names[kind]) + " x" + std::to_string(count));
    c.commonIntact = false;
    c.filesIntact = false;
}

std::string Join(const Script& script, const std::string& lineEnd, bool finalLineEnd) {
    std::string text;
    for (size_t i = 0; i < script.lines.size(); ++i) {
        text += script.lines[i];
        if (i + 1 < script.lines.size() || finalLineEnd) {
            text += lineEnd;
        }
    }
    return text;
}

void MakeScript(Case& c, Random& random) {
    size_t shape = random.Below(100);
    if (shape < 2) {
        c.scriptKind = ScriptKind::kMissing;
        c.notes.push_back("no setup.isc");
    } else if (shape < 3) {
        c.scriptKind = ScriptKind::kFolder;
        c.notes.push_back("setup.isc is a folder");
    } else if (shape < 5) {
        c.script = random.Percent(50) ? "" : "\xEF\xBB\xBF";
        c.notes.push_back(c.script.empty() ? "empty setup.isc" : "setup.isc of a mark only");
    } else if (shape < 9) {
        c.script = NoByteOrderMark(KeepInside(RandomText(random, random.Below(5000), true)));
        c.notes.push_back("setup.isc of random bytes");
    }
    if (shape < 9) {
        c.commonIntact = false;
        c.filesIntact = false;
        return;
    }

    static const std::vector<std::string> versions = {"150", "0x96", "1.50", "-5", "0226"};
    Script script;
    script.lines = {"[COMMON]", "ProductName=" + c.product, "Version=" + random.Pick(versions),
                    "ProgramExe=" + c.programExe, "FirmName=" + c.firm};
    std::swap(script.lines[1 + random.Below(4)], script.lines[1 + random.Below(4)]);
    c.files = CleanFiles(random);
    if (!c.files.empty() || random.Percent(50)) {
        script.lines.push_back("[FILES]");
        for (const FilesEntry& entry : c.files) {
            script.lines.push_back(entry.key + "=" + entry.value);
        }
    }
    size_t damages = random.Percent(30) ? 0 : 1 + random.Below(4);
    for (size_t i = 0; i < damages; ++i) {
        ApplyDamage(c, script, random);
    }
    static const std::vector<std::string> lineEnds = {"\r\n", "\r\n", "\r\n", "\n", "\r"};
    std::string lineEnd = random.Pick(lineEnds);
    if (lineEnd != "\r\n") {
        c.notes.push_back(lineEnd == "\n" ? "LF line ends" : "CR line ends");
        c.commonIntact = c.commonIntact && lineEnd == "\n";
    }
    std::string text = Join(script, lineEnd, random.Percent(90));
    if (random.Percent(20)) {
        DamageBytes(c, text, random);
    }
    text = KeepInside(text);

    size_t encoding = random.Below(100);
    if (encoding < 10) {
        c.script = "\xFF\xFE" + Encode(text, Encoding::kUtf16Le);
        c.notes.push_back("UTF-16LE");
    } else if (encoding < 15) {
        c.script = "\xFE\xFF" + Encode(text, Encoding::kUtf16Be);
        c.notes.push_back("UTF-16BE");
    } else if (encoding < 25) {
        c.script = "\xEF\xBB\xBF" + Encode(text, Encoding::kUtf8);
        c.notes.push_back("UTF-8 with its mark");
    } else if (encoding < 30) {
        c.script = NoByteOrderMark(Encode(text, Encoding::kUtf8));
        c.notes.push_back("UTF-8 read as ANSI");
    } else {
        c.script = NoByteOrderMark(text);
    }
    if (encoding < 30) {
        // Whether the profile reader decodes each encoding is the platform's business.
        c.commonIntact = false;
        c.filesIntact = false;
        if (random.Percent(15)) {
            c.script.resize(c.script.size() - std::min(c.script.size(), 1 + random.Below(9)));
            c.notes.push_back("encoded bytes cut");
        }
    }
}

Case MakeCase(uint64_t number, const std::string& runRoot) {
    Random random(number);
    Case c;
    c.number = number;
    std::string unique = Hex(GetCurrentProcessId(), 8) + Hex(number & 0xFFFFFFFFu, 8);
    c.root = runRoot + "\\" + Hex(number & 0xFFFFFFFFu, 8);
    c.source = c.root + "\\source";
    c.host = c.root + "\\host";
    c.sentinel = c.root + "\\sentinel";
    c.programExe = "zv" + unique + ".exe";
    c.firm = "Fuzz" + unique;

    c.sourceFiles = {{"readme.txt", "readme of case " + std::to_string(number)},
                     {"data\\level1.map", "map " + RandomText(random, 40, true)},
                     {"gfx\\tiles.bmp", "BM" + RandomText(random, 300, true)},
                     {"Quintaro.exe", "MZ add-on " + std::to_string(number)}};
    c.readOnlySource = random.Percent(20);
    c.addGames = random.Percent(85);
    size_t program = random.Below(100);
    c.programFile = program < 92   ? ProgramFile::kFile
                    : program < 96 ? ProgramFile::kMissing
                                   : ProgramFile::kFolder;
    if (!c.addGames) {
        c.notes.push_back("no addgames folder");
    }
    if (c.programFile != ProgramFile::kFile) {
        c.notes.push_back(c.programFile == ProgramFile::kMissing ? "no host program"
                                                                 : "host program is a folder");
    }

    bool oddRegistry = random.Percent(45);
    std::vector<RegistryValue> paths = PathForms(c, random);
    std::vector<RegistryValue> versions = VersionForms();
    c.path = oddRegistry && random.Percent(60) ? random.Pick(paths) : paths[0];
    c.version = oddRegistry && random.Percent(60) ? random.Pick(versions) : versions[0];
    c.appPathsKey = !random.Percent(3);
    c.pathValue = !random.Percent(2);
    c.makerKey = !random.Percent(3);
    c.versionValue = !random.Percent(2);
    c.notes.push_back("Path " +
                      (c.appPathsKey ? c.pathValue ? c.path.form : "absent" : "key absent"));
    c.notes.push_back("version " +
                      (c.makerKey ? c.versionValue ? c.version.form : "absent" : "key absent"));
    MakeScript(c, random);
    return c;
}

// ---------------------------------------------------------------------------------------
// What the host probe must find when COMMON is intact.

Known HostExpected(const Case& c) {
    if (!c.appPathsKey || !c.pathValue || !c.makerKey || !c.versionValue ||
        c.programFile != ProgramFile::kFile) {
        return Known::kNo;
    }
    if (c.path.good == Known::kUnknown) {
        return Known::kUnknown;
    }
    if (c.path.good == Known::kNo || c.version.good == Known::kNo ||
        c.path.data.size() > kRegistryDataLimit || c.version.data.size() > kRegistryDataLimit) {
        return Known::kNo;
    }
    std::string host = c.path.data.substr(0, c.path.data.find('\0'));
    bool separated = !host.empty() && (host.back() == '\\' || host.back() == '/');
    size_t programPath = host.size() + (separated ? 0 : 1) + c.programExe.size();
    return programPath <= kPathLimit ? Known::kYes : Known::kNo;
}

// ---------------------------------------------------------------------------------------
// Snapshots of folders and registry keys.

struct FileState {
    bool folder = false;
    DWORD attributes = 0;
    uint64_t size = 0;
    uint64_t written = 0;
    uint64_t hash = 0;
};
using TreeState = std::map<std::string, FileState>;

uint64_t Hash(const std::string& bytes) {
    uint64_t hash = 0xCBF29CE484222325u;
    for (char c : bytes) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3u;
    }
    return hash;
}

void Snapshot(const std::string& folder, const std::string& relative, TreeState& state) {
    WIN32_FIND_DATAA found;
    std::string base = relative.empty() ? folder : folder + "\\" + relative;
    HANDLE search = FindFirstFileA((base + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") {
            continue;
        }
        std::string path = relative.empty() ? name : relative + "\\" + name;
        FileState file;
        file.folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        file.attributes = found.dwFileAttributes &
                          (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        file.size = (uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
        file.written = (uint64_t{found.ftLastWriteTime.dwHighDateTime} << 32) |
                       found.ftLastWriteTime.dwLowDateTime;
        if (file.folder) {
            Snapshot(folder, path, state);
        } else {
            file.hash = Hash(ReadWholeFile(folder + "\\" + path));
        }
        state[path] = file;
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

TreeState Snapshot(const std::string& folder) {
    TreeState state;
    Snapshot(folder, "", state);
    return state;
}

bool Under(const std::string& path, const std::string& folder) {
    return path == folder || path.compare(0, folder.size() + 1, folder + "\\") == 0;
}

// The state without a folder and everything in it.
TreeState Without(TreeState state, const std::string& folder) {
    for (auto it = state.begin(); it != state.end();) {
        it = Under(it->first, folder) ? state.erase(it) : std::next(it);
    }
    return state;
}

bool Same(const FileState& a, const FileState& b) {
    return a.folder == b.folder && a.attributes == b.attributes && a.size == b.size &&
           a.written == b.written && a.hash == b.hash;
}

// Empty when the two states are the same, else the first difference.
std::string Difference(const TreeState& before, const TreeState& after) {
    for (const auto& [path, file] : before) {
        auto now = after.find(path);
        if (now == after.end()) {
            return path + " removed";
        }
        if (!Same(file, now->second)) {
            return path + " changed";
        }
    }
    for (const auto& [path, file] : after) {
        if (before.count(path) == 0) {
            return path + " appeared";
        }
    }
    return "";
}

std::string DescribeKey(HKEY parent, const std::string& path, REGSAM view) {
    HKEY key;
    if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
        return "(absent)";
    }
    std::string text = "{";
    char name[16384];
    std::vector<BYTE> data(1 << 16);
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = sizeof name;
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueA(key, index, name, &nameSize, nullptr, &type, data.data(), &dataSize) !=
            ERROR_SUCCESS) {
            break;
        }
        text += std::string(name, nameSize) + ":" + std::to_string(type) + "=" +
                Hex(Hash(std::string(reinterpret_cast<char*>(data.data()), dataSize)), 16) + ";";
    }
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(key, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        std::string child(name, nameSize);
        text += child + DescribeKey(key, child, view) + ";";
    }
    RegCloseKey(key);
    return text + "}";
}

// ---------------------------------------------------------------------------------------
// Laying a case out, running it and judging the run.

void WriteBytes(const std::string& path, const std::string& bytes) {
    size_t slash = path.find_last_of('\\');
    for (size_t at = path.find('\\', 3); at != std::string::npos && at <= slash;
         at = path.find('\\', at + 1)) {
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    }
    FILE* file = fopen(path.c_str(), "wb");
    if (file != nullptr) {
        fwrite(bytes.data(), 1, bytes.size(), file);
        fclose(file);
    }
}

// The host's registry entries of one case, removed with the object.
struct HostKeys {
    std::unique_ptr<ScratchMachineKey> appPaths;
    std::unique_ptr<ScratchMachineKey> firm;
    std::unique_ptr<ScratchMachineKey> maker;
};

HostKeys LayOut(const Case& c, REGSAM view) {
    CreateDirectoryA(c.root.c_str(), nullptr);
    CreateDirectoryA(c.source.c_str(), nullptr);
    CreateDirectoryA(c.host.c_str(), nullptr);
    for (const auto& [relative, bytes] : c.sourceFiles) {
        WriteBytes(c.source + "\\" + relative, bytes);
    }
    if (c.readOnlySource) {
        SetFileAttributesA((c.source + "\\readme.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    }
    if (c.scriptKind == ScriptKind::kFile) {
        WriteBytes(c.source + "\\setup.isc", c.script);
    } else if (c.scriptKind == ScriptKind::kFolder) {
        CreateDirectoryA((c.source + "\\setup.isc").c_str(), nullptr);
    }
    WriteBytes(c.sentinel + "\\keep.txt", "nothing may touch this");
    if (c.addGames) {
        CreateDirectoryA((c.host + "\\addgames").c_str(), nullptr);
    }
    std::string program = c.host + "\\" + c.programExe;
    if (c.programFile == ProgramFile::kFile) {
        WriteBytes(program, "MZ host program");
    } else if (c.programFile == ProgramFile::kFolder) {
        CreateDirectoryA(program.c_str(), nullptr);
    }

    HostKeys keys;
    if (c.appPathsKey) {
        keys.appPaths = std::make_unique<ScratchMachineKey>(kAppPaths + c.programExe, view);
        if (c.pathValue) {
            keys.appPaths->SetValue("Path", c.path.type, c.path.data.data(),
                                    static_cast<DWORD>(c.path.data.size()));
        }
    }
    if (c.makerKey) {
        keys.firm = std::make_unique<ScratchMachineKey>("Software\\" + c.firm, view);
        keys.maker =
            std::make_unique<ScratchMachineKey>("Software\\" + c.firm + "\\" + c.product, view);
        if (c.versionValue) {
            keys.maker->SetValue("version", c.version.type, c.version.data.data(),
                                 static_cast<DWORD>(c.version.data.size()));
        }
    }
    return keys;
}

enum class BoxKind { kConfirm, kNotFound, kSuccess, kCopyError, kScriptError, kOther };

BoxKind KindOf(const BoxRecord& box) {
    if (box.text == kConfirmText) {
        return BoxKind::kConfirm;
    }
    if (box.text.compare(0, strlen(kNotFoundLead), kNotFoundLead) == 0) {
        return BoxKind::kNotFound;
    }
    if (box.text == kSuccessText) {
        return BoxKind::kSuccess;
    }
    if (box.text.compare(0, strlen(kCopyErrorLead), kCopyErrorLead) == 0) {
        return BoxKind::kCopyError;
    }
    for (const char* caption : kScriptErrorCaptions) {
        if (box.caption == caption) {
            return BoxKind::kScriptError;
        }
    }
    return BoxKind::kOther;
}

// A short name of the box for the outcome figures: which box, and for errors which key or
// which system error.
std::string OutcomeOf(const BoxRecord& box) {
    switch (KindOf(box)) {
        case BoxKind::kConfirm:
            return "confirm";
        case BoxKind::kNotFound:
            return "host not found";
        case BoxKind::kSuccess:
            return "installed";
        case BoxKind::kCopyError: {
            size_t last = box.text.rfind("'.\n");
            std::string system = last == std::string::npos ? "" : box.text.substr(last + 3);
            while (!system.empty() && (system.back() == '\n' || system.back() == '\r')) {
                system.pop_back();
            }
            return "copy error (" + system + ")";
        }
        case BoxKind::kScriptError: {
            size_t first = box.text.find("\r\n");
            std::string where = first == std::string::npos ? "" : box.text.substr(first + 2);
            std::replace(where.begin(), where.end(), '\r', ' ');
            where.erase(std::remove(where.begin(), where.end(), '\n'), where.end());
            return box.caption + " " + where.substr(0, 40);
        }
        default:
            return "other box [" + box.caption + "]";
    }
}

struct Verdict {
    std::string outcome;
    std::vector<std::string> faults;
};

// The shape of the run: its boxes and exit code. Sets *installBranch when the run went on
// to install (the only time the host folder may change) and *foundHost when it found the
// host game.
void JudgeBoxes(const RunResult& result, Verdict& verdict, bool* installBranch, bool* foundHost) {
    *installBranch = false;
    *foundHost = false;
    if (!result.started) {
        verdict.outcome = "not started";
        verdict.faults.push_back("setup.exe did not start");
        return;
    }
    if (result.timedOut) {
        verdict.outcome = "killed after the time limit";
        verdict.faults.push_back("killed after the time limit of " +
                                 std::to_string(kTimeLimitMs / 1000) + " s");
        return;
    }
    verdict.outcome = "exit " + std::to_string(result.exitCode) + ":";
    std::vector<BoxKind> kinds;
    for (const BoxRecord& box : result.boxes) {
        kinds.push_back(KindOf(box));
        verdict.outcome += " " + OutcomeOf(box) + " >";
    }
    if (!verdict.outcome.empty() && verdict.outcome.back() == '>') {
        verdict.outcome.resize(verdict.outcome.size() - 2);
    }
    bool shapeOk = false;
    if (result.exitCode == 1) {
        shapeOk = (kinds.size() == 1 && kinds[0] == BoxKind::kScriptError) ||
                  (kinds.size() == 2 && kinds[0] == BoxKind::kConfirm &&
                   result.boxes[1].caption == kTooManyEntriesCaption);
        *foundHost = *installBranch = kinds.size() == 2;
    } else if (result.exitCode == 0) {
        shapeOk = kinds.size() == 2 && kinds[0] == BoxKind::kConfirm &&
                  (kinds[1] == BoxKind::kNotFound || kinds[1] == BoxKind::kSuccess ||
                   kinds[1] == BoxKind::kCopyError);
        *foundHost = *installBranch = shapeOk && kinds[1] != BoxKind::kNotFound;
    }
    if (!shapeOk) {
        verdict.faults.push_back(result.boxes.empty() ? "ended without a box, exit code " +
                                                            std::to_string(result.exitCode)
                                                      : "unexpected boxes or exit code");
    }
}

void JudgeFiles(const Case& c, const TreeState& outsideBefore, const TreeState& hostBefore,
                bool installBranch, Verdict& verdict) {
    TreeState outsideAfter = Without(Snapshot(c.root), "host");
    std::string outside = Difference(outsideBefore, outsideAfter);
    if (!outside.empty()) {
        verdict.faults.push_back("written outside the host folder: " + outside);
    }

    TreeState hostAfter = Snapshot(c.host);
    if (!installBranch) {
        std::string change = Difference(hostBefore, hostAfter);
        if (!change.empty()) {
            verdict.faults.push_back("host folder changed without an installation: " + change);
        }
        return;
    }
    std::set<uint64_t> sourceHashes;
    for (const auto& [path, file] : outsideBefore) {
        if (Under(path, "source") && !file.folder) {
            sourceHashes.insert(file.hash);
        }
    }
    for (const auto& [path, file] : hostBefore) {
        if (hostAfter.count(path) == 0) {
            verdict.faults.push_back("host folder: " + path + " removed");
        }
    }
    for (const auto& [path, file] : hostAfter) {
        auto before = hostBefore.find(path);
        if (before != hostBefore.end() && Same(before->second, file)) {
            continue;
        }
        if (file.folder) {
            if (before == hostBefore.end() && path != kAddOnFolder) {
                verdict.faults.push_back("host folder: folder " + path + " made");
            }
            continue;
        }
        if (sourceHashes.count(file.hash) == 0) {
            verdict.faults.push_back("host folder: " + path + " is no copy of a source file");
        }
        if (file.attributes & FILE_ATTRIBUTE_READONLY) {
            verdict.faults.push_back("host folder: copy " + path + " is read-only");
        }
    }
}

// Where COMMON is intact, the probe's finding is known; where FILES is too, so is the
// installation.
void JudgePrediction(const Case& c, const RunResult& result, bool foundHost, Verdict& verdict) {
    Known expected = HostExpected(c);
    if (!c.commonIntact || expected == Known::kUnknown || !verdict.faults.empty()) {
        return;
    }
    if (foundHost != (expected == Known::kYes)) {
        verdict.faults.push_back(std::string("host game ") + (foundHost ? "found" : "not found") +
                                 ", but the registry and the host folder say it is " +
                                 (expected == Known::kYes ? "there" : "missing"));
        return;
    }
    bool allGood = std::all_of(c.files.begin(), c.files.end(),
                               [](const FilesEntry& entry) { return entry.good; });
    if (!foundHost || !c.filesIntact || !allGood || !c.addGames) {
        return;
    }
    if (KindOf(result.boxes.back()) != BoxKind::kSuccess) {
        verdict.faults.push_back("a clean FILES list was not installed");
        return;
    }
    for (const FilesEntry& entry : c.files) {
        std::string destination = entry.value;
        std::replace(destination.begin(), destination.end(), '/', '\\');
        bool read = false;
        std::string copied = ReadWholeFile(c.host + "\\" + destination, &read);
        std::string original = ReadWholeFile(c.source + "\\" + entry.key);
        if (!read || copied != original) {
            verdict.faults.push_back("entry " + entry.key + " not copied to " + entry.value);
        }
    }
}

// A program that crashes under Wine may leave the debugger that the crash started waiting
// for it, which would keep the prefix's wineserver alive: end what the program started.
void EndProcessesStartedBy(DWORD parentId) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return;
    }
    std::vector<DWORD> children;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID == parentId && entry.th32ProcessID != parentId) {
            children.push_back(entry.th32ProcessID);
        }
    }
    CloseHandle(snapshot);
    for (DWORD child : children) {
        EndProcessesStartedBy(child);
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, child);
        if (process != nullptr) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
}

struct Options {
    std::string program;
    uint64_t start = 1;
    uint64_t runs = 30;
    bool verbose = false;
    bool keep = false;
};

Verdict RunCase(const Options& options, const Case& c, REGSAM view) {
    Verdict verdict;
    // The folder that holds the case's folder: whatever appears there is the program's doing.
    size_t slash = c.root.find_last_of('\\');
    std::string runRoot = c.root.substr(0, slash);
    std::string caseFolder = c.root.substr(slash + 1);
    TreeState besideBefore = Snapshot(runRoot);
    HostKeys keys = LayOut(c, view);
    std::string appPathsKey = kAppPaths + c.programExe;
    std::string firmKey = "Software\\" + c.firm;
    std::string registryBefore = DescribeKey(HKEY_LOCAL_MACHINE, appPathsKey, view) +
                                 DescribeKey(HKEY_LOCAL_MACHINE, firmKey, view);
    TreeState outsideBefore = Without(Snapshot(c.root), "host");
    TreeState hostBefore = Snapshot(c.host);

    RunOptions run;
    run.program = options.program;
    run.workingFolder = c.source;
    run.timeoutMs = kTimeLimitMs;
    run.watchProgress = false;  // only the boxes matter here
    RunResult result = RunAndDrive(run);
    if (result.started && (result.timedOut || result.exitCode > 1)) {
        EndProcessesStartedBy(result.processId);
    }

    bool installBranch = false;
    bool foundHost = false;
    JudgeBoxes(result, verdict, &installBranch, &foundHost);
    JudgeFiles(c, outsideBefore, hostBefore, installBranch, verdict);
    std::string registryAfter = DescribeKey(HKEY_LOCAL_MACHINE, appPathsKey, view) +
                                DescribeKey(HKEY_LOCAL_MACHINE, firmKey, view);
    if (registryAfter != registryBefore) {
        verdict.faults.push_back("the host's registry keys changed");
    }
    JudgePrediction(c, result, foundHost, verdict);

    std::string beside =
        Difference(Without(besideBefore, caseFolder), Without(Snapshot(runRoot), caseFolder));
    if (!beside.empty()) {
        verdict.faults.push_back("written beside the case's folder: " + beside);
    }
    if (options.verbose || !verdict.faults.empty()) {
        printf("case %llu: %s\n%s  run: %s", static_cast<unsigned long long>(c.number),
               verdict.outcome.c_str(), c.Describe().c_str(), result.Describe().c_str());
        for (const std::string& fault : verdict.faults) {
            printf("  FAULT: %s\n", fault.c_str());
        }
        fflush(stdout);
    }
    if (!options.keep) {
        RemoveTree(c.root);
    }
    return verdict;
}

bool TakeOption(const char* arg, const char* name, std::string* value) {
    size_t length = strlen(name);
    if (strncmp(arg, name, length) != 0 || arg[length] != '=') {
        return false;
    }
    *value = arg + length + 1;
    return true;
}

bool ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        std::string value;
        if (TakeOption(argv[i], "--program", &value)) {
            options->program = ToWindowsPath(value);
        } else if (TakeOption(argv[i], "--runs", &value)) {
            options->runs = strtoull(value.c_str(), nullptr, 10);
        } else if (TakeOption(argv[i], "--start", &value)) {
            options->start = strtoull(value.c_str(), nullptr, 10);
        } else if (strcmp(argv[i], "--verbose") == 0) {
            options->verbose = true;
        } else if (strcmp(argv[i], "--keep") == 0) {
            options->keep = true;
        } else {
            return false;
        }
    }
    return !options->program.empty();
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        fprintf(stderr,
                "usage: bad_input.exe --program=SETUP.EXE [--runs=N] [--start=K] [--verbose]"
                " [--keep]\n");
        return 2;
    }
    REGSAM view = RegistryViewOfProgram(options.program);
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string runRoot = std::string(temp) + "bad-input-" + Hex(GetCurrentProcessId(), 8);
    CreateDirectoryA(runRoot.c_str(), nullptr);

    std::map<std::string, int> outcomes;
    std::vector<uint64_t> failed;
    ULONGLONG began = GetTickCount64();
    for (uint64_t i = 0; i < options.runs; ++i) {
        uint64_t number = options.start + i;
        Case c = MakeCase(number, runRoot);
        Verdict verdict = RunCase(options, c, view);
        ++outcomes[verdict.outcome.empty() ? "(no outcome)" : verdict.outcome];
        if (!verdict.faults.empty()) {
            failed.push_back(number);
        }
    }
    if (!options.keep) {
        RemoveTree(runRoot);
    }
    double seconds = static_cast<double>(GetTickCount64() - began) / 1000.0;

    std::vector<std::pair<int, std::string>> sorted;
    for (const auto& [outcome, count] : outcomes) {
        sorted.push_back({count, outcome});
    }
    std::sort(sorted.rbegin(), sorted.rend());
    printf("\nbad input: cases %llu to %llu against %s\n",
           static_cast<unsigned long long>(options.start),
           static_cast<unsigned long long>(options.start + options.runs - 1),
           options.program.c_str());
    printf("%zu distinct outcomes:\n", outcomes.size());
    for (const auto& [count, outcome] : sorted) {
        printf("  %5d  %s\n", count, outcome.c_str());
    }
    printf("runs %llu, distinct outcomes %zu, failures %zu, %.1f s (%.2f s a run)\n",
           static_cast<unsigned long long>(options.runs), outcomes.size(), failed.size(), seconds,
           options.runs == 0 ? 0.0 : seconds / static_cast<double>(options.runs));
    for (uint64_t number : failed) {
        printf("  failed: case %llu (again: --start=%llu --runs=1 --verbose)\n",
               static_cast<unsigned long long>(number), static_cast<unsigned long long>(number));
    }
    printf("cases: %llu passed, %zu failed\n",
           static_cast<unsigned long long>(options.runs - failed.size()), failed.size());
    return failed.empty() ? 0 : 1;
}
