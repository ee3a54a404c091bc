// What the native fuzzers share: a failed property stops the fuzzer with a message, and a
// buffer that sits between poisoned guard bytes, so that a write or read past either end is
// caught by AddressSanitizer at once and, should it miss one, by the guard bytes' 0xCC.
#pragma once

#include <sanitizer/asan_interface.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// Stops the run with the property that failed; libFuzzer then saves the input.
#define REQUIRE(condition, ...)                                                                  \
    do {                                                                                         \
        if (!(condition)) {                                                                      \
            fprintf(stderr, "property failed at %s:%d: %s\n  ", __FILE__, __LINE__, #condition); \
            fprintf(stderr, __VA_ARGS__);                                                        \
            fprintf(stderr, "\n");                                                               \
            abort();                                                                             \
        }                                                                                        \
    } while (0)

class GuardedBuffer {
  public:
    static constexpr size_t kGuard = 32;
    static constexpr unsigned char kPoison = 0xCC;

    explicit GuardedBuffer(size_t size)
        : size_(size), block_(size + 2 * kGuard, static_cast<char>(kPoison)) {
        ASAN_POISON_MEMORY_REGION(block_.data(), kGuard);
        ASAN_POISON_MEMORY_REGION(block_.data() + kGuard + size_, kGuard);
    }
    ~GuardedBuffer() { Unpoison(); }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    char* data() { return block_.data() + kGuard; }
    size_t size() const { return size_; }

    // Whether the guard bytes on both sides still hold the poison.
    bool GuardsIntact() {
        Unpoison();
        for (size_t i = 0; i < kGuard; ++i) {
            if (static_cast<unsigned char>(block_[i]) != kPoison ||
                static_cast<unsigned char>(block_[kGuard + size_ + i]) != kPoison) {
                return false;
            }
        }
        return true;
    }

  private:
    void Unpoison() { ASAN_UNPOISON_MEMORY_REGION(block_.data(), block_.size()); }

    size_t size_;
    std::vector<char> block_;
};

// The text of a C string held in s: everything before its first zero byte.
inline std::string CText(const std::string& s) {
    return s.substr(0, s.find('\0'));
}

// A copy of text in a heap block of exactly its length plus the terminator, so that reading
// past the terminator is caught.
class ExactText {
  public:
    explicit ExactText(const std::string& text) : bytes_(text.size() + 1) {
        memcpy(bytes_.data(), text.c_str(), text.size() + 1);
    }
    const char* c_str() const { return bytes_.data(); }

  private:
    std::vector<char> bytes_;
};
