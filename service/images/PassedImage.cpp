#include "PassedImage.h"

#include "AsciiText.h"

#include <cstdint>

namespace zel::service {
namespace {

// An XML document whose first element is <svg>, after the declaration,
// comments and a document type.
bool IsSvg(std::string_view bytes) {
    std::size_t at = bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    for (;;) {
        at = SkipSpace(bytes, at);
        const std::string_view rest = bytes.substr(at);
        std::string_view close;
        if (rest.starts_with("<?"))
            close = "?>";
        else if (rest.starts_with("<!--"))
            close = "-->";
        else if (rest.starts_with("<!"))
            close = ">";
        else
            break;
        const auto end = bytes.find(close, at + 2);
        if (end == std::string_view::npos)
            return false;
        at = end + close.size();
    }
    const std::string_view rest = bytes.substr(at);
    return rest.starts_with("<svg") && rest.size() > 4 &&
           (IsAsciiSpace(rest[4]) || rest[4] == '>' || rest[4] == '/');
}

std::uint32_t BigEndian32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// An ISO media file whose first box names AVIF among its brands.
bool IsAvif(std::string_view bytes) {
    if (bytes.size() < 16 || bytes.substr(4, 4) != "ftyp")
        return false;
    const std::size_t boxSize = BigEndian32(bytes, 0);
    if (boxSize < 16 || boxSize > bytes.size() || boxSize % 4 != 0)
        return false;
    for (std::size_t brand = 8; brand + 4 <= boxSize; brand += brand == 8 ? 8 : 4) {
        const std::string_view name = bytes.substr(brand, 4);
        if (name == "avif" || name == "avis")
            return true;
    }
    return false;
}

} // namespace

std::string_view PassedImageExtension(std::string_view bytes) {
    if (IsSvg(bytes))
        return "svg";
    if (IsAvif(bytes))
        return "avif";
    return {};
}

} // namespace zel::service
