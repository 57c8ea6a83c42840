#include "ServiceReply.h"

#include "ConvertError.h"
#include "Numbers.h"
#include "Utf8.h"

namespace zel {

namespace {
constexpr std::size_t ShownReplyBytes = 80;

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

// 1-based position of the first `c`, 0 when there is none.
std::size_t PositionOf(const std::string& text, char c) {
    const std::size_t at = text.find(c);
    return at == std::string::npos ? 0 : at + 1;
}

std::int32_t NumberField(const std::string& reply, char from, char to) {
    try {
        return StrToInt(ReplyField(reply, from, to));
    } catch (const ConvertError&) {
        throw UnreadableReply(reply);
    }
}
} // namespace

UnreadableReply::UnreadableReply(const std::string& reply)
    : Exception("Program server sent an unreadable reply:\r" + CutUtf8(reply, ShownReplyBytes)) {}

std::string ReplyField(const std::string& reply, char from, char to) {
    const std::size_t p1 = PositionOf(reply, from);
    const std::size_t p2 = PositionOf(reply, to);
    if (p2 <= p1 + 1)
        return {};
    return reply.substr(p1, p2 - p1 - 1);
}

ServiceReply ReadServiceReply(const std::string& reply) {
    ServiceReply read;
    if (Contains(reply, "NexT")) {
        read.kind = ReplyKind::NotReady;
        read.pageSize = NumberField(reply, ';', ':');
    } else if (reply.empty()) {
        read.kind = ReplyKind::Empty;
    } else if (Contains(reply, "Bad,")) {
        read.kind = ReplyKind::Refused;
        read.message = reply.size() > 4 ? reply.substr(4) : std::string();
    } else if (!Contains(reply, "OK")) {
        read.kind = ReplyKind::Unavailable;
    } else {
        read.kind = ReplyKind::Ready;
        read.archiveSizeText = ReplyField(reply, ',', ';');
        read.archiveSize = NumberField(reply, ',', ';');
        read.pageSize = NumberField(reply, ';', ':');
    }
    return read;
}

} // namespace zel
