// The service's reading of a request target: path and query, the parameters
// with the page address taken whole, its unescaping and check, the image
// settings, and the login request's fields.

#include "PageParameters.h"
#include "RequestTarget.h"

#include <cstddef>
#include <cstdint>

using namespace zel::service;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const RequestTarget target = SplitRequestTarget(text);
    const QueryParams params = ParseQuery(target.query, "url");
    if (const auto url = params.find("url"); url != params.end())
        PageAddress(url->second);
    ImageSettingsFrom(params);
    ParseLoginQuery(target.query);
    return 0;
}
