// The page rewriter on a fetched document. The first byte chooses the
// context; with scripts off, the rewritten document parsed again holds no
// script element and no event handler with code.

#include "HtmlRewriter.h"
#include "RecordingSink.h"

#include <gumbo.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace zel::service;

namespace {

// An event handler with code in it (the parser gives names in lower case).
bool IsHandler(const GumboAttribute& attribute) {
    const std::string_view name = attribute.name;
    return name.size() > 2 && name.starts_with("on") && attribute.value[0] != '\0';
}

bool HoldsScript(const GumboNode* node) {
    if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE &&
        node->type != GUMBO_NODE_DOCUMENT)
        return false;
    const GumboVector& children =
        node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children : node->v.element.children;
    if (node->type != GUMBO_NODE_DOCUMENT) {
        const GumboElement& element = node->v.element;
        if (element.tag == GUMBO_TAG_SCRIPT)
            return true;
        for (unsigned i = 0; i < element.attributes.length; ++i)
            if (IsHandler(*static_cast<const GumboAttribute*>(element.attributes.data[i])))
                return true;
    }
    for (unsigned i = 0; i < children.length; ++i)
        if (HoldsScript(static_cast<const GumboNode*>(children.data[i])))
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    HtmlContext context;
    context.url = "http://page.example/dir/index.html";
    context.images = (data[0] & 1) != 0;
    context.keepScripts = (data[0] & 2) != 0;
    context.frameDepth = (data[0] >> 2) & 3;
    const std::string_view html(reinterpret_cast<const char*>(data) + 1, size - 1);
    zel::fuzz::RecordingSink sink;
    const std::string rewritten =
        zel::fuzz::ApplyFuzzedEdits(html, RewriteHtml(html, context, sink));
    ChooseCharset(html, "");
    if (!context.keepScripts) {
        GumboOutput* output =
            gumbo_parse_with_options(&kGumboDefaultOptions, rewritten.data(), rewritten.size());
        const bool script = HoldsScript(output->document);
        gumbo_destroy_output(&kGumboDefaultOptions, output);
        if (script)
            std::abort();
    }
    return 0;
}
