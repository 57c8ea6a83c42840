#include "HtmlRewriter.h"

#include "AsciiText.h"
#include "DocumentRewriter.h"
#include "GumboNodes.h"
#include "MarkupRules.h"
#include "Url.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace zel::service {

namespace {

std::vector<std::string> Tokens(const char* text) {
    std::istringstream in(Lower(text));
    std::vector<std::string> tokens;
    for (std::string token; in >> token;)
        tokens.push_back(token);
    return tokens;
}

bool Has(const std::vector<std::string>& tokens, std::initializer_list<const char*> wanted) {
    return std::any_of(tokens.begin(), tokens.end(), [&](const std::string& token) {
        return std::any_of(wanted.begin(), wanted.end(), [&](const char* w) { return token == w; });
    });
}

} // namespace

DocumentRewriter::DocumentRewriter(std::string_view html, const HtmlContext& context,
                                   ResourceSink& sink)
    : SourceEdits(html), context_(context), sink_(sink), base_(context.url) {}

std::vector<Edit> DocumentRewriter::Run() {
    // With a bound on its error list, gumbo reads the attribute after a
    // repeated one wrongly once the bound is reached ("src onload" as one
    // name), so every error is kept.
    output_.reset(gumbo_parse_with_options(&kGumboDefaultOptions, Html().data(), Html().size()));
    if (!output_)
        return {};
    if (context_.names)
        context_.names->Collect(output_->root);
    FindBase();
    foreign_ = HoldsForeign(output_->root);
    Walk();
    AddCharset();
    return TakeEdits();
}

std::vector<Piece> DocumentRewriter::ResourcePieces(const std::string& reference, ResourceKind kind,
                                                    ImageBox box, int depth) {
    const auto url = ResolveUrl(base_, reference);
    if (!url)
        return {};
    const int id = sink_.Register(*url, kind, box, depth);
    if (id < 0)
        return {{kNowhere}};
    return {{{}, id}};
}

void DocumentRewriter::PointToResource(const GumboAttribute* attribute, ResourceKind kind,
                                       ImageBox box, int depth) {
    if (attribute == nullptr)
        return;
    auto pieces = ResourcePieces(attribute->value, kind, box, depth);
    if (!pieces.empty())
        SetAttribute(attribute, std::move(pieces));
    else if (kind == ResourceKind::Image)
        KeepInlineImage(attribute);
}

void DocumentRewriter::Drop(const GumboElement& element, const GumboAttribute* attribute) {
    if (attribute != nullptr && (element.tag == GUMBO_TAG_HTML || element.tag == GUMBO_TAG_BODY ||
                                 RepeatedLater(attribute)))
        SetAttribute(attribute, {});
    else
        RemoveAttribute(attribute);
}

// Only pixels stay in line: any other data would show nothing anyway.
void DocumentRewriter::KeepInlineImage(const GumboAttribute* attribute) {
    if (attribute && Lower(CleanReference(attribute->value)).rfind("data:image/", 0) == 0)
        Keep(attribute);
}

void DocumentRewriter::MakeAbsolute(const GumboAttribute* attribute) {
    if (attribute == nullptr)
        return;
    const std::string value = CleanReference(attribute->value);
    if (StaysInPage(value))
        return;
    if (const auto url = ResolveUrl(base_, value, true)) {
        SetAttributeText(attribute, *url);
        return;
    }
    const std::string lower = Lower(value);
    if (context_.keepScripts || lower.rfind("mailto:", 0) == 0 || lower.rfind("tel:", 0) == 0)
        Keep(attribute);
    else
        SetAttributeText(attribute, "#");
}

template <typename Visitor> void DocumentRewriter::ForEachElement(Visitor visit) const {
    std::vector<const GumboNode*> stack{output_->root};
    while (!stack.empty()) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE)
            continue;
        if (!visit(node))
            continue;
        for (unsigned i = node->v.element.children.length; i-- > 0;)
            stack.push_back(Child(node->v.element, i));
    }
}

void DocumentRewriter::FindBase() {
    bool found = false;
    ForEachElement([&](const GumboNode* node) {
        if (found || node->type == GUMBO_NODE_TEMPLATE)
            return false;
        const GumboElement& element = node->v.element;
        if (element.tag == GUMBO_TAG_BASE)
            if (const auto* href = Attribute(element, "href"))
                if (const auto url = ResolveUrl(context_.url, href->value)) {
                    base_ = *url;
                    found = true;
                }
        return element.tag != GUMBO_TAG_BODY; // a base element counts in the head only
    });
}

void DocumentRewriter::Walk() {
    ForEachElement([&](const GumboNode* node) {
        if (FromSource(node->v.element))
            Visit(node);
        else // an implied html or body takes the attributes of a later tag of its name
            VisitAttributes(node->v.element);
        if (!context_.keepScripts)
            Guard(node->v.element);
        return true;
    });
}

void DocumentRewriter::Guard(const GumboElement& element) {
    for (unsigned i = 0; i < element.attributes.length; ++i) {
        const auto* attribute = static_cast<const GumboAttribute*>(element.attributes.data[i]);
        if (HoldsAddress(*attribute) && !Handled(attribute) &&
            !StaysInPage(CleanReference(attribute->value)))
            Drop(element, attribute);
    }
}

void DocumentRewriter::Visit(const GumboNode* node) {
    const GumboElement& element = node->v.element;
    VisitAttributes(element);
    if (element.tag_namespace != GUMBO_NAMESPACE_HTML) {
        VisitForeign(element);
        return;
    }
    switch (element.tag) {
    case GUMBO_TAG_SCRIPT:
        if (!context_.keepScripts)
            RemoveElement(element);
        else
            PointToResource(Attribute(element, "src"), ResourceKind::Other);
        break;
    case GUMBO_TAG_NOSCRIPT:
        // Its end tag may close an SVG or MathML element, and an end tag in
        // it that it stops may close another: without its tags what follows
        // would take a place in the tree the walk never saw it in.
        if (!context_.keepScripts && !HoldsForeign(node) && !HoldsStrayEndTag(element))
            RemoveTags(element);
        break;
    case GUMBO_TAG_BASE:
        RemoveElement(element);
        break;
    case GUMBO_TAG_LINK:
        VisitLink(element);
        break;
    case GUMBO_TAG_IMG:
        VisitImage(node);
        break;
    case GUMBO_TAG_META:
        if (DeclaresCharset(element) && IsCharsetName(context_.charset))
            RemoveBreakout(element); // one declaration is added in its place
        else if (IsRefresh(element))
            VisitRefresh(element);
        break;
    case GUMBO_TAG_INPUT:
        if (const auto* type = Attribute(element, "type"); type && Lower(type->value) == "image")
            VisitImageSource(element, Attribute(element, "src"));
        break;
    case GUMBO_TAG_SOURCE:
        if (InPicture(node))
            RemoveElement(element); // the picture's img stands for it
        else
            LeaveOutMedia(element);
        break;
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_FRAME:
        PointToResource(Attribute(element, "src"), ResourceKind::Document, {},
                        context_.frameDepth + 1);
        if (!context_.keepScripts)
            Drop(element, Attribute(element, "srcdoc"));
        break;
    case GUMBO_TAG_A:
    case GUMBO_TAG_AREA:
        MakeAbsolute(Attribute(element, "href"));
        break;
    case GUMBO_TAG_FORM:
        MakeAbsolute(Attribute(element, "action"));
        break;
    case GUMBO_TAG_STYLE:
        VisitStyleElement(element);
        break;
    case GUMBO_TAG_VIDEO:
    case GUMBO_TAG_AUDIO:
    case GUMBO_TAG_TRACK:
    case GUMBO_TAG_EMBED:
    case GUMBO_TAG_OBJECT:
        LeaveOutMedia(element);
        break;
    case GUMBO_TAG_BODY:
    case GUMBO_TAG_TABLE:
    case GUMBO_TAG_TD:
    case GUMBO_TAG_TH:
    case GUMBO_TAG_TR:
        VisitImageSource(element, Attribute(element, "background"), false);
        break;
    default:
        break;
    }
}

void DocumentRewriter::VisitAttributes(const GumboElement& element) {
    for (unsigned i = 0; i < element.attributes.length; ++i) {
        const auto* attribute = static_cast<const GumboAttribute*>(element.attributes.data[i]);
        const std::string name = Lower(attribute->name);
        if (!context_.keepScripts && name.size() > 2 && name.rfind("on", 0) == 0) {
            // Emptied, not removed: the parser keeps the first of an attribute's
            // names, so a later one (in the same tag or merged from another
            // html or body tag) would take effect once this one were gone.
            SetAttribute(attribute, {});
        } else if (name == "style") {
            VisitStyleAttribute(attribute);
        } else if (name == "formaction") {
            MakeAbsolute(attribute);
        } else if (element.tag_namespace != GUMBO_NAMESPACE_HTML && !HoldsAddress(*attribute) &&
                   Lower(attribute->value).find("url(") != std::string::npos) {
            VisitStyleAttribute(attribute); // an SVG paint or filter is CSS
        }
    }
}

void DocumentRewriter::VisitLink(const GumboElement& element) {
    const auto* rel = Attribute(element, "rel");
    const auto tokens = rel ? Tokens(rel->value) : std::vector<std::string>{};
    if (Has(tokens, {"stylesheet"}) && !Has(tokens, {"alternate"}))
        PointToResource(Attribute(element, "href"), ResourceKind::StyleSheet, {}, 1);
    else // nobody clicks it, and a browser may load it (icons, preloads, alternates)
        RemoveElement(element);
}

bool DocumentRewriter::DeclaresCharset(const GumboElement& element) {
    const auto* equiv = Attribute(element, "http-equiv");
    return Attribute(element, "charset") != nullptr ||
           (equiv != nullptr && Lower(equiv->value) == "content-type");
}

bool DocumentRewriter::IsRefresh(const GumboElement& element) {
    const auto* equiv = Attribute(element, "http-equiv");
    return equiv != nullptr && Lower(CleanReference(equiv->value)) == "refresh";
}

void DocumentRewriter::VisitRefresh(const GumboElement& element) {
    const auto* content = Attribute(element, "content");
    if (content == nullptr)
        return;
    const auto refresh = ParseRefresh(content->value);
    if (refresh && refresh->url.empty())
        return;
    const auto url = refresh ? ResolveUrl(base_, refresh->url, true) : std::nullopt;
    if (url)
        SetAttributeText(content, refresh->delay + "; url=" + *url);
    else if (!context_.keepScripts)
        RemoveBreakout(element);
}

CssContext DocumentRewriter::Css() const {
    return {base_, context_.images, 0, context_.names};
}

void DocumentRewriter::VisitStyleElement(const GumboElement& element) {
    for (unsigned i = 0; i < element.children.length; ++i) {
        const GumboNode* child = Child(element, i);
        if (child->type != GUMBO_NODE_TEXT || !InSource(child->v.text.original_text))
            continue;
        const GumboStringPiece& text = child->v.text.original_text;
        for (Edit& edit :
             RewriteCss(std::string_view(text.data, text.length), Css(), sink_, Offset(text.data)))
            Add(std::move(edit));
    }
}

void DocumentRewriter::VisitStyleAttribute(const GumboAttribute* attribute) {
    const std::string_view css = attribute->value;
    CssContext context = Css();
    context.takeOutUnusedRules = false;
    auto edits = RewriteCss(css, context, sink_);
    if (edits.empty())
        return;
    // The quotes around the new addresses would end the attribute.
    for (Edit& edit : edits)
        for (Piece& piece : edit.pieces)
            piece.text = EscapeAttribute(piece.text);
    SetAttribute(attribute, SpliceToPieces(css, std::move(edits), EscapeAttribute));
}

void DocumentRewriter::AddCharset() {
    if (!IsCharsetName(context_.charset))
        return;
    std::size_t at = 0;
    const GumboNode* root = output_->root;
    const GumboNode* head = nullptr;
    for (unsigned i = 0; i < root->v.element.children.length; ++i) {
        const GumboNode* child = Child(root->v.element, i);
        if (child->type == GUMBO_NODE_ELEMENT && child->v.element.tag == GUMBO_TAG_HEAD)
            head = child;
    }
    if (head && FromSource(head->v.element))
        at = EndOf(head->v.element.original_tag);
    else if (FromSource(root->v.element))
        at = EndOf(root->v.element.original_tag);
    else
        at = AfterDoctype();
    Replace(at, at, {{"<meta charset=\"" + context_.charset + "\">"}});
}

std::size_t DocumentRewriter::AfterDoctype() const {
    const std::string_view html = Html();
    std::size_t at = 0;
    while (at < html.size() && std::isspace(static_cast<unsigned char>(html[at])))
        ++at;
    if (Lower(html.substr(at, 9)) != "<!doctype")
        return 0;
    const auto end = html.find('>', at);
    return end == std::string_view::npos ? 0 : end + 1;
}

std::vector<Edit> RewriteHtml(std::string_view html, const HtmlContext& context,
                              ResourceSink& sink) {
    return DocumentRewriter(html, context, sink).Run();
}

} // namespace zel::service
