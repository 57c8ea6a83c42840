// The service front's reading of one connection: the bytes arrive on one end
// of a local socket pair and are read back through the stream that mends the
// request line, the way the HTTP library reads them.

#include "RequestLineStream.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace zel::service;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Small bounds, so the cut line and the exhausted request are reached too.
    constexpr std::size_t MaxLine = 256;
    constexpr std::size_t MaxRequest = 2048;
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0)
        std::abort();
    // Fuzz inputs stay far below the socket buffer, so this never blocks.
    if (size > 0 && send(ends[0], data, size, MSG_NOSIGNAL) != static_cast<ssize_t>(size))
        std::abort();
    shutdown(ends[0], SHUT_WR);
    {
        RequestLineStream stream(ends[1], 5, 5, MaxLine, MaxRequest);
        char buffer[512];
        std::size_t total = 0;
        for (ssize_t got; (got = stream.read(buffer, sizeof buffer)) > 0;)
            total += static_cast<std::size_t>(got);
        // The mended line may grow by "%3F" per "?", never by more.
        if (total > 3 * size + 2)
            std::abort();
    }
    close(ends[0]);
    close(ends[1]);
    return 0;
}
