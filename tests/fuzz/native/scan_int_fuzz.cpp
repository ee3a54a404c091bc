// ScanScriptInt against a reference reading of the script's integer syntax: for any text,
// both agree on whether it holds an integer and on its value, a failed scan leaves the value
// alone, and nothing past the terminator is read.
#include <cstdint>
#include <string>

#include "common/text.h"
#include "fuzz_support.h"

namespace {

// The syntax read step by step from its description, in 64-bit arithmetic reduced modulo
// 2^32 only at the end of each step; deliberately shaped unlike the code under test.
bool ReferenceScan(const std::string& text, int64_t* result) {
    static const std::string kSpace = " \t\n\v\f\r";
    static const std::string kDigits = "0123456789abcdef";
    size_t at = text.find_first_not_of(kSpace);
    if (at == std::string::npos) {
        return false;
    }
    int64_t sign = 1;
    if (text[at] == '-' || text[at] == '+') {
        sign = text[at] == '-' ? -1 : 1;
        ++at;
    }
    uint64_t base = 10;
    size_t digitsTaken = 0;
    if (text.compare(at, 2, "0x") == 0 || text.compare(at, 2, "0X") == 0) {
        base = 16;
        at += 2;
    } else if (text.compare(at, 1, "0") == 0) {
        base = 8;
        digitsTaken = 1;
        at += 1;
    }
    uint64_t magnitude = 0;
    for (; at < text.size(); ++at) {
        char lower =
            text[at] >= 'A' && text[at] <= 'F' ? static_cast<char>(text[at] + 32) : text[at];
        size_t digit = kDigits.find(lower);
        if (digit == std::string::npos || digit >= base) {
            break;
        }
        magnitude = (magnitude * base + digit) % (uint64_t{1} << 32);
        ++digitsTaken;
    }
    if (digitsTaken == 0) {
        return false;
    }
    // Negate in 64 bits, bring back into [0, 2^32), then read those 32 bits as signed.
    int64_t wrapped = (sign * static_cast<int64_t>(magnitude)) % (int64_t{1} << 32);
    if (wrapped < 0) {
        wrapped += int64_t{1} << 32;
    }
    *result = wrapped >= (int64_t{1} << 31) ? wrapped - (int64_t{1} << 32) : wrapped;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text = CText(std::string(reinterpret_cast<const char*>(data), size));
    ExactText exact(text);
    constexpr int32_t kUntouched = 0x5A5A5A5A;
    int32_t value = kUntouched;
    bool scanned = ScanScriptInt(exact.c_str(), &value);
    int64_t expected = 0;
    bool expectedScan = ReferenceScan(text, &expected);
    REQUIRE(scanned == expectedScan, "text \"%s\": scanned %d, reference %d", text.c_str(), scanned,
            expectedScan);
    if (scanned) {
        REQUIRE(value == expected, "text \"%s\": value %d, reference %lld", text.c_str(), value,
                static_cast<long long>(expected));
    } else {
        REQUIRE(value == kUntouched, "text \"%s\": failed scan wrote %d", text.c_str(), value);
    }
    return 0;
}
