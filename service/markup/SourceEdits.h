#pragma once
// Edits of an HTML document at the places gumbo found its tags and
// attributes in the source. What gumbo made up (an implied tag, an attribute
// merged from elsewhere) has no place there and is left alone.

#include "Splice.h"

#include <gumbo.h>

#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace zel::service {

class SourceEdits {
public:
    explicit SourceEdits(std::string_view html) : html_(html) {}

    std::string_view Html() const { return html_; }

    // --- positions in the source ---
    bool InSource(const GumboStringPiece& piece) const;
    std::size_t Offset(const char* at) const { return std::size_t(at - html_.data()); }
    std::size_t EndOf(const GumboStringPiece& piece) const;
    bool FromSource(const GumboElement& element) const;
    bool FromSource(const GumboAttribute* attribute) const;
    std::size_t TagNameEnd(const GumboElement& element) const;
    // Whether the attribute's name comes again later in its tag (where the
    // parser ignores it).
    bool RepeatedLater(const GumboAttribute* attribute) const;
    // The element's own end tag, in the source.
    bool HasOwnEndTag(const GumboElement& element) const;
    std::size_t EndOfContent(const GumboElement& element) const;
    // Whether an end tag inside the element closes nothing there: without
    // the element's own tags around it, it could close an element outside.
    bool HoldsStrayEndTag(const GumboElement& element) const;

    // --- edits ---
    void Add(Edit edit) { edits_.push_back(std::move(edit)); }
    void Replace(std::size_t begin, std::size_t end, std::vector<Piece> pieces);
    void RemoveAttribute(const GumboAttribute* attribute);
    void SetAttribute(const GumboAttribute* attribute, std::vector<Piece> value);
    void SetAttributeText(const GumboAttribute* attribute, const std::string& text);
    void RemoveTags(const GumboElement& element);
    void RemoveElement(const GumboElement& element);
    void ReplaceElement(const GumboElement& element, const std::string& text);
    // An attribute left as it is on purpose.
    void Keep(const GumboAttribute* attribute) { handled_.insert(attribute); }
    // Whether an edit above or Keep has dealt with the attribute.
    bool Handled(const GumboAttribute* attribute) const { return handled_.count(attribute) > 0; }

    std::vector<Edit> TakeEdits() { return std::move(edits_); }

private:
    static bool HasValue(const GumboAttribute* attribute);
    std::size_t ValueStart(const GumboAttribute* attribute) const;
    std::size_t AttributeEnd(const GumboAttribute* attribute) const;
    void RemoveMarkup(std::size_t begin, std::size_t end);

    std::string_view html_;
    std::vector<Edit> edits_;
    std::set<const GumboAttribute*> handled_;
};

} // namespace zel::service
