#include "common/text.h"

#include <cstdarg>
#include <cstdio>

bool CopyTextN(char* dst, size_t size, const char* src) {
    if (size == 0) {
        return false;
    }
    size_t i = 0;
    for (; i + 1 < size && src[i] != '\0'; ++i) {
        dst[i] = src[i];
    }
    dst[i] = '\0';
    return src[i] == '\0';
}

bool FormatTextN(char* dst, size_t size, const char* format, ...) {
    if (size == 0) {
        return false;
    }
    va_list args;
    va_start(args, format);
    int length = vsnprintf(dst, size, format, args);
    va_end(args);
    // Some runtimes leave a cut text unterminated and return -1: terminate in every case.
    dst[size - 1] = '\0';
    return length >= 0 && static_cast<size_t>(length) < size;
}

bool AppendPathComponentN(char* dst, size_t size, const char* component) {
    size_t length = 0;
    while (length < size && dst[length] != '\0') {
        ++length;
    }
    if (length == size) {
        // Not even terminated: cut it at the last byte, like any other text that did not fit.
        if (size > 0) {
            dst[size - 1] = '\0';
        }
        return false;
    }
    if (length > 0 && dst[length - 1] != '\\' && dst[length - 1] != '/') {
        if (length + 1 >= size) {
            return false;
        }
        dst[length++] = '\\';
        dst[length] = '\0';
    }
    return CopyTextN(dst + length, size - length, component);
}

const char* FirstListName(const char* list, size_t length) {
    return length > 0 && list[0] != '\0' ? list : nullptr;
}

const char* NextListName(const char* list, size_t length, const char* name) {
    // The list's final zero lies at list[length] at the latest: never read past it.
    const char* end = list + length;
    const char* next = name;
    while (next < end && *next != '\0') {
        ++next;
    }
    ++next;
    return next < end && *next != '\0' ? next : nullptr;
}

namespace {

bool IsScanSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The value of c as a digit of base, or -1.
int DigitValue(char c, unsigned base) {
    int digit = -1;
    if (c >= '0' && c <= '9') {
        digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        digit = c - 'A' + 10;
    }
    return digit >= 0 && static_cast<unsigned>(digit) < base ? digit : -1;
}

}  // namespace

bool ScanScriptInt(const char* text, int32_t* value) {
    const char* p = text;
    while (IsScanSpace(*p)) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    unsigned base = 10;
    bool tookDigit = false;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    } else if (p[0] == '0') {
        base = 8;
        tookDigit = true;  // the 0 that opens an octal number is a digit of its own
        ++p;
    }
    uint32_t accumulated = 0;
    for (int digit; (digit = DigitValue(*p, base)) >= 0; ++p) {
        accumulated = accumulated * base + static_cast<uint32_t>(digit);
        tookDigit = true;
    }
    if (!tookDigit) {
        return false;
    }
    if (negative) {
        accumulated = 0u - accumulated;
    }
    *value = static_cast<int32_t>(accumulated);
    return true;
}
