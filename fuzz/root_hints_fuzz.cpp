// The root hints check on arbitrary bytes: it must answer, never crash or hang.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "config/root_hints.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const bool accepted = zephrane::IsRootHints(text);
    // A root hints file has at least an NS record for "." and its glue.
    if (accepted && text.size() < 10) {
        std::abort();
    }
    return 0;
}
