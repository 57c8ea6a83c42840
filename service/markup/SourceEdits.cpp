#include "SourceEdits.h"

#include "AsciiText.h"
#include "GumboNodes.h"

#include <algorithm>
#include <cstdint>

namespace zel::service {

// Compared as numbers, never by adding the length to the pointer: gumbo can
// give text it ended before it began a length of -1.
bool SourceEdits::InSource(const GumboStringPiece& piece) const {
    const auto begin = reinterpret_cast<std::uintptr_t>(html_.data());
    const auto at = reinterpret_cast<std::uintptr_t>(piece.data);
    return piece.data != nullptr && at >= begin && at - begin <= html_.size() &&
           piece.length <= html_.size() - (at - begin);
}

std::size_t SourceEdits::EndOf(const GumboStringPiece& piece) const {
    return Offset(piece.data) + piece.length;
}

bool SourceEdits::FromSource(const GumboElement& element) const {
    return element.original_tag.length > 0 && InSource(element.original_tag);
}

bool SourceEdits::FromSource(const GumboAttribute* attribute) const {
    return attribute != nullptr && attribute->original_name.length > 0 &&
           InSource(attribute->original_name) &&
           (attribute->original_value.length == 0 || InSource(attribute->original_value));
}

std::size_t SourceEdits::TagNameEnd(const GumboElement& element) const {
    const std::string_view tag(element.original_tag.data, element.original_tag.length);
    const auto end = tag.find_first_of(" \t\n\r\f/>", 1);
    return Offset(element.original_tag.data) + (end == std::string_view::npos ? tag.size() : end);
}

// The parser gives an attribute without a value its name as the value's text.
bool SourceEdits::HasValue(const GumboAttribute* attribute) {
    return attribute->original_value.length > 0 &&
           attribute->original_value.data != attribute->original_name.data;
}

// Where the value's text (its quotes included) begins: right after the "="
// and blanks that follow the name. Gumbo's own start lies past a character
// reference that opens an unquoted value.
std::size_t SourceEdits::ValueStart(const GumboAttribute* attribute) const {
    std::size_t at = EndOf(attribute->original_name);
    const auto blank = [&] {
        return at < html_.size() &&
               std::string_view(" \t\n\f\r").find(html_[at]) != std::string_view::npos;
    };
    while (blank())
        ++at;
    if (at < html_.size() && html_[at] == '=')
        ++at;
    while (blank())
        ++at;
    return at;
}

std::size_t SourceEdits::AttributeEnd(const GumboAttribute* attribute) const {
    if (HasValue(attribute))
        return EndOf(attribute->original_value);
    return EndOf(attribute->original_name);
}

// Reads the rest of the tag as the tokenizer does: names, each with an
// optional value, quoted or not, up to the ">" outside quotes.
bool SourceEdits::RepeatedLater(const GumboAttribute* attribute) const {
    if (!FromSource(attribute))
        return false;
    // As written: the parser gives some SVG attributes other names (xlink:href).
    const std::string name =
        Lower(std::string_view(attribute->original_name.data, attribute->original_name.length));
    const auto space = [&](std::size_t i) { return i < html_.size() && IsAsciiSpace(html_[i]); };
    std::size_t at = AttributeEnd(attribute);
    while (at < html_.size() && html_[at] != '>') {
        if (space(at) || html_[at] == '/') {
            ++at;
            continue;
        }
        const std::size_t begin = at++;
        while (at < html_.size() && !space(at) && html_[at] != '/' && html_[at] != '>' &&
               html_[at] != '=')
            ++at;
        // The parser skips a NUL there, where a browser reads U+FFFD: take
        // the name either way.
        std::string later = Lower(html_.substr(begin, at - begin));
        std::erase(later, '\0');
        if (later == name)
            return true;
        while (space(at))
            ++at;
        if (at >= html_.size() || html_[at] != '=')
            continue;
        ++at;
        while (space(at))
            ++at;
        if (at < html_.size() && (html_[at] == '"' || html_[at] == '\'')) {
            const auto close = html_.find(html_[at], at + 1);
            at = close == std::string_view::npos ? html_.size() : close + 1;
        } else {
            while (at < html_.size() && !space(at) && html_[at] != '>')
                ++at;
        }
    }
    return false;
}

void SourceEdits::Replace(std::size_t begin, std::size_t end, std::vector<Piece> pieces) {
    edits_.push_back({begin, end, std::move(pieces)});
}

void SourceEdits::RemoveAttribute(const GumboAttribute* attribute) {
    Keep(attribute);
    if (FromSource(attribute))
        Replace(Offset(attribute->original_name.data), AttributeEnd(attribute), {});
}

void SourceEdits::SetAttribute(const GumboAttribute* attribute, std::vector<Piece> value) {
    Keep(attribute);
    if (!FromSource(attribute))
        return;
    value.insert(value.begin(), Piece{"\""});
    value.push_back({"\""});
    if (HasValue(attribute)) {
        Replace(ValueStart(attribute), AttributeEnd(attribute), std::move(value));
    } else {
        value.insert(value.begin(), Piece{"="});
        const std::size_t end = AttributeEnd(attribute);
        Replace(end, end, std::move(value));
    }
}

void SourceEdits::SetAttributeText(const GumboAttribute* attribute, const std::string& text) {
    SetAttribute(attribute, {{EscapeAttribute(text)}});
}

// Takes out tags or elements. A "<" of text just before would join what
// follows into a tag ("<" "<b></b>" "script>"), so an empty comment parts them.
void SourceEdits::RemoveMarkup(std::size_t begin, std::size_t end) {
    if (begin > 0 && html_[begin - 1] == '<')
        Replace(begin, end, {{"<!---->"}});
    else
        Replace(begin, end, {});
}

// Whether the end tag the parser recorded is the element's own: one closed
// by an outer element's end tag ("</math>" ending a script) has that tag.
bool SourceEdits::HasOwnEndTag(const GumboElement& element) const {
    if (element.original_end_tag.length == 0 || !InSource(element.original_end_tag))
        return false;
    GumboStringPiece name = element.original_end_tag;
    gumbo_tag_from_original_text(&name);
    return Lower(std::string_view(name.data, name.length)) == Lower(TagName(element));
}

void SourceEdits::RemoveTags(const GumboElement& element) {
    if (!FromSource(element))
        return;
    RemoveMarkup(Offset(element.original_tag.data), EndOf(element.original_tag));
    if (HasOwnEndTag(element))
        RemoveMarkup(Offset(element.original_end_tag.data), EndOf(element.original_end_tag));
}

// Where the last of an element's own source ends: its end tag, or its last
// text, comment or child. An SVG script holds markup: what it held would
// take another place in the tree once its tags were gone.
std::size_t SourceEdits::EndOfContent(const GumboElement& element) const {
    std::size_t end = HasOwnEndTag(element) ? EndOf(element.original_end_tag) : 0;
    for (unsigned i = 0; i < element.children.length; ++i) {
        const GumboNode* child = Child(element, i);
        if (child->type == GUMBO_NODE_ELEMENT && FromSource(child->v.element))
            end = std::max(
                {end, EndOf(child->v.element.original_tag), EndOfContent(child->v.element)});
        else if (child->type != GUMBO_NODE_ELEMENT && child->type != GUMBO_NODE_TEMPLATE &&
                 InSource(child->v.text.original_text))
            end = std::max(end, EndOf(child->v.text.original_text));
    }
    return end;
}

namespace {

int OwnEndTagsWithin(const SourceEdits& edits, const GumboElement& element) {
    int count = 0;
    for (unsigned i = 0; i < element.children.length; ++i)
        if (const GumboNode* child = Child(element, i); child->type == GUMBO_NODE_ELEMENT)
            count += (edits.HasOwnEndTag(child->v.element) ? 1 : 0) +
                     OwnEndTagsWithin(edits, child->v.element);
    return count;
}

} // namespace

// Counts "</" in the element's source against its children's own end tags;
// a "</" in a comment or text counts too, which only keeps the tags.
bool SourceEdits::HoldsStrayEndTag(const GumboElement& element) const {
    if (!FromSource(element))
        return true;
    const std::size_t begin = EndOf(element.original_tag);
    const std::size_t end =
        HasOwnEndTag(element) ? Offset(element.original_end_tag.data) : EndOfContent(element);
    int found = 0;
    for (std::size_t at = html_.find("</", begin); at != std::string_view::npos && at < end;
         at = html_.find("</", at + 2))
        ++found;
    return found > OwnEndTagsWithin(*this, element);
}

void SourceEdits::RemoveElement(const GumboElement& element) {
    ReplaceElement(element, {});
}

void SourceEdits::ReplaceElement(const GumboElement& element, const std::string& text) {
    if (!FromSource(element))
        return;
    const std::size_t begin = Offset(element.original_tag.data);
    const std::size_t end = std::max(EndOf(element.original_tag), EndOfContent(element));
    if (text.empty())
        RemoveMarkup(begin, end);
    else
        Replace(begin, end, {{text}});
}

} // namespace zel::service
