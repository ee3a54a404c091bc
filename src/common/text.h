// Text helpers shared by the whole program: fixed buffer sizes, bounded copying, path
// joining and the integer syntax of the setup script. Nothing here needs windows.h, so the
// same code also builds natively for the fuzzers.
#pragma once

#include <cstddef>
#include <cstdint>

// Buffer sizes, the terminator included.
constexpr size_t kPathSize = 260;      // paths and file names
constexpr size_t kNameSize = 1024;     // names, the title and registry key paths
constexpr size_t kMessageSize = 2048;  // a composed error message

// The add-on this build installs: the title's second word and the name of its folder.
constexpr char kAddOnName[] = "Quintaro";

// Copies src into dst[0..size). Always terminates (for size > 0); returns false when src
// did not fit, in which case dst holds as much of it as fits.
bool CopyTextN(char* dst, size_t size, const char* src);

// Appends component to the path in dst[0..size): a "\" first unless the path is empty or
// already ends in "\" or "/". Always terminates; returns false when the result did not fit,
// in which case dst holds as much of it as fits (good enough to show, never to use).
bool AppendPathComponentN(char* dst, size_t size, const char* component);

// Reads text as the setup script's integers are read ("%i" of formatted input, with a fixed
// wrap-around rule): leading white space, one optional sign, then hexadecimal after 0x/0X,
// octal after a leading 0, decimal otherwise, up to the first character that is not a digit
// of the base; digits accumulate in an unsigned 32-bit value that wraps. Returns false (value
// untouched) when no digit was taken.
bool ScanScriptInt(const char* text, int32_t* value);

// A section's key names as the profile reader lists them: each name zero-terminated, the
// list ended by an empty name, length bytes of names in all. The first name, or nullptr for
// an empty list; then the name after name, or nullptr at the end.
const char* FirstListName(const char* list, size_t length);
const char* NextListName(const char* list, size_t length, const char* name);

template <size_t N>
[[nodiscard]] bool CopyText(char (&dst)[N], const char* src) {
    return CopyTextN(dst, N, src);
}

template <size_t N>
[[nodiscard]] bool AppendPathComponent(char (&path)[N], const char* component) {
    return AppendPathComponentN(path, N, component);
}

// printf into dst[0..size). Always terminates; returns false when the text was cut.
bool FormatTextN(char* dst, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

template <size_t N, typename... Args>
bool FormatText(char (&dst)[N], const char* format, Args... args) {
    return FormatTextN(dst, N, format, args...);
}
