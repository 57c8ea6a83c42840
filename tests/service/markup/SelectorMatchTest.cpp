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
        {".gone { & .note { background: url(i.png) } }", false},
        {".book { & .gone { background: url(i.png) } }", true},
        {"background: url(i.png)", true}, // a style attribute: always applies
    };
    for (const auto& c : cases)
        EXPECT_EQ(Kept(c.css, names), c.kept) << c.css;
    // Clones of another file's SVG parts may take any rule.
    EXPECT_TRUE(
        Kept(".gone { background: url(i.png) }", NamesOf("<svg><use href='sprite.svg#a'/></svg>")));
    EXPECT_FALSE(Kept(".gone { background: url(i.png) }", NamesOf("<svg><use href='#a'/></svg>")));
}

// What a rule that can match nothing costs is its bytes: it goes whole, as
// do comments between statements (but a licence's).
TEST(SelectorMatchTest, RulesNoElementMatchesAreTakenOutWhole) {
    const DocumentNames names = NamesOf("<div class=book><p>x</p></div>");
    const std::string css =
        "@charset \"utf-8\";\n.gone { color: red }\n"
        "@media print { .gone, table { x: y } p { z: 1 } }\n"
        "div.book { color: blue }\n"
        "@font-face { font-family: f; src: url(f.woff) }\n"
        "/* { */ .gone:hover > a { /* c */ & p { background: url(i.png) } } .book{}\n"
        "/*! licence */ div/**/p { /* c */ }";
    int fetched = 0;
    const auto rewritten = [&](CssContext context) {
        CountingSink sink;
        auto edits = RewriteCss(css, context, sink);
        fetched = sink.images;
        return ApplyEdits(css, std::move(edits), [](int id) { return "r" + std::to_string(id); });
    };
    EXPECT_EQ(rewritten({"http://h.test/", true, 0, &names}),
              "@charset \"utf-8\";\n@media print { p { z: 1 } }\ndiv.book { color: blue }\n"
              "@font-face { font-family: f; src: url(r0) }\n.book{}\n"
              "/*! licence */ div/**/p { }");
    EXPECT_EQ(fetched, 1); // the font: no picture of a rule taken out
    // Rules the browser passes over stay so: an "@charset" not at the start,
    // an @import or @namespace after a rule.
    const struct {
        std::string sheet, out;
    } edges[] = {
        {"/* a */ .gone{} @charset \"x\";", ".gone{} @charset \"x\";"},
        {"\xEF\xBB\xBF.gone{}\n@charset \"x\";", "\xEF\xBB\xBF.gone{}\n@charset \"x\";"},
        {"p{} .gone{} @charset \"x\";", "p{} @charset \"x\";"},
        {".gone{} @import 'b.css';", ".gone{} @import url(r);"},
        {".gone{} @NameSpace svg \"x\";", ".gone{} @NameSpace svg \"x\";"},
        {"} .gone{} p{}", "} p{}"}, // a stray end of block
    };
    for (const auto& edge : edges) {
        CountingSink sink;
        EXPECT_EQ(ApplyEdits(edge.sheet,
                             RewriteCss(edge.sheet, {"http://h.test/", true, 0, &names}, sink),
                             [](int) { return "r"; }),
                  edge.out);
    }
    // Scripts kept, or a style attribute's text: no rule goes.
    CssContext attribute{"http://h.test/", true, 0, &names};
    attribute.takeOutUnusedRules = false;
    for (const CssContext& context : {CssContext{"http://h.test/", true, 0, nullptr}, attribute}) {
        const std::string kept = rewritten(context);
        for (const char* rule : {".gone { color: red }", ".gone, table { x: y }", "& p {"})
            EXPECT_NE(kept.find(rule), std::string::npos) << rule << " in " << kept;
    }
}

} // namespace
} // namespace zel::service
