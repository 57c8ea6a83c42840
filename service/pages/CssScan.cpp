#include "CssScan.h"

#include "AsciiText.h"

#include <cctype>

namespace zel::service {
namespace {

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool MatchesAt(std::string_view text, std::size_t at, std::string_view word) {
    if (at + word.size() > text.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[at + i])) != word[i])
            return false;
    return true;
}

class Scanner {
public:
    explicit Scanner(std::string_view css) : css_(css) {}

    std::vector<CssRef> Run() {
        while (pos_ < css_.size()) {
            const char c = css_[pos_];
            if (c == '/' && Next() == '*') {
                SkipComment();
            } else if (c == '"' || c == '\'') {
                ReadStringOrImageSetUrl();
            } else if (c == '(') {
                ++parens_;
                ++pos_;
            } else if (c == ')') {
                if (parens_ == imageSetParens_)
                    imageSetParens_ = -1;
                if (parens_ > 0)
                    --parens_;
                ++pos_;
            } else if (c == '{') {
                ++depth_;
                if (fontFaceWaiting_) {
                    fontFaceDepth_ = depth_;
                    fontFaceWaiting_ = false;
                }
                ++pos_;
            } else if (c == '}') {
                if (depth_ == fontFaceDepth_)
                    fontFaceDepth_ = -1;
                if (depth_ > 0)
                    --depth_;
                ++pos_;
            } else if (c == '@') {
                AtRule();
            } else if (IsUrlStart()) {
                ReadUrl(fontFaceDepth_ >= 0 ? CssRefKind::Font : CssRefKind::Image);
            } else if (IsNameChar(c)) {
                const std::size_t begin = pos_;
                while (pos_ < css_.size() && IsNameChar(css_[pos_]))
                    ++pos_;
                const std::string name = Lower(css_.substr(begin, pos_ - begin));
                if (pos_ < css_.size() && css_[pos_] == '(' &&
                    (name == "image-set" || name == "-webkit-image-set"))
                    imageSetParens_ = parens_ + 1;
            } else {
                ++pos_;
            }
        }
        return std::move(refs_);
    }

private:
    char Next() const { return pos_ + 1 < css_.size() ? css_[pos_ + 1] : '\0'; }

    void SkipSpaceAndComments() {
        while (pos_ < css_.size()) {
            if (IsAsciiSpace(css_[pos_]))
                ++pos_;
            else if (css_[pos_] == '/' && Next() == '*')
                SkipComment();
            else
                break;
        }
    }

    void SkipComment() {
        const auto end = css_.find("*/", pos_ + 2);
        pos_ = end == std::string_view::npos ? css_.size() : end + 2;
    }

    // A backslash escape: hexadecimal code points are dropped as they never
    // occur in sane addresses; any other character stands for itself.
    void ReadEscape(std::string& out) {
        ++pos_;
        if (pos_ >= css_.size())
            return;
        if (std::isxdigit(static_cast<unsigned char>(css_[pos_]))) {
            for (int n = 0; n < 6 && pos_ < css_.size() &&
                            std::isxdigit(static_cast<unsigned char>(css_[pos_]));
                 ++n)
                ++pos_;
            if (pos_ < css_.size() && IsAsciiSpace(css_[pos_]))
                ++pos_;
            return;
        }
        if (css_[pos_] != '\n')
            out += css_[pos_];
        ++pos_;
    }

    // Within image-set() a plain string is an image's address too.
    void ReadStringOrImageSetUrl() {
        const std::size_t begin = pos_;
        std::string url = ReadString();
        if (imageSetParens_ >= 0 && parens_ == imageSetParens_)
            refs_.push_back({begin, pos_, url, CssRefKind::Image});
    }

    std::string ReadString() {
        const char quote = css_[pos_++];
        std::string out;
        // A line break of any kind ends a string, as CSS reads \r and \f as one.
        while (pos_ < css_.size() && css_[pos_] != quote && css_[pos_] != '\n' &&
               css_[pos_] != '\r' && css_[pos_] != '\f') {
            if (css_[pos_] == '\\')
                ReadEscape(out);
            else
                out += css_[pos_++];
        }
        if (pos_ < css_.size() && css_[pos_] == quote)
            ++pos_;
        return out;
    }

    bool IsUrlStart() const {
        return MatchesAt(css_, pos_, "url(") && (pos_ == 0 || !IsNameChar(css_[pos_ - 1]));
    }

    void ReadUrl(CssRefKind kind) {
        const std::size_t begin = pos_;
        pos_ += 4;
        SkipSpaceAndComments();
        std::string url;
        if (pos_ < css_.size() && (css_[pos_] == '"' || css_[pos_] == '\'')) {
            url = ReadString();
            SkipSpaceAndComments();
        } else {
            while (pos_ < css_.size() && css_[pos_] != ')' && !IsAsciiSpace(css_[pos_])) {
                if (css_[pos_] == '\\')
                    ReadEscape(url);
                else
                    url += css_[pos_++];
            }
            SkipSpaceAndComments();
        }
        if (pos_ >= css_.size() || css_[pos_] != ')')
            return; // unterminated: the browser ignores it too
        ++pos_;
        refs_.push_back({begin, pos_, url, kind});
    }

    void AtRule() {
        ++pos_;
        if (MatchesAt(css_, pos_, "import") &&
            !IsNameChar(css_.size() > pos_ + 6 ? css_[pos_ + 6] : ' ')) {
            pos_ += 6;
            SkipSpaceAndComments();
            if (pos_ >= css_.size())
                return;
            if (css_[pos_] == '"' || css_[pos_] == '\'') {
                const std::size_t begin = pos_;
                std::string url = ReadString();
                refs_.push_back({begin, pos_, url, CssRefKind::Import});
            } else if (IsUrlStart()) {
                ReadUrl(CssRefKind::Import);
            }
        } else if (MatchesAt(css_, pos_, "font-face")) {
            pos_ += 9;
            fontFaceWaiting_ = true;
        }
    }

    std::string_view css_;
    std::size_t pos_ = 0;
    int depth_ = 0;
    int parens_ = 0;
    int imageSetParens_ = -1; // the parentheses' depth inside an image-set()
    int fontFaceDepth_ = -1;
    bool fontFaceWaiting_ = false;
    std::vector<CssRef> refs_;
};

} // namespace

std::vector<CssRef> FindCssRefs(std::string_view css) {
    return Scanner(css).Run();
}

} // namespace zel::service
