// FirstListName/NextListName against a reference split of the key list. The list lies in a
// heap block of exactly its length, so a read of list[length] or beyond is caught; the walk
// must visit exactly the names that splitting at zero bytes up to the first empty name
// finds, at the same places, and end.
#include <cstdint>
#include <string>
#include <vector>

#include "common/text.h"
#include "fuzz_support.h"

namespace {

// Where each name of the list begins: names end at a zero byte or at the list's end, and
// an empty name ends the list.
std::vector<size_t> ReferenceNames(const std::vector<char>& list) {
    std::vector<size_t> starts;
    size_t at = 0;
    while (at < list.size() && list[at] != '\0') {
        starts.push_back(at);
        const void* zero = memchr(list.data() + at, 0, list.size() - at);
        if (zero == nullptr) {
            break;
        }
        at = static_cast<size_t>(static_cast<const char*>(zero) - list.data()) + 1;
    }
    return starts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> list(data, data + size);
    std::vector<size_t> expected = ReferenceNames(list);
    std::vector<size_t> visited;
    for (const char* name = FirstListName(list.data(), list.size()); name != nullptr;
         name = NextListName(list.data(), list.size(), name)) {
        REQUIRE(name >= list.data() && name < list.data() + list.size(),
                "name outside the %zu-byte list", size);
        visited.push_back(static_cast<size_t>(name - list.data()));
        REQUIRE(visited.size() <= expected.size(),
                "walk of a %zu-byte list visits %zu names, "
                "more than the %zu it holds",
                size, visited.size(), expected.size());
    }
    REQUIRE(visited == expected, "%zu-byte list: visited %zu names, the list holds %zu", size,
            visited.size(), expected.size());
    return 0;
}
