// The simulated switch's state file on any text: a text the model reads
// formats to a canonical text that reads back to itself, and nothing is read
// or written past a buffer on the way.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "switch_state.hpp"

namespace sw = adp::sim::sw;

static std::string canonical(const sw::State &state) {
    size_t length;
    char *text = sw::format(state, length);
    if (!text) std::abort();
    std::string out(text, length);
    std::free(text);
    return out;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static sw::State first, second;
    first = second = sw::State{};
    std::string text(reinterpret_cast<const char *>(data), size);
    if (!sw::parse(first, text.data())) return 0;
    std::string once = canonical(first), copy = once;
    if (!sw::parse(second, copy.data()) || canonical(second) != once) std::abort();
    return 0;
}
