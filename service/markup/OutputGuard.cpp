#include "OutputGuard.h"

#include "AsciiText.h"
#include "CssScan.h"
#include "GumboNodes.h"
#include "MarkupRules.h"
#include "SourceEdits.h"

#include <memory>
#include <vector>

namespace zel::service {
namespace {

// Rounds of taking out before a document counts as one that will not settle:
// each round takes out what the one before uncovered, and real pages need one.
constexpr int kMaxRounds = 8;

// As a browser takes an address: without blanks and control characters.
std::string Cleaned(std::string_view value) {
    std::string out;
    for (unsigned char c : value)
        if (c > ' ')
            out += char(c);
    return Lower(out);
}

bool IsWebLink(std::string_view reference) {
    return reference.starts_with("http://") || reference.starts_with("https://") ||
           reference.starts_with("mailto:") || reference.starts_with("tel:");
}

// A frame or plug-in shows a document: only the page's own, never data.
bool ShowsDocument(const GumboElement& element) {
    const std::string tag = TagName(element);
    return tag == "iframe" || tag == "frame" || tag == "object" || tag == "embed";
}

class OutputCheck : private SourceEdits {
public:
    OutputCheck(std::string_view html, const OwnFile& ownFile)
        : SourceEdits(html), ownFile_(ownFile) {}

    // The edits that take out what the document's parse shows; `settled`
    // false when something found has no place in the source to edit.
    std::vector<Edit> Run(bool& settled);

private:
    struct GumboFree {
        void operator()(GumboOutput* output) const {
            gumbo_destroy_output(&kGumboDefaultOptions, output);
        }
    };

    bool StaysHome(const std::string& reference, bool data) const;
    bool CssStaysHome(std::string_view css) const;
    bool AttributeAllowed(const GumboElement& element, const GumboAttribute& attribute) const;
    bool RefreshAllowed(const GumboElement& element) const;
    bool StyleAllowed(const GumboElement& element) const;
    void Check(const GumboElement& element);
    void TakeOut(const GumboElement& element);
    void Empty(const GumboAttribute* attribute);

    const OwnFile& ownFile_;
    bool settled_ = true;
};

bool OutputCheck::StaysHome(const std::string& reference, bool data) const {
    if (reference.empty() || reference[0] == '#' || reference == "data:,")
        return true;
    if (reference.starts_with("data:"))
        return data && reference.starts_with("data:image/");
    return ownFile_(std::string_view(reference).substr(0, reference.find('#')));
}

bool OutputCheck::CssStaysHome(std::string_view css) const {
    for (const CssRef& ref : FindCssRefs(css)) {
        const std::string url = Cleaned(ref.url);
        const bool data = ref.kind != CssRefKind::Import && url.starts_with("data:");
        if (!data && !StaysHome(url, false))
            return false;
    }
    return true;
}

bool OutputCheck::AttributeAllowed(const GumboElement& element,
                                   const GumboAttribute& attribute) const {
    const std::string name = Lower(attribute.name);
    const std::string value = Cleaned(attribute.value);
    if (value.empty())
        return true;
    if ((name.size() > 2 && name.starts_with("on")) || name == "srcdoc")
        return false;
    if (HoldsAddress(attribute)) {
        if (StaysHome(value, !ShowsDocument(element)))
            return true;
        const std::string tag = TagName(element);
        const bool clicked =
            (IsHref(attribute) &&
             (tag == "a" || tag == "area" || element.tag_namespace == GUMBO_NAMESPACE_MATHML)) ||
            name == "action" || name == "formaction";
        return clicked && IsWebLink(value);
    }
    // An SVG paint or filter is CSS too.
    if (name == "style" ||
        (element.tag_namespace != GUMBO_NAMESPACE_HTML && value.find("url(") != std::string::npos))
        return CssStaysHome(attribute.value);
    return true;
}

// A refresh may only go to the web, which asks the service for it.
bool OutputCheck::RefreshAllowed(const GumboElement& element) const {
    const auto* equiv = Attribute(element, "http-equiv");
    const auto* content = Attribute(element, "content");
    if (element.tag != GUMBO_TAG_META || equiv == nullptr || content == nullptr ||
        Cleaned(equiv->value) != "refresh")
        return true;
    const std::string value = Cleaned(content->value);
    const auto named = value.find("url=");
    if (named != std::string::npos && !IsWebLink(value.substr(named + 4)))
        return false;
    const auto refresh = ParseRefresh(content->value);
    return !refresh || refresh->url.empty() || IsWebLink(Cleaned(refresh->url));
}

// An HTML style's text is the source's own; in SVG its text is decoded markup.
bool OutputCheck::StyleAllowed(const GumboElement& element) const {
    std::string text;
    for (unsigned i = 0; i < element.children.length; ++i) {
        const GumboNode* child = Child(element, i);
        if (child->type == GUMBO_NODE_ELEMENT || child->type == GUMBO_NODE_TEMPLATE)
            continue;
        if (element.tag_namespace == GUMBO_NAMESPACE_HTML && InSource(child->v.text.original_text))
            text.append(child->v.text.original_text.data, child->v.text.original_text.length);
        else
            text += child->v.text.text;
    }
    return CssStaysHome(text);
}

void OutputCheck::TakeOut(const GumboElement& element) {
    if (FromSource(element))
        RemoveElement(element);
    else
        settled_ = false;
}

// Emptied rather than removed: a later attribute of the same name would
// take effect once this one were gone.
void OutputCheck::Empty(const GumboAttribute* attribute) {
    if (FromSource(attribute))
        SetAttribute(attribute, {});
    else
        settled_ = false;
}

void OutputCheck::Check(const GumboElement& element) {
    const bool animates =
        element.tag_namespace != GUMBO_NAMESPACE_HTML && AnimatesAddressOrCode(element);
    if (element.tag == GUMBO_TAG_SCRIPT || animates || !RefreshAllowed(element) ||
        (element.tag == GUMBO_TAG_STYLE && !StyleAllowed(element))) {
        TakeOut(element);
        return;
    }
    for (unsigned i = 0; i < element.attributes.length; ++i) {
        const auto* attribute = static_cast<const GumboAttribute*>(element.attributes.data[i]);
        if (!AttributeAllowed(element, *attribute))
            Empty(attribute);
    }
}

std::vector<Edit> OutputCheck::Run(bool& settled) {
    std::unique_ptr<GumboOutput, GumboFree> output(
        gumbo_parse_with_options(&kGumboDefaultOptions, Html().data(), Html().size()));
    if (!output) {
        settled = false;
        return {};
    }
    std::vector<const GumboNode*> stack{output->root};
    while (!stack.empty()) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE)
            continue;
        Check(node->v.element);
        for (unsigned i = 0; i < node->v.element.children.length; ++i)
            stack.push_back(Child(node->v.element, i));
    }
    settled = settled_;
    return TakeEdits();
}

// No tag is left to run or load anything.
std::string AsText(const std::string& html) {
    std::string text;
    for (const char c : html)
        text += c == '<' ? std::string("&lt;") : std::string(1, c);
    return text;
}

} // namespace

std::string GuardOutput(std::string html, const OwnFile& ownFile) {
    for (int round = 0; round < kMaxRounds; ++round) {
        bool settled = true;
        std::vector<Edit> edits = OutputCheck(html, ownFile).Run(settled);
        if (!settled)
            break;
        if (edits.empty())
            return html;
        html = ApplyEdits(html, std::move(edits), [](int) { return std::string(); });
    }
    return AsText(html);
}

bool PassesGuard(std::string_view html, const OwnFile& ownFile) {
    bool settled = true;
    return OutputCheck(html, ownFile).Run(settled).empty() && settled;
}

} // namespace zel::service
