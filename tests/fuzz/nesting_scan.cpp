// The quick nesting estimate that runs on a fetched page before parsing.

#include "NestingScan.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view html(reinterpret_cast<const char*>(data), size);
    constexpr int Limit = 64;
    const int depth = zel::service::EstimateNestingDepth(html, Limit);
    // Stops once past the limit; a tag needs at least two bytes.
    if (depth < 0 || depth > Limit + 1 || static_cast<std::size_t>(depth) > size)
        std::abort();
    return 0;
}
