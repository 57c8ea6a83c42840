// The style sheet scanner and rewriter on a fetched style sheet, its rules
// judged against a document or not: the references and style rules found
// lie within the sheet, in order, without overlapping.

#include "CssRewriter.h"
#include "CssScan.h"
#include "RecordingSink.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace zel::service;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::string_view css(reinterpret_cast<const char*>(data) + 1, size - 1);
    const CssScanned scanned = ScanCss(css);
    std::size_t previousEnd = 0;
    for (const CssRef& ref : scanned.refs) {
        if (ref.begin < previousEnd || ref.begin >= ref.end || ref.end > css.size())
            std::abort();
        previousEnd = ref.end;
    }
    previousEnd = 0;
    for (const CssStyleRule& rule : scanned.rules) {
        if (rule.begin < previousEnd || rule.begin >= rule.end || rule.end > css.size() ||
            css[rule.end - 1] != '}')
            std::abort();
        previousEnd = rule.end;
    }
    CssContext context;
    context.baseUrl = "http://page.example/css/site.css";
    context.images = (data[0] & 1) != 0;
    context.importDepth = (data[0] >> 1) & 3;
    static const DocumentNames none; // every rule that needs a name matches nothing
    if ((data[0] & 8) != 0)
        context.names = &none;
    zel::fuzz::RecordingSink sink;
    zel::fuzz::ApplyFuzzedEdits(css, RewriteCss(css, context, sink));
    return 0;
}
