#include "GumboNodes.h"

#include "AsciiText.h"

#include <string_view>

namespace zel::service {

const GumboNode* Child(const GumboElement& element, unsigned i) {
    return static_cast<const GumboNode*>(element.children.data[i]);
}

std::string TagName(const GumboElement& element) {
    if (element.tag != GUMBO_TAG_UNKNOWN)
        return gumbo_normalized_tagname(element.tag);
    GumboStringPiece name = element.original_tag;
    gumbo_tag_from_original_text(&name);
    return Lower(std::string_view(name.data, name.length));
}

const GumboAttribute* Attribute(const GumboElement& element, const char* name) {
    return gumbo_get_attribute(&element.attributes, name);
}

} // namespace zel::service
