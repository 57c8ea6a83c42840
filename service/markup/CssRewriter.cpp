#include "CssRewriter.h"

#include "AsciiText.h"
#include "CssScan.h"
#include "SelectorMatch.h"
#include "Url.h"

namespace zel::service {
namespace {

ResourceKind KindOf(CssRefKind kind) {
    switch (kind) {
    case CssRefKind::Import:
        return ResourceKind::StyleSheet;
    case CssRefKind::Font:
        return ResourceKind::Font;
    case CssRefKind::Image:
        break;
    }
    return ResourceKind::Image;
}

// The end of a format() hint after a font's address that names a format the
// font may be re-encoded from; `at` when there is none. Without the hint the
// browser takes the font for what its bytes are.
std::size_t EndOfConvertibleFormat(std::string_view css, std::size_t at) {
    std::size_t i = at;
    while (i < css.size() && IsAsciiSpace(css[i]))
        ++i;
    if (Lower(css.substr(i, 7)) != "format(")
        return at;
    const std::size_t close = css.find(')', i);
    if (close == std::string_view::npos)
        return at;
    std::string format;
    for (char c : css.substr(i + 7, close - i - 7))
        if (c != '"' && c != '\'' && !IsAsciiSpace(c))
            format += c;
    format = Lower(format);
    for (const char* convertible : {"truetype", "opentype", "woff", "truetype-variations",
                                    "opentype-variations", "woff-variations"})
        if (format == convertible)
            return close + 1;
    return at;
}

} // namespace

std::vector<Edit> RewriteCss(std::string_view css, const CssContext& context, ResourceSink& sink,
                             std::size_t offset) {
    std::vector<Edit> edits;
    for (const CssRef& ref : FindCssRefs(css)) {
        const ResourceKind kind = KindOf(ref.kind);
        const std::string reference = CleanReference(ref.url);
        if (!reference.empty() && reference[0] == '#')
            continue; // a part of this document: an SVG filter, gradient or mask
        const auto url = ResolveUrl(context.baseUrl, reference);
        if (!url && kind != ResourceKind::StyleSheet && Lower(reference).rfind("data:", 0) == 0)
            continue; // an inline image or font stays; an inline style sheet could load more
        const int depth = kind == ResourceKind::StyleSheet ? context.importDepth + 1 : 0;
        const bool unseen = kind == ResourceKind::Image && context.names && ref.selectors &&
                            !MayMatch(*ref.selectors, *context.names);
        const int id = !url || (kind == ResourceKind::Image && (!context.images || unseen))
                           ? -1
                           : sink.Register(*url, kind, ImageBox{}, depth);
        const std::size_t end =
            kind == ResourceKind::Font ? EndOfConvertibleFormat(css, ref.end) : ref.end;
        // Local names need no quotes, which would only need escaping in a
        // style attribute.
        Edit edit{offset + ref.begin, offset + end, {{"url("}}};
        if (id >= 0)
            edit.pieces.push_back({{}, id});
        else
            edit.pieces.push_back({kNowhere});
        edit.pieces.push_back({")"});
        edits.push_back(std::move(edit));
    }
    return edits;
}

} // namespace zel::service
