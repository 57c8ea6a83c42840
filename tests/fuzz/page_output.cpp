// What the service writes for a hostile document: the rewritten page after
// the job's last guard (first byte: bit 0 images on) and a stored SVG that
// the check let through hold no script, no handler and no address out of the
// page's own files but for links a user may click.

#include "HtmlRewriter.h"
#include "OutputGuard.h"
#include "OutputRule.h"
#include "RecordingSink.h"
#include "SvgCheck.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace zel::service;

namespace {

void Check(const std::string& breach, std::string_view written) {
    if (breach.empty())
        return;
    std::fprintf(stderr, "%s in:\n", breach.c_str());
    std::fwrite(written.data(), 1, written.size(), stderr);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    HtmlContext context;
    context.url = "http://page.example/dir/index.html";
    context.charset = "utf-8";
    context.images = (data[0] & 1) != 0;
    const std::string_view html(reinterpret_cast<const char*>(data) + 1, size - 1);
    zel::fuzz::RecordingSink sink;
    const std::string rewritten = ApplyEdits(html, RewriteHtml(html, context, sink), [](int id) {
        return "page.files/" + std::to_string(id) + ".png";
    });
    const std::string written = GuardOutput(rewritten, [](std::string_view reference) {
        // As the rewriter above names them: page.files/<id>.png
        const auto id = reference.substr(std::min<std::size_t>(11, reference.size()));
        return reference.starts_with("page.files/") && id.size() > 4 && id.ends_with(".png") &&
               id.find_first_not_of("0123456789") == id.size() - 4;
    });
    Check(test::BreachInMarkup(written), written);
    if (IsInertSvg(html))
        Check(test::BreachInMarkup(html), html);
    return 0;
}
