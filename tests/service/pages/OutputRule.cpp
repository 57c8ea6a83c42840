#include "OutputRule.h"

#include "AsciiText.h"
#include "CssScan.h"

#include <gumbo.h>

#include <set>
#include <vector>

namespace zel::service::test {
namespace {

// As a browser takes an address: without white space and control characters.
std::string Cleaned(std::string_view value) {
    std::string out;
    for (unsigned char c : value)
        if (c > ' ')
            out += char(c);
    return Lower(out);
}

// One of the page's own files as the page maker names them ("page.files/3.png"
// from the page, "3.png" or "page1.htm" from its folder), a part of the page,
// or pixels in line.
bool StaysHome(std::string reference) {
    if (reference.empty() || reference[0] == '#' || reference.starts_with("data:image/") ||
        reference == "data:,")
        return true;
    reference = reference.substr(0, reference.find('#'));
    if (reference.starts_with("page.files/"))
        reference.erase(0, 11);
    if (reference.starts_with("page"))
        reference.erase(0, 4);
    const auto dot = reference.find('.');
    return dot > 0 && dot != std::string::npos &&
           reference.find_first_not_of("0123456789") == dot &&
           reference.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789", dot + 1) ==
               std::string::npos;
}

bool IsWebLink(const std::string& reference) {
    return reference.starts_with("http://") || reference.starts_with("https://") ||
           reference.starts_with("mailto:") || reference.starts_with("tel:");
}

bool IsRefresh(const GumboElement& element) {
    const GumboAttribute* equiv = gumbo_get_attribute(&element.attributes, "http-equiv");
    return element.tag == GUMBO_TAG_META && equiv != nullptr && Cleaned(equiv->value) == "refresh";
}

std::string BreachInAddress(const GumboElement& element, const GumboAttribute& attribute) {
    static const std::set<std::string> kAddresses{
        "src",    "srcset",     "href",       "xlink:href",  "data",     "poster",
        "action", "formaction", "background", "ping",        "manifest", "codebase",
        "lowsrc", "dynsrc",     "xml:base",   "imagesrcset", "archive",  "classid"};
    const std::string name = Lower(attribute.name);
    const std::string value = Cleaned(attribute.value);
    if (name.size() > 2 && name.starts_with("on") && !value.empty())
        return "handler " + name;
    if (name == "style" || (element.tag_namespace != GUMBO_NAMESPACE_HTML &&
                            value.find("url(") != std::string::npos && kAddresses.count(name) == 0))
        return BreachInStyle(attribute.value); // an SVG paint or filter is CSS too
    if (name == "content" && IsRefresh(element)) {
        const auto url = value.find("url=");
        return url == std::string::npos || IsWebLink(value.substr(url + 4)) ? ""
                                                                            : "refresh " + value;
    }
    if (kAddresses.count(name) == 0 || StaysHome(value))
        return {};
    const std::string tag = gumbo_normalized_tagname(element.tag);
    const bool href = name == "href" || name == "xlink:href";
    const bool clicked = (href && (tag == "a" || tag == "area" ||
                                   element.tag_namespace == GUMBO_NAMESPACE_MATHML)) ||
                         name == "action" || name == "formaction";
    if (clicked && IsWebLink(value))
        return {};
    return "address " + name + "=" + value + " on " + tag;
}

std::string BreachInNode(const GumboNode* node) {
    const GumboElement& element = node->v.element;
    if (element.tag == GUMBO_TAG_SCRIPT)
        return "script element";
    for (unsigned i = 0; i < element.attributes.length; ++i)
        if (std::string breach = BreachInAddress(
                element, *static_cast<const GumboAttribute*>(element.attributes.data[i]));
            !breach.empty())
            return breach;
    std::string text;
    for (unsigned i = 0; i < element.children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(element.children.data[i]);
        // An HTML style is raw text: the source's own bytes, as the parser
        // turns control characters into U+FFFD, which a browser keeps.
        if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_CDATA ||
            child->type == GUMBO_NODE_WHITESPACE) {
            if (element.tag_namespace == GUMBO_NAMESPACE_HTML)
                text.append(child->v.text.original_text.data, child->v.text.original_text.length);
            else
                text += child->v.text.text;
        }
    }
    return element.tag == GUMBO_TAG_STYLE ? BreachInStyle(text) : std::string();
}

} // namespace

std::string BreachInStyle(std::string_view css) {
    for (const CssRef& ref : FindCssRefs(css))
        if (!StaysHome(Cleaned(ref.url)) &&
            (ref.kind == CssRefKind::Import || !Cleaned(ref.url).starts_with("data:")))
            return "style loads " + ref.url;
    return {};
}

std::string BreachInMarkup(std::string_view markup) {
    GumboOutput* output =
        gumbo_parse_with_options(&kGumboDefaultOptions, markup.data(), markup.size());
    std::string breach;
    std::vector<const GumboNode*> stack{output->root};
    while (!stack.empty() && breach.empty()) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE)
            continue;
        breach = BreachInNode(node);
        for (unsigned i = 0; i < node->v.element.children.length; ++i)
            stack.push_back(static_cast<const GumboNode*>(node->v.element.children.data[i]));
    }
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    return breach;
}

} // namespace zel::service::test
