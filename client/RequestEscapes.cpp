#include "RequestEscapes.h"

#include "PercentByte.h"

namespace zel {

namespace {
// Control bytes too: a line end would end the request line on the wire.
bool MustEscape(unsigned char c) {
    return c <= ' ' || c == '*' || c == '#' || c == '%' || c == '<' || c == '>' || c >= 128;
}

bool IsBlankOrControl(unsigned char c) {
    return c <= ' ';
}

// Every byte for which `escape` holds becomes "%XX".
std::string PercentEscape(const std::string& text, bool (*escape)(unsigned char)) {
    std::string out;
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (escape(byte))
            AppendPercentByte(out, byte);
        else
            out += c;
    }
    return out;
}
} // namespace

std::string EscapeRequestUrl(const std::string& text) {
    return PercentEscape(text, MustEscape);
}

std::string EscapeBlanksAndControls(const std::string& text) {
    return PercentEscape(text, IsBlankOrControl);
}

} // namespace zel
