#include "Replies.h"

namespace zel::service {

std::string OkReply(std::int64_t archiveBytes, std::int64_t pageBytes) {
    return "OK," + std::to_string(archiveBytes) + ";" + std::to_string(pageBytes) + ":";
}

std::string NextReply(std::int64_t bytes) {
    return "NexT;" + std::to_string(bytes) + ":";
}

// The browser looks for "NexT" before "Bad," anywhere in a reply, so a
// refusal text that carried that word would make it poll for ever; line
// breaks would split the message box text.
std::string BadReply(const std::string& text) {
    std::string clean;
    for (char c : text)
        clean += (static_cast<unsigned char>(c) < 0x20) ? ' ' : c;
    for (std::size_t at = clean.find("NexT"); at != std::string::npos; at = clean.find("NexT"))
        clean[at + 3] = 't';
    return "Bad," + clean;
}

} // namespace zel::service
