#include "SelectorMatch.h"

#include "AsciiText.h"
#include "CssScan.h"

#include <algorithm>

namespace zel::service {
namespace {

// Names beyond ASCII are compared only as bytes, and a style sheet and its
// document may come in different encodings: such a name may be anywhere.
bool IsPlainName(const std::string& name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x80;
    });
}

// Reads a selector list one simple selector at a time. A pseudo-class or
// pseudo-element only narrows what its compound matches, so it is passed
// over; one with arguments may hold whole selectors, and its '(' stops the
// reading with a yes, as everything unknown does.
class SelectorReader {
public:
    SelectorReader(std::string_view text, const DocumentNames& names)
        : text_(text), names_(names) {}

    bool MayMatch() {
        if (names_.MatchesAnything())
            return true;
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (IsAsciiSpace(c) || c == '>' || c == '+' || c == '~') {
                compoundStart_ = true;
                ++pos_;
                continue;
            }
            if (c == ',') {
                if (empty_ || matches_)
                    return true;
                empty_ = compoundStart_ = matches_ = true;
                ++pos_;
                continue;
            }
            empty_ = false;
            if (!ReadSimple(c))
                return true;
            compoundStart_ = false;
        }
        return empty_ || matches_;
    }

private:
    // False where the selector is beyond this reading.
    bool ReadSimple(char c) {
        if (c == '*') {
            ++pos_;
            return compoundStart_;
        }
        if (c == '.' || c == '#') {
            ++pos_;
            const std::string name = ReadCssName(text_, pos_);
            if (!IsPlainName(name))
                return false;
            if (!(c == '.' ? names_.HasClass(name) : names_.HasId(name)))
                matches_ = false;
            return true;
        }
        if (c == '[')
            return SkipAttribute();
        if (c == ':') {
            pos_ += text_.substr(pos_, 2) == "::" ? 2 : 1;
            return !ReadCssName(text_, pos_).empty(); // its arguments stop the next read
        }
        const std::string name = ReadCssName(text_, pos_);
        if (!IsPlainName(name) || !compoundStart_)
            return false; // '&', a namespace, a comment, what is no selector
        if (!names_.HasElement(name))
            matches_ = false;
        return true;
    }

    // Past the closing ']', strings within read whole.
    bool SkipAttribute() {
        char quote = 0;
        for (++pos_; pos_ < text_.size(); ++pos_) {
            const char c = text_[pos_];
            if (c == '\\')
                ++pos_;
            else if (quote != 0 && c == quote)
                quote = 0;
            else if (quote == 0 && (c == '"' || c == '\''))
                quote = c;
            else if (quote == 0 && c == ']')
                break;
        }
        if (pos_ >= text_.size())
            return false;
        ++pos_;
        return true;
    }

    std::string_view text_;
    const DocumentNames& names_;
    std::size_t pos_ = 0;
    bool compoundStart_ = true;
    bool empty_ = true;   // nothing read yet of the selector at hand
    bool matches_ = true; // each of its needs is met so far
};

} // namespace

bool MayMatch(std::string_view selectors, const DocumentNames& names) {
    return SelectorReader(selectors, names).MayMatch();
}

} // namespace zel::service
