// The HTML rewriter on its own: what it writes must parse into the elements
// and attributes it read, less the ones it leaves out on purpose.

#include "HtmlRewriter.h"

#include <gtest/gtest.h>
#include <gumbo.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace zel::service {
namespace {

class RecordingSink : public ResourceSink {
public:
    int Register(const std::string& url, ResourceKind kind, ImageBox, int) override {
        if (kind == ResourceKind::Image)
            images.push_back(url);
        return next++;
    }
    std::vector<std::string> images;
    int next = 0;
};

struct Rewritten {
    std::string html;
    std::vector<std::string> images; // addresses registered as images
};

Rewritten Rewrite(const std::string& html, bool keepScripts = false) {
    HtmlContext context{"http://h.test/d/p.html", "utf-8", true, keepScripts, 0};
    RecordingSink sink;
    const auto edits = RewriteHtml(html, context, sink);
    return {ApplyEdits(html, edits, [](int id) { return "L" + std::to_string(id); }), sink.images};
}

struct ElementFacts {
    std::string tag;
    std::map<std::string, std::string> attributes;
};

std::vector<ElementFacts> Elements(const std::string& html) {
    GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, html.data(), html.size());
    std::vector<ElementFacts> elements;
    std::vector<const GumboNode*> stack{output->root};
    while (!stack.empty()) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT)
            continue;
        const GumboElement& element = node->v.element;
        ElementFacts facts{gumbo_normalized_tagname(element.tag), {}};
        for (unsigned i = 0; i < element.attributes.length; ++i) {
            const auto* attribute = static_cast<const GumboAttribute*>(element.attributes.data[i]);
            facts.attributes[attribute->name] = attribute->value;
        }
        elements.push_back(std::move(facts));
        for (unsigned i = element.children.length; i-- > 0;)
            stack.push_back(static_cast<const GumboNode*>(element.children.data[i]));
    }
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    return elements;
}

// Element names with their attribute names, less the declarations of the
// encoding and the scripts, which are replaced and left out on purpose.
std::vector<std::string> Shape(const std::string& html) {
    std::vector<std::string> shape;
    for (const ElementFacts& element : Elements(html)) {
        if (element.tag == "meta" || element.tag == "script")
            continue;
        std::string line = element.tag;
        for (const auto& [name, value] : element.attributes)
            line += " " + name;
        shape.push_back(line);
    }
    return shape;
}

std::set<std::string> LazyAttributeValues(const std::string& html) {
    std::set<std::string> values;
    for (const ElementFacts& element : Elements(html))
        for (const auto& [name, value] : element.attributes)
            if (name.rfind("data-", 0) == 0)
                values.insert(name + "=" + value);
    return values;
}

TEST(HtmlRewriterTest, OutputParsesIntoTheSameElementsAndAttributes) {
    const char* pages[] = {
        "<div style=\"background:url('img/p.png');width:300px\" id=a>x</div>",
        "<div style='background:url(\"img/p.png\")' id=a>x</div>",
        "<div style=background:url(img/p.png) id=a>x</div>",
        "<div style=\"background:url(&quot;a&amp;b.png&quot;)\" id=a>x</div>",
        "<div style=\"background:url('it&quot;s&gt;.png')\" id=a>x</div>",
        "<style>p{background:url('a&b.png')} q{background:url(\"x'y.png\")}</style><p id=a>x</p>",
        "<a href=\"q?a=1&amp;b=&quot;2\" title=t>x</a><form action='f?&quot;'></form>",
        "<img src=\"a&amp;b.png\" width=3 alt='&quot;'>",
        "<head><meta charset=\"windows-1252\"><title>t</title></head><p>x",
        "<meta http-equiv=Content-Type content=\"text/html; charset=iso-8859-1\"><title>t</title>",
        "<p>a<svg><script>alert(1)</script><rect/></svg><math><script>x()</script></math></p>",
    };
    for (const char* page : pages) {
        const Rewritten out = Rewrite(page);
        EXPECT_EQ(Shape(out.html), Shape(page)) << page << "\n" << out.html;
        const auto elements = Elements(out.html);
        const auto count = [&](const char* tag, const char* attribute) {
            return std::count_if(elements.begin(), elements.end(), [&](const ElementFacts& e) {
                return e.tag == tag && e.attributes.count(attribute) > 0;
            });
        };
        EXPECT_EQ(count("meta", "charset"), 1) << out.html;
        EXPECT_EQ(count("meta", "http-equiv"), 0) << out.html;
        EXPECT_EQ(std::count_if(elements.begin(), elements.end(),
                                [](const ElementFacts& e) { return e.tag == "script"; }),
                  0)
            << out.html;
    }
}

TEST(HtmlRewriterTest, LazyImagesTakeTheirRealAddressWhenScriptsAreLeftOut) {
    const char* images[] = {
        "<img data-src=\"x.jpg\" src=\"data:image/gif;base64,R0lGOD\" width=10 height=5>",
        "<img class=lazyload data-original=\"x.jpg\" width=10 height=5>",
        "<img data-srcset=\"x.jpg 100w, big.jpg 1000w\" src=\"blank.gif\" width=10 height=5>",
        "<img data-lazy-src=\"x.jpg\" src=\"spacer.gif\" srcset=\"spacer.gif 1x\" width=10 "
        "height=5>",
        "<picture><source data-srcset=\"x.jpg\"><img src=\"data:,\" width=10 height=5></picture>",
        "<IMAGE data-src=x.jpg width=10 height=5>",
    };
    for (const char* html : images) {
        const Rewritten out = Rewrite(html);
        // Beside a noscript fallback the lazy image goes and the fallback shows.
        const std::string withFallback =
            std::string(html) + " <noscript><img src=\"x.jpg\" width=10 height=5></noscript>";
        EXPECT_EQ(Rewrite(withFallback).images, std::vector<std::string>{"http://h.test/d/x.jpg"});
        const auto fallback = Elements(Rewrite(withFallback).html);
        EXPECT_EQ(std::count_if(fallback.begin(), fallback.end(),
                                [](const ElementFacts& e) { return e.tag == "img"; }),
                  1)
            << Rewrite(withFallback).html;
        EXPECT_EQ(out.images, std::vector<std::string>{"http://h.test/d/x.jpg"}) << html;
        for (const ElementFacts& element : Elements(out.html)) {
            if (element.tag != "img")
                continue;
            EXPECT_EQ(element.attributes.size(), element.attributes.count("class") + 3) << out.html;
            EXPECT_EQ(element.attributes.at("width"), "10");
            EXPECT_EQ(element.attributes.at("height"), "5");
            EXPECT_EQ(element.attributes.at("src").rfind("L", 0), 0u) << out.html;
        }
        // Kept scripts swap the images in themselves.
        const Rewritten kept = Rewrite(html, true);
        if (!std::string_view(html).starts_with("<picture>")) { // its sources are left out
            EXPECT_EQ(LazyAttributeValues(kept.html), LazyAttributeValues(html)) << kept.html;
        }
        EXPECT_EQ(std::count(kept.images.begin(), kept.images.end(), "http://h.test/d/x.jpg"), 0)
            << html;
    }
}

} // namespace
} // namespace zel::service
