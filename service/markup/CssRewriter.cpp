#include "CssRewriter.h"

#include "AsciiText.h"
#include "CssScan.h"
#include "SelectorMatch.h"
#include "Url.h"

#include <algorithm>
#include <iterator>

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

// What no reader sees: comments between statements, and the style rules no
// element of the document can match (the style sheets of a site hold many
// a page never uses). Each with the blanks after it, in order, none within
// another. Nothing goes that would make a rule the browser passes over take
// effect: a rule before an @import or @namespace, or what would bring an
// "@charset" to the sheet's start.
std::vector<CssSpan> Unseen(std::string_view css, const CssScanned& scanned,
                            const CssContext& context) {
    std::vector<CssSpan> spans = scanned.comments;
    if (context.names && context.takeOutUnusedRules)
        for (const CssStyleRule& rule : scanned.rules)
            if (rule.begin >= scanned.afterLastImport && !MayMatch(rule.selectors, *context.names))
                spans.push_back({rule.begin, rule.end});
    std::sort(spans.begin(), spans.end(), [](CssSpan a, CssSpan b) { return a.begin < b.begin; });
    std::vector<CssSpan> unseen;
    std::size_t start = css.starts_with("\xEF\xBB\xBF") ? 3 : 0; // all before it goes
    for (CssSpan span : spans) {
        if (!unseen.empty() && span.begin < unseen.back().end)
            continue;
        while (span.end < css.size() && IsAsciiSpace(css[span.end]))
            ++span.end;
        if (span.begin == start) {
            if (css.substr(span.end).starts_with("@charset"))
                continue;
            start = span.end;
        }
        unseen.push_back(span);
    }
    return unseen;
}

bool Within(const std::vector<CssSpan>& spans, const CssRef& ref) {
    const auto after =
        std::upper_bound(spans.begin(), spans.end(), ref.begin,
                         [](std::size_t at, CssSpan span) { return at < span.begin; });
    return after != spans.begin() && ref.end <= std::prev(after)->end;
}

} // namespace

std::vector<Edit> RewriteCss(std::string_view css, const CssContext& context, ResourceSink& sink,
                             std::size_t offset) {
    const CssScanned scanned = ScanCss(css);
    const std::vector<CssSpan> unseen = Unseen(css, scanned, context);
    std::vector<Edit> edits;
    for (const CssSpan& span : unseen)
        edits.push_back({offset + span.begin, offset + span.end, {}});
    for (const CssRef& ref : scanned.refs) {
        if (Within(unseen, ref))
            continue;
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
