#include "HtmlRewriter.h"

#include "AsciiText.h"
#include "CssRewriter.h"
#include "ElementBox.h"
#include "GumboNodes.h"
#include "MarkupRules.h"
#include "SourceEdits.h"
#include "Srcset.h"
#include "Url.h"

#include <gumbo.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <sstream>

namespace zel::service {
namespace {

std::string_view ValueOf(const GumboAttribute* attribute) {
    return attribute ? std::string_view(attribute->value) : std::string_view();
}

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

// Attributes that lazy-loading scripts read the real image from.
constexpr const char* kLazySets[] = {"data-srcset", "data-lazy-srcset"};
constexpr const char* kLazySources[] = {"data-src", "data-lazy-src", "data-original"};

struct GumboFree {
    void operator()(GumboOutput* output) const {
        gumbo_destroy_output(&kGumboDefaultOptions, output);
    }
};

class Rewriter : private SourceEdits {
public:
    Rewriter(std::string_view html, const HtmlContext& context, ResourceSink& sink)
        : SourceEdits(html), context_(context), sink_(sink), base_(context.url) {}

    std::vector<Edit> Run() {
        // With a bound on its error list, gumbo reads the attribute after a
        // repeated one wrongly once the bound is reached ("src onload" as one
        // name), so every error is kept.
        output_.reset(
            gumbo_parse_with_options(&kGumboDefaultOptions, Html().data(), Html().size()));
        if (!output_)
            return {};
        FindBase();
        foreign_ = HoldsForeign(output_->root);
        Walk();
        AddCharset();
        return TakeEdits();
    }

private:
    // A resource's local address, or nowhere when it is left out.
    std::vector<Piece> ResourcePieces(const std::string& reference, ResourceKind kind, ImageBox box,
                                      int depth) {
        const auto url = ResolveUrl(base_, reference);
        if (!url)
            return {};
        const int id = sink_.Register(*url, kind, box, depth);
        if (id < 0)
            return {{kNowhere}};
        return {{{}, id}};
    }
    // A reference that is no web address is left to the guard, but for an
    // image's inline data.
    void PointToResource(const GumboAttribute* attribute, ResourceKind kind, ImageBox box = {},
                         int depth = 0) {
        if (attribute == nullptr)
            return;
        auto pieces = ResourcePieces(attribute->value, kind, box, depth);
        if (!pieces.empty())
            SetAttribute(attribute, std::move(pieces));
        else if (kind == ResourceKind::Image)
            KeepInlineImage(attribute);
    }
    // An address left out. Where its name may come again it stays, emptied:
    // the parser takes the first of an attribute's names (in a tag, and over
    // the html or body tags it merges), so a later one would take effect once
    // this one were gone.
    void Drop(const GumboElement& element, const GumboAttribute* attribute) {
        if (attribute != nullptr && (element.tag == GUMBO_TAG_HTML ||
                                     element.tag == GUMBO_TAG_BODY || RepeatedLater(attribute)))
            SetAttribute(attribute, {});
        else
            RemoveAttribute(attribute);
    }
    void KeepInlineImage(const GumboAttribute* attribute) {
        if (attribute && Lower(CleanReference(attribute->value)).rfind("data:", 0) == 0)
            Keep(attribute);
    }
    // A link the user may click: it goes to the web through the service, to
    // mail, or nowhere.
    void MakeAbsolute(const GumboAttribute* attribute) {
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

    // --- the document ---
    // Elements and templates in document order; `visit` tells whether to go
    // on into the children.
    template <typename Visit> void ForEachElement(Visit visit) const {
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

    void FindBase() {
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

    void Walk() {
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

    // Whatever address no rule took care of would be loaded, run or followed
    // from the web by the shown page: it goes.
    void Guard(const GumboElement& element) {
        for (unsigned i = 0; i < element.attributes.length; ++i) {
            const auto* attribute = static_cast<const GumboAttribute*>(element.attributes.data[i]);
            if (HoldsAddress(*attribute) && !Handled(attribute) &&
                !StaysInPage(CleanReference(attribute->value)))
                Drop(element, attribute);
        }
    }

    void Visit(const GumboNode* node) {
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
            // Its end tag may close an SVG or MathML element: without it what
            // follows would join that element, which the walk never saw there.
            if (!context_.keepScripts && !HoldsForeign(node))
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
            if (const auto* type = Attribute(element, "type");
                type && Lower(type->value) == "image")
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

    void VisitAttributes(const GumboElement& element) {
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

    void VisitLink(const GumboElement& element) {
        const auto* rel = Attribute(element, "rel");
        const auto tokens = rel ? Tokens(rel->value) : std::vector<std::string>{};
        if (Has(tokens, {"stylesheet"}) && !Has(tokens, {"alternate"}))
            PointToResource(Attribute(element, "href"), ResourceKind::StyleSheet, {}, 1);
        else // nobody clicks it, and a browser may load it (icons, preloads, alternates)
            RemoveElement(element);
    }

    ImageBox BoxOf(const GumboElement& element) const {
        return ReadElementBox(
            {ValueOf(Attribute(element, "width")), ValueOf(Attribute(element, "height")),
             ValueOf(Attribute(element, "style")), ValueOf(Attribute(element, "sizes"))});
    }

    static bool DeclaresCharset(const GumboElement& element) {
        const auto* equiv = Attribute(element, "http-equiv");
        return Attribute(element, "charset") != nullptr ||
               (equiv != nullptr && Lower(equiv->value) == "content-type");
    }

    static bool IsRefresh(const GumboElement& element) {
        const auto* equiv = Attribute(element, "http-equiv");
        return equiv != nullptr && Lower(CleanReference(equiv->value)) == "refresh";
    }

    // A refresh to another address goes to it through the service, like a
    // click; one a browser might read otherwise goes.
    void VisitRefresh(const GumboElement& element) {
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

    // SVG and MathML: links, images, parts of other files, style and
    // animations under the same rules as HTML's.
    void VisitForeign(const GumboElement& element) {
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

    // The file's part keeps its name: "sprite.svg#icon".
    void VisitUse(const GumboAttribute* attribute) {
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

    // In SVG a style element's text is markup's: character references and
    // CDATA sections make up the style sheet. It is written again as plain
    // text, its addresses rewritten.
    void VisitForeignStyle(const GumboElement& element) {
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

    static std::string EscapeText(std::string_view text) {
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

    // A meta or img ends SVG or MathML content: where there is such content
    // a bare tag stays in its place, or what follows would join the SVG.
    void RemoveBreakout(const GumboElement& element) {
        const std::string name = TagName(element);
        if (foreign_ && (name == "meta" || name == "img") && FromSource(element))
            ReplaceElement(element, "<" + name + ">");
        else
            RemoveElement(element);
    }

    static bool HoldsForeign(const GumboNode* root) {
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

    static bool InPicture(const GumboNode* node) {
        return node->parent && node->parent->type == GUMBO_NODE_ELEMENT &&
               TagName(node->parent->v.element) == "picture";
    }

    // A lazy image followed by a noscript with the image in it: without
    // scripts that one shows.
    static bool HasNoscriptFallback(const GumboNode* node) {
        if (node->parent == nullptr || node->parent->type != GUMBO_NODE_ELEMENT)
            return false;
        const GumboElement& parent = node->parent->v.element;
        for (unsigned i = node->index_within_parent + 1; i < parent.children.length; ++i) {
            const GumboNode* next = Child(parent, i);
            if (next->type == GUMBO_NODE_WHITESPACE || next->type == GUMBO_NODE_COMMENT)
                continue;
            if (next->type != GUMBO_NODE_ELEMENT || next->v.element.tag != GUMBO_TAG_NOSCRIPT)
                return false;
            const GumboElement& noscript = next->v.element;
            for (unsigned k = 0; k < noscript.children.length; ++k) {
                const GumboNode* child = Child(noscript, k);
                if (child->type == GUMBO_NODE_ELEMENT && child->v.element.tag == GUMBO_TAG_IMG)
                    return true;
            }
            return false;
        }
        return false;
    }

    // An image's address, and the width the browser shows it at when a "w"
    // descriptor chose it: its pixels then count against `sizes`, not as CSS
    // pixels, and the local copy, which has no srcset, needs that width
    // written (0: unknown, or the element gives the width itself).
    struct ImageChoice {
        std::string reference;
        int sizesWidth = 0;
    };

    // `element` holds the list and its `sizes`. A candidate of another
    // density than 1 shows at another size than the element's src, which is
    // then the list's implicit candidate of density 1 and goes instead.
    static ImageChoice FromSrcset(const char* list, const GumboElement& element, int boxWidth,
                                  bool srcCounts) {
        SrcsetChoice chosen = PickFromSrcset(list, boxWidth);
        if (srcCounts && chosen.width == 0 && chosen.density != 1.0)
            if (const auto* src = Attribute(element, "src"); src && *src->value)
                return {src->value, 0};
        const int sizes =
            chosen.width > 0
                ? ReadElementBox({{}, {}, {}, ValueOf(Attribute(element, "sizes"))}).width
                : 0;
        return {std::move(chosen.url), sizes};
    }

    // Where scripts would take the real image from: without them the image
    // shows only when its address is taken from here.
    ImageChoice LazyReference(const GumboElement& element, int boxWidth) const {
        if (context_.keepScripts)
            return {};
        // Only a web address counts: a page's script could not load a
        // javascript:, data: or file: value either, and the src still shows.
        for (const char* name : kLazySets)
            if (const auto* set = Attribute(element, name))
                if (ImageChoice chosen = FromSrcset(set->value, element, boxWidth, false);
                    ResolveUrl(base_, chosen.reference))
                    return chosen;
        for (const char* name : kLazySources)
            if (const auto* source = Attribute(element, name))
                if (std::string reference = CleanReference(source->value);
                    ResolveUrl(base_, reference))
                    return {reference, 0};
        return {};
    }

    // The sources among a picture's first children: real pictures offer a
    // few, and looking further for each of its images could take long on a
    // hostile page.
    static std::vector<const GumboElement*> PictureSources(const GumboNode* picture) {
        std::vector<const GumboElement*> sources;
        const GumboElement& element = picture->v.element;
        for (unsigned i = 0; i < std::min(element.children.length, 32u); ++i) {
            const GumboNode* child = Child(element, i);
            if (child->type == GUMBO_NODE_ELEMENT && child->v.element.tag == GUMBO_TAG_SOURCE)
                sources.push_back(&child->v.element);
        }
        return sources;
    }

    // An image, or its picture, whose address scripts would swap in.
    bool IsLazy(const GumboNode* image, int boxWidth) const {
        if (!LazyReference(image->v.element, boxWidth).reference.empty())
            return true;
        if (!InPicture(image))
            return false;
        const auto sources = PictureSources(image->parent);
        return std::any_of(sources.begin(), sources.end(), [&](const GumboElement* source) {
            return !LazyReference(*source, boxWidth).reference.empty();
        });
    }

    ImageChoice ImageReference(const GumboElement& element, int boxWidth) const {
        if (ImageChoice lazy = LazyReference(element, boxWidth); !lazy.reference.empty())
            return lazy;
        if (const auto* srcset = Attribute(element, "srcset"))
            if (ImageChoice chosen = FromSrcset(srcset->value, element, boxWidth, true);
                !chosen.reference.empty())
                return chosen;
        const auto* src = Attribute(element, "src");
        return {src ? std::string(src->value) : std::string(), 0};
    }

    // For an image of a picture whose own address is a placeholder: the
    // first source's.
    ImageChoice PictureReference(const GumboNode* picture, int boxWidth) const {
        for (const GumboElement* source : PictureSources(picture))
            if (ImageChoice chosen = ImageReference(*source, boxWidth);
                ResolveUrl(base_, chosen.reference))
                return chosen;
        return {};
    }

    // The width an image chosen by its `sizes` is shown at, as an attribute,
    // when the element gives none itself: the page keeps its layout.
    std::string ShownWidth(const GumboElement& element, const ImageChoice& chosen) const {
        if (chosen.sizesWidth <= 0 || !FromSource(element) ||
            GivesWidth({ValueOf(Attribute(element, "width")),
                        {},
                        ValueOf(Attribute(element, "style")),
                        {}}))
            return {};
        return " width=\"" + std::to_string(chosen.sizesWidth) + "\"";
    }

    void VisitImage(const GumboNode* node) {
        const GumboElement& element = node->v.element;
        const auto* src = Attribute(element, "src");
        const auto* srcset = Attribute(element, "srcset");
        if (!context_.images) {
            Drop(element, src); // the alt text shows instead
            Drop(element, srcset);
            return;
        }
        ImageBox box = BoxOf(element);
        const GumboNode* shown = InPicture(node) ? node->parent : node;
        if (HasNoscriptFallback(shown) && IsLazy(node, box.width)) {
            RemoveBreakout(shown->v.element); // a placeholder beside the real image
            return;
        }
        ImageChoice chosen = ImageReference(element, box.width);
        if (!ResolveUrl(base_, chosen.reference) && InPicture(node))
            chosen = PictureReference(node->parent, box.width);
        if (chosen.reference.empty())
            return;
        if (box.width == 0)
            box.width = chosen.sizesWidth;
        auto pieces = ResourcePieces(chosen.reference, ResourceKind::Image, box, 0);
        if (pieces.empty()) {
            KeepInlineImage(src); // an inline (data:) image stays as it is
            return;
        }
        std::vector<const GumboAttribute*> named;
        if (!context_.keepScripts) {
            for (const char* name : kLazySets)
                named.push_back(Attribute(element, name));
            for (const char* name : kLazySources)
                named.push_back(Attribute(element, name));
        }
        std::vector<Piece> inserted;
        if (const std::string width = ShownWidth(element, chosen); !width.empty())
            inserted.push_back({width});
        if (src) {
            SetAttribute(src, std::move(pieces));
        } else if (FromSource(element)) {
            inserted.push_back({" src=\""});
            inserted.insert(inserted.end(), pieces.begin(), pieces.end());
            inserted.push_back({"\""});
        }
        if (!inserted.empty()) {
            const std::size_t afterName = TagNameEnd(element);
            Replace(afterName, afterName, std::move(inserted));
        }
        Drop(element, srcset);
        if (chosen.sizesWidth > 0)
            Drop(element, Attribute(element, "sizes")); // nothing left to size
        for (const auto* attribute : named)
            RemoveAttribute(attribute);
    }

    void VisitImageSource(const GumboElement& element, const GumboAttribute* attribute,
                          bool useBox = true) {
        if (attribute == nullptr)
            return;
        if (!context_.images)
            Drop(element, attribute);
        else
            PointToResource(attribute, ResourceKind::Image, useBox ? BoxOf(element) : ImageBox{});
    }

    // Video, sound and plug-ins are not carried: left as they are they would
    // load from the network, past the service.
    void LeaveOutMedia(const GumboElement& element) {
        for (const char* name : {"src", "poster", "data"})
            Drop(element, Attribute(element, name));
        if (element.tag == GUMBO_TAG_SOURCE)
            Drop(element, Attribute(element, "srcset"));
    }

    CssContext Css() const { return {base_, context_.images, 0}; }

    void VisitStyleElement(const GumboElement& element) {
        for (unsigned i = 0; i < element.children.length; ++i) {
            const GumboNode* child = Child(element, i);
            if (child->type != GUMBO_NODE_TEXT || !InSource(child->v.text.original_text))
                continue;
            const GumboStringPiece& text = child->v.text.original_text;
            for (Edit& edit : RewriteCss(std::string_view(text.data, text.length), Css(), sink_,
                                         Offset(text.data)))
                Add(std::move(edit));
        }
    }

    void VisitStyleAttribute(const GumboAttribute* attribute) {
        const std::string_view css = attribute->value;
        auto edits = RewriteCss(css, Css(), sink_);
        if (edits.empty())
            return;
        // The quotes around the new addresses would end the attribute.
        for (Edit& edit : edits)
            for (Piece& piece : edit.pieces)
                piece.text = EscapeAttribute(piece.text);
        SetAttribute(attribute, SpliceToPieces(css, std::move(edits), EscapeAttribute));
    }

    // The declaration goes first in the head, where browsers look for it.
    void AddCharset() {
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

    std::size_t AfterDoctype() const {
        const std::string_view html = Html();
        std::size_t at = 0;
        while (at < html.size() && std::isspace(static_cast<unsigned char>(html[at])))
            ++at;
        if (Lower(html.substr(at, 9)) != "<!doctype")
            return 0;
        const auto end = html.find('>', at);
        return end == std::string_view::npos ? 0 : end + 1;
    }

    const HtmlContext& context_;
    ResourceSink& sink_;
    std::string base_;
    std::unique_ptr<GumboOutput, GumboFree> output_;
    bool foreign_ = false; // the document holds SVG or MathML
};

} // namespace

std::vector<Edit> RewriteHtml(std::string_view html, const HtmlContext& context,
                              ResourceSink& sink) {
    return Rewriter(html, context, sink).Run();
}

} // namespace zel::service
