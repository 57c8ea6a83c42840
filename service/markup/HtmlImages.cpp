#include "DocumentRewriter.h"

#include "AsciiText.h"
#include "ElementBox.h"
#include "GumboNodes.h"
#include "MarkupRules.h"
#include "Srcset.h"
#include "Url.h"

#include <algorithm>

namespace zel::service {

namespace {

std::string_view ValueOf(const GumboAttribute* attribute) {
    return attribute ? std::string_view(attribute->value) : std::string_view();
}

// Attributes that lazy-loading scripts read the real image from.
constexpr const char* kLazySets[] = {"data-srcset", "data-lazy-srcset"};
constexpr const char* kLazySources[] = {"data-src", "data-lazy-src", "data-original"};

} // namespace

ImageBox DocumentRewriter::BoxOf(const GumboElement& element) const {
    return ReadElementBox(
        {ValueOf(Attribute(element, "width")), ValueOf(Attribute(element, "height")),
         ValueOf(Attribute(element, "style")), ValueOf(Attribute(element, "sizes"))});
}

bool DocumentRewriter::InPicture(const GumboNode* node) {
    return node->parent && node->parent->type == GUMBO_NODE_ELEMENT &&
           TagName(node->parent->v.element) == "picture";
}

bool DocumentRewriter::HasNoscriptFallback(const GumboNode* node) {
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

DocumentRewriter::ImageChoice DocumentRewriter::FromSrcset(const char* list,
                                                           const GumboElement& element,
                                                           int boxWidth, bool srcCounts) {
    SrcsetChoice chosen = PickFromSrcset(list, boxWidth);
    if (srcCounts && chosen.width == 0 && chosen.density != 1.0)
        if (const auto* src = Attribute(element, "src"); src && *src->value)
            return {src->value, 0};
    const int sizes = chosen.width > 0
                          ? ReadElementBox({{}, {}, {}, ValueOf(Attribute(element, "sizes"))}).width
                          : 0;
    return {std::move(chosen.url), sizes};
}

DocumentRewriter::ImageChoice DocumentRewriter::LazyReference(const GumboElement& element,
                                                              int boxWidth) const {
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
            if (std::string reference = CleanReference(source->value); ResolveUrl(base_, reference))
                return {reference, 0};
    return {};
}

std::vector<const GumboElement*> DocumentRewriter::PictureSources(const GumboNode* picture) {
    std::vector<const GumboElement*> sources;
    const GumboElement& element = picture->v.element;
    for (unsigned i = 0; i < std::min(element.children.length, 32u); ++i) {
        const GumboNode* child = Child(element, i);
        if (child->type == GUMBO_NODE_ELEMENT && child->v.element.tag == GUMBO_TAG_SOURCE)
            sources.push_back(&child->v.element);
    }
    return sources;
}

bool DocumentRewriter::IsLazy(const GumboNode* image, int boxWidth) const {
    if (!LazyReference(image->v.element, boxWidth).reference.empty())
        return true;
    if (!InPicture(image))
        return false;
    const auto sources = PictureSources(image->parent);
    return std::any_of(sources.begin(), sources.end(), [&](const GumboElement* source) {
        return !LazyReference(*source, boxWidth).reference.empty();
    });
}

DocumentRewriter::ImageChoice DocumentRewriter::ImageReference(const GumboElement& element,
                                                               int boxWidth) const {
    if (ImageChoice lazy = LazyReference(element, boxWidth); !lazy.reference.empty())
        return lazy;
    if (const auto* srcset = Attribute(element, "srcset"))
        if (ImageChoice chosen = FromSrcset(srcset->value, element, boxWidth, true);
            !chosen.reference.empty())
            return chosen;
    const auto* src = Attribute(element, "src");
    return {src ? std::string(src->value) : std::string(), 0};
}

DocumentRewriter::ImageChoice DocumentRewriter::PictureReference(const GumboNode* picture,
                                                                 int boxWidth) const {
    for (const GumboElement* source : PictureSources(picture))
        if (ImageChoice chosen = ImageReference(*source, boxWidth);
            ResolveUrl(base_, chosen.reference))
            return chosen;
    return {};
}

std::string DocumentRewriter::ShownWidth(const GumboElement& element,
                                         const ImageChoice& chosen) const {
    if (chosen.sizesWidth <= 0 || !FromSource(element) ||
        GivesWidth(
            {ValueOf(Attribute(element, "width")), {}, ValueOf(Attribute(element, "style")), {}}))
        return {};
    return " width=\"" + std::to_string(chosen.sizesWidth) + "\"";
}

void DocumentRewriter::VisitImage(const GumboNode* node) {
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
    if (!inserted.empty() && FromSource(element)) {
        const std::size_t afterName = TagNameEnd(element);
        Replace(afterName, afterName, std::move(inserted));
    }
    Drop(element, srcset);
    if (chosen.sizesWidth > 0)
        Drop(element, Attribute(element, "sizes")); // nothing left to size
    for (const auto* attribute : named)
        RemoveAttribute(attribute);
}

void DocumentRewriter::VisitImageSource(const GumboElement& element,
                                        const GumboAttribute* attribute, bool useBox) {
    if (attribute == nullptr)
        return;
    if (!context_.images)
        Drop(element, attribute);
    else
        PointToResource(attribute, ResourceKind::Image, useBox ? BoxOf(element) : ImageBox{});
}

void DocumentRewriter::LeaveOutMedia(const GumboElement& element) {
    for (const char* name : {"src", "poster", "data"})
        Drop(element, Attribute(element, name));
    if (element.tag == GUMBO_TAG_SOURCE)
        Drop(element, Attribute(element, "srcset"));
}

} // namespace zel::service
