// The bounded text writers against plain std::string references: CopyTextN,
// AppendPathComponentN and FormatTextN with the program's own formats. For every buffer size
// and content: nothing is written outside the buffer (poisoned guards) or after the result's
// terminator, the result is always terminated, "fits" is reported exactly when the whole
// result fits, and the result is the reference, whole when it fits and cut otherwise.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "common/text.h"
#include "fuzz_support.h"

namespace {

constexpr size_t kLargestBuffer = 2 * kPathSize + 8;

std::string Shown(const char* bytes, size_t size) {
    std::string shown;
    for (size_t i = 0; i < size; ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        char piece[8];
        snprintf(piece, sizeof piece, c >= 0x20 && c < 0x7F ? "%c" : "\\x%02X", c);
        shown += piece;
    }
    return shown;
}

// Checks the buffer after a write whose full result would have been expected: terminated,
// equal to expected or to as much of it as fits, "fits" reported exactly, and every byte
// after the terminator as it was before the call, but for the buffer's last byte where the
// writer terminates there in every case.
void CheckWrite(GuardedBuffer& buffer, const std::string& before, const std::string& expected,
                bool reportedFit, bool zeroesLastByte = false) {
    REQUIRE(buffer.GuardsIntact(), "write outside the %zu-byte buffer", buffer.size());
    size_t size = buffer.size();
    const char* dst = buffer.data();
    bool fits = expected.size() < size;
    REQUIRE(reportedFit == fits, "size %zu, expected \"%s\" (%zu bytes): reported fit %d", size,
            expected.c_str(), expected.size(), reportedFit);
    if (size == 0) {
        return;
    }
    size_t end = strnlen(dst, size);
    REQUIRE(end < size, "size %zu: result not terminated: \"%s\"", size, Shown(dst, size).c_str());
    std::string want = fits ? expected : expected.substr(0, size - 1);
    REQUIRE(std::string(dst, end) == want, "size %zu: got \"%s\", want \"%s\"", size,
            Shown(dst, end).c_str(), Shown(want.data(), want.size()).c_str());
    size_t untouched = size - end - 1;
    if (zeroesLastByte && untouched > 0) {
        REQUIRE(dst[size - 1] == '\0', "size %zu: last byte not zero", size);
        --untouched;
    }
    REQUIRE(memcmp(dst + end + 1, before.data() + end + 1, untouched) == 0,
            "size %zu: bytes after the terminator at %zu were changed", size, end);
}

void FuzzCopy(FuzzedDataProvider& input) {
    GuardedBuffer buffer(input.ConsumeIntegralInRange<size_t>(0, kLargestBuffer));
    std::string source = CText(input.ConsumeRemainingBytesAsString());
    std::string before(buffer.data(), buffer.size());
    ExactText exact(source);
    bool fit = CopyTextN(buffer.data(), buffer.size(), exact.c_str());
    CheckWrite(buffer, before, source, fit);
}

void FuzzAppend(FuzzedDataProvider& input) {
    GuardedBuffer buffer(input.ConsumeIntegralInRange<size_t>(0, kLargestBuffer));
    bool terminated = input.ConsumeBool();
    std::string path = CText(input.ConsumeRandomLengthString(kLargestBuffer));
    std::string component = CText(input.ConsumeRemainingBytesAsString());
    size_t size = buffer.size();
    if (terminated && size > 0) {
        path.resize(std::min(path.size(), size - 1));
        memcpy(buffer.data(), path.c_str(), path.size() + 1);
    } else {
        // No terminator anywhere in the buffer: it is no path to join to.
        std::string filler = path.empty() ? std::string("p") : path;
        for (size_t i = 0; i < size; ++i) {
            buffer.data()[i] = filler[i % filler.size()];
        }
    }
    std::string before(buffer.data(), size);
    ExactText exact(component);
    bool fit = AppendPathComponentN(buffer.data(), size, exact.c_str());
    REQUIRE(buffer.GuardsIntact(), "write outside the %zu-byte buffer", size);
    if (size == 0) {
        REQUIRE(!fit, "a join into no buffer was reported as done");
        return;
    }
    if (!terminated) {
        // Cut at its last byte like any text that does not fit, and left alone before it.
        REQUIRE(!fit, "an unterminated path of %zu bytes was reported as joined", size);
        REQUIRE(
            buffer.data()[size - 1] == '\0' && memcmp(buffer.data(), before.data(), size - 1) == 0,
            "an unterminated path of %zu bytes: got \"%s\"", size,
            Shown(buffer.data(), size).c_str());
        return;
    }
    std::string joined = path;
    if (!path.empty() && path.back() != '\\' && path.back() != '/') {
        joined += '\\';
    }
    joined += component;
    CheckWrite(buffer, before, joined, fit);
}

void FuzzFormat(FuzzedDataProvider& input) {
    GuardedBuffer buffer(input.ConsumeIntegralInRange<size_t>(0, kLargestBuffer));
    int format = input.ConsumeIntegralInRange(0, 2);
    std::string first = CText(input.ConsumeRandomLengthString(3 * kPathSize));
    std::string second = CText(input.ConsumeRandomLengthString(3 * kPathSize));
    std::string third = CText(input.ConsumeRemainingBytesAsString());
    std::string before(buffer.data(), buffer.size());
    bool fit = false;
    std::string expected;
    // The formats the program composes its key paths and messages with.
    switch (format) {
        case 0:
            fit =
                FormatTextN(buffer.data(), buffer.size(), "%s\\%s", first.c_str(), second.c_str());
            expected = first + "\\" + second;
            break;
        case 1:
            fit = FormatTextN(buffer.data(), buffer.size(), "Software\\%s\\%s", first.c_str(),
                              second.c_str());
            expected = "Software\\" + first + "\\" + second;
            break;
        default:
            fit = FormatTextN(buffer.data(), buffer.size(), "%s\r\n[%s]\r\n%s", first.c_str(),
                              second.c_str(), third.c_str());
            expected = first + "\r\n[" + second + "]\r\n" + third;
            break;
    }
    CheckWrite(buffer, before, expected, fit, true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    switch (input.ConsumeIntegralInRange(0, 2)) {
        case 0:
            FuzzCopy(input);
            break;
        case 1:
            FuzzAppend(input);
            break;
        default:
            FuzzFormat(input);
            break;
    }
    return 0;
}
