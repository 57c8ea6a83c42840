// The browser's reading of the service's short replies ("NexT", "OK", "Bad").

#include "ServiceReply.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace zel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const ServiceReply reply = ReadServiceReply(text);
        if (reply.kind == ReplyKind::Ready && reply.archiveSizeText != ReplyField(text, ',', ';'))
            std::abort();
    } catch (const UnreadableReply&) {
    }
    return 0;
}
