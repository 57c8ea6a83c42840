// The small tools of page making: address classes, style sheet scanning,
// nesting estimate, address resolution, splicing, archive entry names, the
// rewriter's handler removal, text decoding, passed images, element boxes.

#include "AddressCheck.h"
#include "CssScan.h"
#include "ElementBox.h"
#include "FetchedBodies.h"
#include "HtmlRewriter.h"
#include "NestingScan.h"
#include "PageArchive.h"
#include "PassedImage.h"
#include "Splice.h"
#include "StatefulText.h"
#include "SvgCheck.h"
#include "Url.h"
#include "Utf16Text.h"

#include <gtest/gtest.h>
#include <gumbo.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <string>
#include <utility>

namespace zel::service {
namespace {

bool IsPublic(const char* text) {
    sockaddr_in6 v6{};
    sockaddr_in v4{};
    if (inet_pton(AF_INET, text, &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        return IsPublicAddress(reinterpret_cast<sockaddr*>(&v4));
    }
    if (inet_pton(AF_INET6, text, &v6.sin6_addr) != 1)
        throw std::invalid_argument(text);
    v6.sin6_family = AF_INET6;
    return IsPublicAddress(reinterpret_cast<sockaddr*>(&v6));
}

TEST(AddressCheckTest, SpecialRangesRefusedPublicOnesAllowed) {
    for (const char* special : {"127.0.0.1",
                                "127.255.0.9",
                                "10.1.2.3",
                                "172.16.0.1",
                                "172.31.255.255",
                                "192.168.1.1",
                                "169.254.169.254",
                                "100.64.0.1",
                                "0.0.0.0",
                                "224.0.0.1",
                                "239.1.1.1",
                                "255.255.255.255",
                                "240.0.0.1",
                                "192.0.2.1",
                                "198.18.0.1",
                                "::",
                                "::1",
                                "::ffff:127.0.0.1",
                                "::ffff:10.0.0.1",
                                "::127.0.0.1",
                                "fe80::1",
                                "fc00::1",
                                "fd12::1",
                                "ff02::1",
                                "2001:db8::1",
                                "2001::1",
                                "64:ff9b::a00:1",
                                "2002:c0a8:101::1",
                                "fec0::1",
                                "100::1"})
        EXPECT_FALSE(IsPublic(special)) << special;
    for (const char* open :
         {"8.8.8.8", "1.1.1.1", "172.32.0.1", "192.169.0.1", "100.128.0.1", "2a00:1450:4001::1",
          "2606:4700::1111", "::ffff:8.8.8.8", "64:ff9b::808:808", "2002:808:808::1"})
        EXPECT_TRUE(IsPublic(open)) << open;
}

TEST(PageArchiveTest, OnlyThePageAndPlainNamesInItsFolderAreEntries) {
    const std::pair<std::string, bool> cases[] = {
        {"page.htm", true},
        {"page.files/a.gif", true},
        {"page.files/x-1_2.css", true},
        {"page.files/" + std::string(100, 'a'), true},
        {"page.files/" + std::string(101, 'a'), false},
        {"page.files/..", false},
        {"page.files/.x", false},
        {"page.files/.", false},
        {"page.files/", false},
        {"page.files/a/b", false},
        {"page.files/../page.htm", false},
        {"page.files/A.gif", false},
        {"page.files/a b", false},
        {"../page.htm", false},
        {"page.htm/", false},
        {"/page.htm", false},
        {"page.files", false},
    };
    for (const auto& [name, taken] : cases)
        EXPECT_EQ(PageArchive::IsValidEntryName(name), taken) << name;
}

TEST(CssScanTest, FindsUrlsAndImportsWithTheirKinds) {
    const std::string css = "/* url(no.png) */ @import \"a.css\";\n@import url( 'b.css' ) screen;\n"
                            "p { content: \"url(nope)\"; background: URL(x\\(1\\).png) }\n"
                            "@font-face { font-family: F; src: url(f.woff2) format('woff2') }\n"
                            "h1 { background-image: url( \"h.gif\" ) } .x{cursor:url(c.cur),auto}\n"
                            "bad { background: url(unterminated";
    const auto refs = FindCssRefs(css);
    ASSERT_EQ(refs.size(), 7u);
    EXPECT_EQ(refs[0].url, "a.css");
    EXPECT_EQ(refs[0].kind, CssRefKind::Import);
    EXPECT_EQ(css.substr(refs[0].begin, refs[0].end - refs[0].begin), "\"a.css\"");
    EXPECT_EQ(refs[1].url, "b.css");
    EXPECT_EQ(refs[1].kind, CssRefKind::Import);
    EXPECT_EQ(css.substr(refs[1].begin, refs[1].end - refs[1].begin), "url( 'b.css' )");
    EXPECT_EQ(refs[2].url, "x(1).png");
    EXPECT_EQ(refs[2].kind, CssRefKind::Image);
    EXPECT_EQ(refs[3].url, "f.woff2");
    EXPECT_EQ(refs[3].kind, CssRefKind::Font);
    EXPECT_EQ(refs[4].url, "h.gif");
    EXPECT_EQ(refs[4].kind, CssRefKind::Image); // the font block has ended
    EXPECT_EQ(refs[5].url, "c.cur");
    EXPECT_EQ(refs[6].url, "unterminated"); // the end of the sheet closes it
}

// Where the scanner and a browser's tokenizer part ways, an @import hides.
TEST(CssScanTest, ReadsStringsCommentsEscapesAndBadAddressesAsABrowserDoes) {
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"@import url(/*); @import 'http://e/1.css'; /**/);", {"/*", "http://e/1.css"}},
        {"@import url(a b\") ; @import 'http://e/2.css';", {"http://e/2.css"}},
        {"p{x:url(a b)url(c.png)}", {"c.png"}}, // read on right after the bad one
        {"@import url(x.css) a\\\"; @import 'http://e/3.css';", {"x.css", "http://e/3.css"}},
        {"@\\69mport 'http://e/4.css'; p{background:u\\72l(q.png)}", {"http://e/4.css", "q.png"}},
        {"p{content:\"a\\\r\n\"} @import 'http://e/5.css';", {"http://e/5.css"}},
        {"p{x:url('a\nb) @import 'c.css';}", {"c.css"}},
        {"\x14url(data:x\x01 @import 'no.css') @import 'd.css';", {"d.css"}},
        {"p{background:image-set('i1.png' 1x, url(i2.png) 2x); content:'no.png'}",
         {"i1.png", "i2.png"}},
        {"p{background:image-set('a.png' type('image/png') 1x, 'b.png' 2x); content:'no.png'}",
         {"a.png", "b.png"}},
        {"@import notaurl; @import 'http://e/6.css';", {"http://e/6.css"}},
        {"p{background:url(\\80 .png)}", {"\xC2\x80.png"}}, // an escape is a code point
        {"@namespace svg url(http://www.w3.org/2000/svg); @namespace url(x); p{x:url(i.png)}",
         {"i.png"}}, // a namespace's name loads nothing
    };
    for (const auto& [css, loaded] : cases) {
        std::vector<std::string> found;
        for (const CssRef& ref : FindCssRefs(css))
            found.push_back(ref.url);
        EXPECT_EQ(found, loaded) << css;
    }
}

// A body is read as a page when its type says so, or when it names none and
// is markup that no picture's signature claims.
TEST(FetchedBodiesTest, WhatIsReadAsAPage) {
    const struct {
        const char* type;
        std::string body;
        bool html;
    } cases[] = {{"text/html", "", true},
                 {"", " \n<html>", true},
                 {"application/octet-stream", "<p>x", true},
                 {"text/plain", "<p>x", false},
                 {"", "plain words", false},
                 {"", "\x89PNG\r\n\x1a\n<", false}};
    for (const auto& each : cases) {
        FetchResult fetched;
        fetched.contentType = each.type;
        fetched.body = each.body;
        EXPECT_EQ(IsHtml(fetched), each.html) << each.type << " " << each.body;
    }
}

TEST(NestingScanTest, CountsOpenElementsLikeTheParser) {
    EXPECT_EQ(EstimateNestingDepth("<html><body><div><div><p>x</div></div></body></html>", 100), 5);
    // Void elements, self-closing tags, raw text and left-out end tags add nothing.
    EXPECT_EQ(EstimateNestingDepth("<div><br><img src=x><hr/><span/>"
                                   "<script>if (a<b) { '<div><div><div>' }</script>"
                                   "<!-- <div><div> --></div>",
                                   100),
              1);
    std::string list = "<ul>";
    for (int i = 0; i < 500; ++i)
        list += "<li><p>item";
    EXPECT_LE(EstimateNestingDepth(list, 1000), 3);
    std::string table = "<table>";
    for (int i = 0; i < 500; ++i)
        table += "<tr><td>a<td>b";
    EXPECT_LE(EstimateNestingDepth(table, 1000), 3);
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<b>";
    EXPECT_GT(EstimateNestingDepth(deep, 1000), 1000);
}

TEST(UrlTest, ResolvesAgainstTheDocumentForWebSchemesOnly) {
    const std::string base = "http://example.org/a/b/page.html?q=1";
    EXPECT_EQ(*ResolveUrl(base, "img/x.png"), "http://example.org/a/b/img/x.png");
    EXPECT_EQ(*ResolveUrl(base, "../c.css"), "http://example.org/a/c.css");
    EXPECT_EQ(*ResolveUrl(base, "/root.gif"), "http://example.org/root.gif");
    EXPECT_EQ(*ResolveUrl(base, "//cdn.example.net/y.js"), "http://cdn.example.net/y.js");
    EXPECT_EQ(*ResolveUrl(base, " \n pic ture.png#frag "), "http://example.org/a/b/pic%20ture.png");
    EXPECT_EQ(*ResolveUrl(base, "next.html#part", true), "http://example.org/a/b/next.html#part");
    EXPECT_EQ(*ResolveUrl(base, "https://secure.example.org/"), "https://secure.example.org/");
    for (const char* other : {"data:image/png;base64,AAAA", "javascript:alert(1)",
                              "mailto:a@example.org", "file:///etc/passwd", "ftp://example.org/x"})
        EXPECT_FALSE(ResolveUrl(base, other)) << other;
    EXPECT_FALSE(ResolveUrl({}, "relative/only"));
    // A script's route after the hash or a query is no folder.
    for (const char* routed :
         {"http://example.org/a/p.html#/route/x", "http://example.org/a/p?q=b/c"})
        EXPECT_EQ(*ResolveUrl(routed, "img/x.png"), "http://example.org/a/img/x.png") << routed;
}

TEST(SpliceTest, AppliesEditsInOrderAndDropsOverlaps) {
    const std::string source = "0123456789";
    const auto name = [](int id) { return "r" + std::to_string(id); };
    EXPECT_EQ(ApplyEdits(source, {{6, 8, {{"X"}}}, {2, 2, {{"<"}, {{}, 7}}}, {9, 10, {}}}, name),
              "01<r72345X8");
    EXPECT_EQ(ApplyEdits(source, {{6, 8, {{"X"}}}, {1, 4, {{"wide"}}}, {3, 5, {}}}, name),
              "0wide45X89");
    // An insertion where a removal begins survives it.
    EXPECT_EQ(ApplyEdits(source, {{2, 5, {}}, {2, 2, {{"+"}}}}, name), "01+56789");
}

class NumberingSink : public ResourceSink {
public:
    int Register(const std::string&, ResourceKind, ImageBox, int) override { return next_++; }

private:
    int next_ = 0;
};

// What a browser would run of the document: its script elements and the
// code of its event handlers.
std::string ScriptsIn(const std::string& html) {
    GumboOutput* output = gumbo_parse(html.c_str());
    std::string found;
    std::vector<const GumboNode*> nodes{output->root};
    while (!nodes.empty()) {
        const GumboNode* node = nodes.back();
        nodes.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT)
            continue;
        if (node->v.element.tag == GUMBO_TAG_SCRIPT)
            found += "<script>";
        for (unsigned i = 0; i < node->v.element.attributes.length; ++i) {
            const auto* attribute =
                static_cast<const GumboAttribute*>(node->v.element.attributes.data[i]);
            if (std::string_view(attribute->name).starts_with("on"))
                found += attribute->value;
        }
        for (unsigned i = 0; i < node->v.element.children.length; ++i)
            nodes.push_back(static_cast<const GumboNode*>(node->v.element.children.data[i]));
    }
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    return found;
}

// The parser keeps the first of an attribute's names and merges the
// attributes of a later html or body tag into the element it has already;
// a "<" of text joins with what follows a removed element; an element closed
// by an outer end tag does not take that tag along; the quotes of a style
// attribute's new url("...") stay inside its value.
TEST(HtmlRewriterTest, NothingRunsWithScriptsOff) {
    for (const char* html :
         {"text first<body onload=\"go()\">", "<p>x</p><body ONCLICK=go()>",
          "x<html onmouseover='go()'><body>", "<img src=i.png onerror=a() onerror=\"go()\">",
          "<body onload=a()><p><body onload=go()>", "<div onclick></div><div onclick onclick=go()>",
          "<<script>a()</script>script>go()</script>", "<noscript><</noscript>script>go()</script>",
          "<head><<base href=/b/>script>go()</script>",
          "<math><script>a()</math><iframe><p><script>go()</script></iframe>",
          "<p style='background:url(i.png) onclick=go()'>", "<img src=i.png src onload=go()>",
          "<img src=i.png onerror=&#x67;o()>"}) {
        NumberingSink sink;
        HtmlContext context;
        context.url = "http://page.example/";
        const std::string page = ApplyEdits(html, RewriteHtml(html, context, sink),
                                            [](int id) { return std::to_string(id); });
        EXPECT_EQ(ScriptsIn(page), "") << page;
    }
}

// Each length of UTF-8 a UTF-16 unit or pair becomes, in both byte orders,
// and the same Chinese text in the stateful encodings.
TEST(TextDecodingTest, EveryCodePointComesOutAsItself) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u"A~", "A~"},
        {u"\u00E9\u07FF", "\xC3\xA9\xDF\xBF"},
        {u"\u0800\u4E2D\u6587\uFFFD", "\xE0\xA0\x80\xE4\xB8\xAD\xE6\x96\x87\xEF\xBF\xBD"},
        {u"\U0001F600\U0010FFFF", "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},
    };
    for (const auto& [text, utf8] : cases) {
        for (const bool big : {false, true}) {
            std::string bytes;
            for (const char16_t unit : text)
                bytes += big ? std::string{char(unit >> 8), char(unit)}
                             : std::string{char(unit), char(unit >> 8)};
            EXPECT_EQ(Utf16ToUtf8(bytes, big ? Utf16Order::BigEndian : Utf16Order::LittleEndian),
                      utf8);
        }
    }
    for (const auto& [bytes, charset] : {std::pair{"+Ti1lhw-", "utf-7"},
                                         {"\x1B$)A\x0EVPND\x0F", "iso-2022-cn"},
                                         {"\x1B$BCfJ8\x1B(B", "iso-2022-jp"}})
        EXPECT_EQ(StatefulToUtf8(bytes, charset), "\xE4\xB8\xAD\xE6\x96\x87") << charset;
}

// An AVIF names its brand first or anywhere among the compatible ones, but
// only inside its first box.
TEST(PassedImageTest, AvifToldByAnyOfItsBrands) {
    const auto ftyp = [](const std::string& brands) {
        return std::string{0, 0, 0, char(8 + brands.size())} + "ftyp" + brands;
    };
    const std::string version(4, '\0');
    const std::pair<std::string, std::string_view> cases[] = {
        {ftyp("avif" + version + "mif1miaf"), "avif"},
        {ftyp("mif1" + version + "avismiaf"), "avif"},
        {ftyp("mif1" + version + "miafavif"), "avif"},
        {ftyp("mif1" + version + "miafheic"), ""},
        {ftyp("mif1avifmiaf"), ""},
        {ftyp("mif1" + version + "miaf") + "avif", ""},
        {ftyp("mif1" + version + "miafavif").substr(0, 23), ""},
        {"<?xml version=\"1.0\"?><!-- x --><svg xmlns=\"http://www.w3.org/2000/svg\"/>", "svg"},
        {"<svgx/>", ""},
    };
    for (const auto& [bytes, extension] : cases)
        EXPECT_EQ(PassedImageExtension(bytes), extension) << bytes;
}

// Pixels count, in the style before the attribute; percentages and what only
// the layout knows give no side.
TEST(ElementBoxTest, OnlyPixelLengthsGiveASide) {
    const std::pair<BoxMarkup, std::pair<int, int>> cases[] = {
        {{"100", "50", "", ""}, {100, 50}},
        {{"100%", "50%", "", ""}, {0, 0}},
        {{" 99.5px ", "7PX", "", ""}, {100, 7}},
        {{"1e3", "-5", "", ""}, {0, 0}},
        {{"100", "", "width: 50%", ""}, {0, 0}},
        {{"100%", "", "width:40px; height: 30px !important", ""}, {40, 30}},
        {{"", "", "", "(max-width: 600px) 50vw, 300px"}, {640, 0}},
        {{"100%", "", "", "300px"}, {0, 0}},
        {{"", "", "", "calc(100vw - 2em)"}, {0, 0}},
    };
    for (const auto& [markup, sides] : cases) {
        const ImageBox box = ReadElementBox(markup);
        EXPECT_EQ(std::pair(box.width, box.height), sides) << markup.width << " " << markup.style;
    }
}

// A stored SVG is kept only when it runs nothing and loads nothing but parts
// of itself and inline pixels.
TEST(SvgCheckTest, OnlyPlainlyInertPicturesAreKept) {
    const std::pair<std::string, bool> cases[] = {
        {"<svg><rect id=\"on\" width=\"1\"/><text>cotton=1</text></svg>", true},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><svg/>", true},
        {"<svg><use href=\"#a\"/><image href = 'data:image/png;base64,AA'/></svg>", true},
        {"<svg style=\"fill:url( '#g')\"><set attributeName=\"fill\" to=\"red\"/></svg>", true},
        {"<?xml version=\"1.0\" encoding=\"utf-16\"?><svg/>", false},
        {std::string("<svg>\0</svg>", 11), false},
        {"<svg><script>go()</script></svg>", false},
        {"<svg/onload=go()>", false},
        {"<svg><rect ONCLICK = \"go()\"/></svg>", false},
        {"<svg><a href=\"http://e.example/\">x</a></svg>", false},
        {"<svg><image href='data:text/html,x'/></svg>", false},
        {"<svg style=\"fill:url(http://e.example/g)\"/>", false},
        {"<svg><set attributeName=\"xlink:href\" to=\"#b\"/></svg>", false},
        {"<svg><set attributeName=\" onclick\" to=\"go()\"/></svg>", false},
    };
    for (const auto& [svg, inert] : cases)
        EXPECT_EQ(IsInertSvg(svg), inert) << svg;
}

} // namespace
} // namespace zel::service
