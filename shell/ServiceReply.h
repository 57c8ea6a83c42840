#pragma once
// The short text replies of the compressing service to a page request or a
// poll, read by fixed rules in this order: "NexT" anywhere (not ready yet),
// empty (no answer), "Bad," anywhere (a refusal), no "OK" (the page cannot be
// had), otherwise "OK," archive size ";" page size ":" (ready). GUI-free.

#include "Exception.h"

#include <cstdint>
#include <string>

namespace zel {

enum class ReplyKind { NotReady, Empty, Refused, Unavailable, Ready };

struct ServiceReply {
    ReplyKind kind = ReplyKind::Empty;
    // Refused: the reply less its first 4 characters, shown as it is.
    std::string message;
    // Ready: the text between the first "," and the first ";", as received.
    std::string archiveSizeText;
    std::int32_t archiveSize = 0;
    // NotReady and Ready: the number between the first ";" and the first ":".
    std::int32_t pageSize = 0;
};

// A "NexT" or "OK" reply without the numbers it must carry.
class UnreadableReply : public Exception {
public:
    explicit UnreadableReply(const std::string& reply);
};

// Raises UnreadableReply where a number is missing or is no 32-bit integer.
ServiceReply ReadServiceReply(const std::string& reply);

// The characters between the first `from` and the first `to`; a missing
// delimiter counts as position 0, and the field is empty when `to` does not
// come after `from`.
std::string ReplyField(const std::string& reply, char from, char to);

} // namespace zel
