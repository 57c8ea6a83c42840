#include "DocumentNames.h"

#include "AsciiText.h"
#include "GumboNodes.h"
#include "MarkupRules.h"
#include "Url.h"

#include <vector>

namespace zel::service {

void DocumentNames::Collect(const GumboNode* root) {
    std::vector<const GumboNode*> stack{root};
    while (!stack.empty()) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE)
            continue;
        CollectElement(node->v.element);
        for (unsigned i = 0; i < node->v.element.children.length; ++i)
            stack.push_back(Child(node->v.element, i));
    }
}

void DocumentNames::CollectElement(const GumboElement& element) {
    const std::string name = TagName(element);
    elements_.insert(name);
    if (const auto* id = Attribute(element, "id"))
        ids_.insert(Lower(id->value));
    if (const auto* classes = Attribute(element, "class")) {
        const std::string_view list = classes->value;
        for (std::size_t at = SkipSpace(list, 0); at < list.size(); at = SkipSpace(list, at)) {
            std::size_t end = at;
            while (end < list.size() && !IsAsciiSpace(list[end]))
                ++end;
            classes_.insert(Lower(list.substr(at, end - at)));
            at = end;
        }
    }
    if (element.tag_namespace == GUMBO_NAMESPACE_SVG && name == "use")
        for (unsigned i = 0; i < element.attributes.length; ++i) {
            const auto* attribute = static_cast<const GumboAttribute*>(element.attributes.data[i]);
            if (IsHref(*attribute) && !StaysInPage(CleanReference(attribute->value)))
                anything_ = true;
        }
}

void DocumentNames::AddElement(std::string_view name) {
    elements_.insert(Lower(name));
}

bool DocumentNames::HasElement(std::string_view name) const {
    return elements_.contains(Lower(name));
}

bool DocumentNames::HasClass(std::string_view name) const {
    return classes_.contains(Lower(name));
}

bool DocumentNames::HasId(std::string_view name) const {
    return ids_.contains(Lower(name));
}

} // namespace zel::service
