#include "DocumentRewriter.h"

#include "GumboNodes.h"
#include "MarkupRules.h"
#include "Splice.h"
#include "Url.h"

namespace zel::service {

void DocumentRewriter::VisitForeign(const GumboElement& element) {
    if (!context_.keepScripts &&
        (element.tag == GUMBO_TAG_SCRIPT || AnimatesAddressOrCode(element))) {
        RemoveElement(element);
        return;
    }
    if (element.tag == GUMBO_TAG_STYLE) {
        VisitForeignStyle(element);
        return;
    }
    const ForeignLink role = ForeignLinkOf(element);
    for (unsigned i = 0; i < element.attributes.length; ++i) {
        const auto* attribute = static_cast<const GumboAttribute*>(element.attributes.data[i]);
        if (!IsHref(*attribute))
            continue;
        if (role == ForeignLink::Follow)
            MakeAbsolute(attribute);
        else if (role == ForeignLink::Image)
            VisitImageSource(element, attribute);
        else if (role == ForeignLink::Use)
            VisitUse(attribute);
    }
}

void DocumentRewriter::VisitUse(const GumboAttribute* attribute) {
    const std::string value = CleanReference(attribute->value);
    if (StaysInPage(value))
        return;
    auto pieces = ResourcePieces(value, ResourceKind::Image, {}, 0);
    if (pieces.empty())
        return;
    if (const auto hash = value.find('#'); hash != std::string::npos && pieces[0].resource >= 0)
        pieces.push_back({EscapeAttribute(value.substr(hash))});
    SetAttribute(attribute, std::move(pieces));
}

void DocumentRewriter::VisitForeignStyle(const GumboElement& element) {
    if (!FromSource(element))
        return;
    if (!HasOwnEndTag(element)) {
        if (element.children.length > 0 && !context_.keepScripts)
            RemoveElement(element);
        return;
    }
    std::string css;
    for (unsigned i = 0; i < element.children.length; ++i) {
        const GumboNode* child = Child(element, i);
        if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE ||
            child->type == GUMBO_NODE_CDATA)
            css += child->v.text.text;
    }
    auto edits = RewriteCss(css, Css(), sink_);
    Replace(EndOf(element.original_tag), Offset(element.original_end_tag.data),
            SpliceToPieces(css, std::move(edits), EscapeText));
}

std::string DocumentRewriter::EscapeText(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else
            out += c;
    }
    return out;
}

void DocumentRewriter::RemoveBreakout(const GumboElement& element) {
    const std::string name = TagName(element);
    if (foreign_ && (name == "meta" || name == "img") && FromSource(element))
        ReplaceElement(element, "<" + name + ">");
    else
        RemoveElement(element);
}

bool DocumentRewriter::HoldsForeign(const GumboNode* root) {
    std::vector<const GumboNode*> stack{root};
    while (!stack.empty()) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT)
            continue;
        if (node->v.element.tag_namespace != GUMBO_NAMESPACE_HTML)
            return true;
        for (unsigned i = 0; i < node->v.element.children.length; ++i)
            stack.push_back(Child(node->v.element, i));
    }
    return false;
}

} // namespace zel::service
