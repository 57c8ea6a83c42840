#pragma once
// One HTML document being rewritten (RewriteHtml): the walk over gumbo's tree
// and the rules for links, style and the charset (HtmlRewriter.cpp), SVG
// and MathML (HtmlForeign.cpp) and images (HtmlImages.cpp).

#include "CssRewriter.h"
#include "HtmlRewriter.h"
#include "SourceEdits.h"

#include <gumbo.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zel::service {

class DocumentRewriter : private SourceEdits {
public:
    DocumentRewriter(std::string_view html, const HtmlContext& context, ResourceSink& sink);
    std::vector<Edit> Run();

private:
    struct GumboFree {
        void operator()(GumboOutput* output) const {
            gumbo_destroy_output(&kGumboDefaultOptions, output);
        }
    };

    // A resource's local address, or nowhere when it is left out.
    std::vector<Piece> ResourcePieces(const std::string& reference, ResourceKind kind, ImageBox box,
                                      int depth);
    // A reference that is no web address is left to the guard, but for an
    // image's inline data.
    void PointToResource(const GumboAttribute* attribute, ResourceKind kind, ImageBox box = {},
                         int depth = 0);
    // An address left out. Where its name may come again it stays, emptied:
    // the parser takes the first of an attribute's names (in a tag, and over
    // the html or body tags it merges), so a later one would take effect once
    // this one were gone.
    void Drop(const GumboElement& element, const GumboAttribute* attribute);
    void KeepInlineImage(const GumboAttribute* attribute);
    // A link the user may click: it goes to the web through the service, to
    // mail, or nowhere.
    void MakeAbsolute(const GumboAttribute* attribute);
    // Elements and templates in document order; `visit` tells whether to go
    // on into the children.
    template <typename Visitor> void ForEachElement(Visitor visit) const;
    void FindBase();
    void Walk();
    // Whatever address no rule took care of would be loaded, run or followed
    // from the web by the shown page: it goes.
    void Guard(const GumboElement& element);
    void Visit(const GumboNode* node);
    void VisitAttributes(const GumboElement& element);
    void VisitLink(const GumboElement& element);
    ImageBox BoxOf(const GumboElement& element) const;
    static bool DeclaresCharset(const GumboElement& element);
    static bool IsRefresh(const GumboElement& element);
    // A refresh to another address goes to it through the service, like a
    // click; one a browser might read otherwise goes.
    void VisitRefresh(const GumboElement& element);
    // SVG and MathML: links, images, parts of other files, style and
    // animations under the same rules as HTML's.
    void VisitForeign(const GumboElement& element);
    // The file's part keeps its name: "sprite.svg#icon".
    void VisitUse(const GumboAttribute* attribute);
    // In SVG a style element's text is markup's: character references and
    // CDATA sections make up the style sheet. It is written again as plain
    // text, its addresses rewritten.
    void VisitForeignStyle(const GumboElement& element);
    static std::string EscapeText(std::string_view text);
    // A meta or img ends SVG or MathML content: where there is such content
    // a bare tag stays in its place, or what follows would join the SVG.
    void RemoveBreakout(const GumboElement& element);
    static bool HoldsForeign(const GumboNode* root);
    static bool InPicture(const GumboNode* node);
    // A lazy image followed by a noscript with the image in it: without
    // scripts that one shows.
    static bool HasNoscriptFallback(const GumboNode* node);
    // An image's address, and the width the browser shows it at when a "w"
    // descriptor chose it: its pixels then count against `sizes`, not as CSS
    // pixels, and the local copy, which has no srcset, needs that width
    // written (0: unknown, or the element gives the width itself).
    struct ImageChoice {
        std::string reference;
        int sizesWidth = 0;
    };
    // `element` holds the list and its `sizes`. A candidate of another
    // density than 1 shows at another size than the element's src, which is
    // then the list's implicit candidate of density 1 and goes instead.
    static ImageChoice FromSrcset(const char* list, const GumboElement& element, int boxWidth,
                                  bool srcCounts);
    // Where scripts would take the real image from: without them the image
    // shows only when its address is taken from here.
    ImageChoice LazyReference(const GumboElement& element, int boxWidth) const;
    // The sources among a picture's first children: real pictures offer a
    // few, and looking further for each of its images could take long on a
    // hostile page.
    static std::vector<const GumboElement*> PictureSources(const GumboNode* picture);
    // An image, or its picture, whose address scripts would swap in.
    bool IsLazy(const GumboNode* image, int boxWidth) const;
    ImageChoice ImageReference(const GumboElement& element, int boxWidth) const;
    // For an image of a picture whose own address is a placeholder: the
    // first source's.
    ImageChoice PictureReference(const GumboNode* picture, int boxWidth) const;
    // The width an image chosen by its `sizes` is shown at, as an attribute,
    // when the element gives none itself: the page keeps its layout.
    std::string ShownWidth(const GumboElement& element, const ImageChoice& chosen) const;
    void VisitImage(const GumboNode* node);
    void VisitImageSource(const GumboElement& element, const GumboAttribute* attribute,
                          bool useBox = true);
    // Video, sound and plug-ins are not carried: left as they are they would
    // load from the network, past the service.
    void LeaveOutMedia(const GumboElement& element);
    CssContext Css() const;
    void VisitStyleElement(const GumboElement& element);
    void VisitStyleAttribute(const GumboAttribute* attribute);
    // The declaration goes first in the head, where browsers look for it.
    void AddCharset();
    std::size_t AfterDoctype() const;

    const HtmlContext& context_;
    ResourceSink& sink_;
    std::string base_;
    std::unique_ptr<GumboOutput, GumboFree> output_;
    bool foreign_ = false; // the document holds SVG or MathML
};

} // namespace zel::service
