// Which style rules keep their pictures: those whose selectors may match an
// element of the document they apply to.

#include "CssRewriter.h"

#include <gtest/gtest.h>
#include <gumbo.h>

namespace zel::service {
namespace {

class CountingSink : public ResourceSink {
public:
    int Register(const std::string&, ResourceKind, ImageBox, int) override { return images++; }
    int images = 0;
};

DocumentNames NamesOf(const std::string& html) {
    GumboOutput* output = gumbo_parse(html.c_str());
    DocumentNames names;
    names.Collect(output->root);
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    return names;
}

bool Kept(const std::string& css, const DocumentNames& names) {
    CountingSink sink;
    RewriteCss(css, {"http://h.test/", true, 0, &names}, sink);
    return sink.images > 0;
}

TEST(SelectorMatchTest, PicturesOfRulesNoElementMatchesAreLeftOut) {
    const DocumentNames names =
        NamesOf("<div id=main class='book md:flex'><p class=note>x <span>y</span></p>"
                "<ul><li>z</ul></div><template><em class=later></em></template>");
    const struct {
        const char* css;
        bool kept;
    } cases[] = {
        {"div.book { background: url(i.png) }", true},
        {"DIV.BOOK #MAIN { background: url(i.png) }", true},
        {"div.book .titlepage { background: url(i.png) }", false},
        {"#other { background: url(i.png) }", false},
        {"table { background: url(i.png) }", false},
        {"div > p.note + ul ~ li span { background: url(i.png) }", true},
        {"div > p.gone { background: url(i.png) }", false},
        {"h1 ~ ul { background: url(i.png) }", false},
        {"p:hover::before, span:first-child { background: url(i.png) }", true},
        {".gone:hover, .gone::after { background: url(i.png) }", false},
        {":not(.gone) { background: url(i.png) }", true},
        {".gone:is(p), :has(.gone), .gone:nth-child(2) { background: url(i.png) }", true},
        {"[data-x], .gone [title='a]b'] { background: url(i.png) }", true},
        {".gone[title='a]b'] { background: url(i.png) }", false},
        {"* html .gone, .later { background: url(i.png) }", true},
        {".md\\:flex { background: url(i.png) }", true},
        {".md\\:grid { background: url(i.png) }", false},
        {"\xEF\xBB\xBF.gone { background: url(i.png) }", false},
        {".caf\\e9 { background: url(i.png) }", true},
        {"svg|rect { background: url(i.png) }", true},
        {"& .gone { background: url(i.png) }", true},
        {"/* x */ <!-- .gone { background: url(i.png) } -->", false},
        {"@media screen { @supports (display: grid) { .gone { background: url(i.png) } } }", false},
        {"@media screen { .note { background: url(i.png) } }", true},
        {"@page { background: url(i.png) }", true},
        {"@keyframes k { from { background: url(i.png) } }", true},
        {".gone { & .note { background: url(i.png) } }", true},
        {"background: url(i.png)", true}, // a style attribute: always applies
    };
    for (const auto& c : cases)
        EXPECT_EQ(Kept(c.css, names), c.kept) << c.css;
    // Clones of another file's SVG parts may take any rule.
    EXPECT_TRUE(
        Kept(".gone { background: url(i.png) }", NamesOf("<svg><use href='sprite.svg#a'/></svg>")));
    EXPECT_FALSE(Kept(".gone { background: url(i.png) }", NamesOf("<svg><use href='#a'/></svg>")));
}

} // namespace
} // namespace zel::service
