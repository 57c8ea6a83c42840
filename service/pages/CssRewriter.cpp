#include "CssRewriter.h"

#include "CssScan.h"
#include "Url.h"

namespace zel::service {
namespace {

ResourceKind KindOf(CssRefKind kind) {
    switch (kind) {
    case CssRefKind::Import:
        return ResourceKind::StyleSheet;
    case CssRefKind::Font:
        return ResourceKind::Other;
    case CssRefKind::Image:
        break;
    }
    return ResourceKind::Image;
}

} // namespace

std::vector<Edit> RewriteCss(std::string_view css, const CssContext& context, ResourceSink& sink,
                             std::size_t offset) {
    std::vector<Edit> edits;
    for (const CssRef& ref : FindCssRefs(css)) {
        const auto url = ResolveUrl(context.baseUrl, ref.url);
        if (!url)
            continue; // data: and the like stay inline
        const ResourceKind kind = KindOf(ref.kind);
        const int depth = kind == ResourceKind::StyleSheet ? context.importDepth + 1 : 0;
        const int id = kind == ResourceKind::Image && !context.images
                           ? -1
                           : sink.Register(*url, kind, ImageBox{}, depth);
        Edit edit{offset + ref.begin, offset + ref.end, {{"url(\""}}};
        if (id >= 0)
            edit.pieces.push_back({{}, id});
        else
            edit.pieces.push_back({kNowhere});
        edit.pieces.push_back({"\")"});
        edits.push_back(std::move(edit));
    }
    return edits;
}

} // namespace zel::service
