#include "CssScan.h"

#include "AsciiText.h"

#include <algorithm>
#include <cctype>

namespace zel::service {
namespace {

// NUL counts as a name character: HTML and CSS both read it as U+FFFD.
bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '\0' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool IsLineBreak(char c) {
    return c == '\n' || c == '\r' || c == '\f';
}

// What makes an unquoted url() a bad one: quotes, an open parenthesis and the
// control characters CSS calls non-printable.
bool BreaksUnquotedUrl(char c) {
    const auto u = static_cast<unsigned char>(c);
    return c == '"' || c == '\'' || c == '(' || (u >= 0x01 && u <= 0x08) || u == 0x0B ||
           (u >= 0x0E && u <= 0x1F) || u == 0x7F;
}

unsigned HexValue(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) ? unsigned(c - '0')
                                                       : unsigned((c | 0x20) - 'a' + 10);
}

void AppendUtf8(std::string& out, unsigned long code) {
    if (code == 0 || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
        code = 0xFFFD;
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

// Reads the way a browser's tokenizer does wherever that decides what loads:
// escapes in names ("@\69mport", "u\72l("), where strings, comments and bad
// addresses end. Where it cannot tell, it finds more rather than less.
class Scanner {
public:
    explicit Scanner(std::string_view css) : css_(css) {}

    CssScanned Run() {
        if (css_.starts_with("\xEF\xBB\xBF"))
            pos_ = 3; // the decoder's byte order mark: no part of the first rule
        while (pos_ < css_.size()) {
            const char c = css_[pos_];
            if (preludeStart_ == std::string_view::npos && !IsAsciiSpace(c) &&
                !(c == '/' && Next() == '*')) {
                if (SkipCommentMarkup())
                    continue;
                preludeStart_ = pos_;
            }
            if (c == '/' && Next() == '*') {
                const std::size_t begin = pos_;
                SkipComment();
                if (preludeStart_ == std::string_view::npos && At(begin + 2) != '!')
                    scanned_.comments.push_back({begin, pos_});
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
            } else if (c == ';') {
                preludeStart_ = std::string_view::npos;
                ++pos_;
            } else if (c == '{') {
                OpenBlock();
                ++depth_;
                if (fontFaceWaiting_) {
                    fontFaceDepth_ = depth_;
                    fontFaceWaiting_ = false;
                }
                ++pos_;
            } else if (c == '}') {
                CloseBlock();
                preludeStart_ = std::string_view::npos;
                if (depth_ == fontFaceDepth_)
                    fontFaceDepth_ = -1;
                if (depth_ > 0)
                    --depth_;
                ++pos_;
            } else if (c == '@') {
                AtRule();
            } else if (StartsName()) {
                Name();
            } else {
                ++pos_;
            }
        }
        return std::move(scanned_);
    }

    std::string NameAt(std::size_t& at) {
        pos_ = at;
        std::string name = StartsName() ? ReadName() : std::string();
        at = pos_;
        return name;
    }

private:
    enum class Block {
        Conditional, // @media and the like: its rules apply as they would outside
        StyleRule,   // selectors, then declarations
        Other,
    };

    // "<!--" and "-->" between rules, which browsers pass over as the
    // remains of hiding a style element from old ones; true when one was.
    bool SkipCommentMarkup() {
        for (std::string_view markup : {"<!--", "-->"})
            if (css_.substr(pos_, markup.size()) == markup) {
                pos_ += markup.size();
                return true;
            }
        return false;
    }

    // At a '{': what the block it opens holds, from the text before it.
    void OpenBlock() {
        const bool topmost = std::all_of(blocks_.begin(), blocks_.end(),
                                         [](Block b) { return b == Block::Conditional; });
        std::string_view prelude;
        if (preludeStart_ != std::string_view::npos)
            prelude = css_.substr(preludeStart_, pos_ - preludeStart_);
        preludeStart_ = std::string_view::npos;
        Block block = Block::Other;
        if (topmost && prelude.starts_with('@')) {
            std::size_t end = 1;
            while (end < prelude.size() &&
                   (std::isalnum(static_cast<unsigned char>(prelude[end])) || prelude[end] == '-'))
                ++end;
            const std::string name = Lower(prelude.substr(1, end - 1));
            if (name == "media" || name == "supports" || name == "layer" || name == "container")
                block = Block::Conditional;
        } else if (topmost) {
            block = Block::StyleRule;
            selectors_ = std::string(prelude);
            ruleBegin_ = prelude.empty() ? pos_ : std::size_t(prelude.data() - css_.data());
        }
        blocks_.push_back(block);
    }

    // At a '}'.
    void CloseBlock() {
        if (blocks_.empty())
            return;
        if (blocks_.back() == Block::StyleRule)
            scanned_.rules.push_back({ruleBegin_, pos_ + 1, selectors_});
        blocks_.pop_back();
    }

    void AddRef(std::size_t begin, std::string url, CssRefKind kind) {
        CssRef ref{begin, pos_, std::move(url), kind, std::nullopt};
        if (!blocks_.empty() && blocks_.back() == Block::StyleRule)
            ref.selectors = selectors_;
        scanned_.refs.push_back(std::move(ref));
    }

    char At(std::size_t at) const { return at < css_.size() ? css_[at] : '\0'; }
    char Next() const { return At(pos_ + 1); }

    // A backslash not followed by a line break escapes what follows.
    bool IsEscapeAt(std::size_t at) const {
        return at < css_.size() && css_[at] == '\\' && !IsLineBreak(At(at + 1));
    }
    bool StartsName() const {
        return (pos_ < css_.size() && IsNameChar(css_[pos_])) || IsEscapeAt(pos_);
    }

    void SkipSpace() {
        while (pos_ < css_.size() && IsAsciiSpace(css_[pos_]))
            ++pos_;
    }

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

    // A backslash and what it stands for; an escaped line break (inside a
    // string) stands for nothing.
    void ReadEscape(std::string& out) {
        ++pos_;
        if (pos_ >= css_.size()) {
            AppendUtf8(out, 0xFFFD);
            return;
        }
        if (std::isxdigit(static_cast<unsigned char>(css_[pos_]))) {
            unsigned long code = 0;
            for (int n = 0; n < 6 && std::isxdigit(static_cast<unsigned char>(At(pos_))); ++n)
                code = code * 16 + HexValue(css_[pos_++]);
            SkipOneSpace();
            AppendUtf8(out, code);
            return;
        }
        if (IsLineBreak(css_[pos_])) {
            SkipOneSpace();
            return;
        }
        out += css_[pos_++];
    }

    // "\r\n" counts as one space, as CSS reads it as one line break.
    void SkipOneSpace() {
        if (css_.substr(pos_, 2) == "\r\n")
            pos_ += 2;
        else if (pos_ < css_.size() && IsAsciiSpace(css_[pos_]))
            ++pos_;
    }

    std::string ReadName() {
        std::string name;
        while (pos_ < css_.size()) {
            if (IsEscapeAt(pos_))
                ReadEscape(name);
            else if (IsNameChar(css_[pos_]))
                name += css_[pos_++];
            else
                break;
        }
        return Lower(name);
    }

    void Name() {
        const std::size_t begin = pos_;
        const std::string name = ReadName();
        if (At(pos_) != '(')
            return;
        if (name == "url") {
            ++pos_;
            ReadUrl(begin, fontFaceDepth_ >= 0 ? CssRefKind::Font : CssRefKind::Image);
        } else if (name == "image-set" || name == "-webkit-image-set") {
            imageSetParens_ = parens_ + 1;
        }
    }

    // Within image-set() a plain string is an image's address too.
    void ReadStringOrImageSetUrl() {
        const std::size_t begin = pos_;
        std::string url = ReadString();
        if (imageSetParens_ >= 0 && parens_ == imageSetParens_)
            AddRef(begin, std::move(url), CssRefKind::Image);
    }

    // Stops after its closing quote, or before a line break, which cuts it.
    std::string ReadString() {
        const char quote = css_[pos_++];
        std::string out;
        while (pos_ < css_.size() && css_[pos_] != quote && !IsLineBreak(css_[pos_])) {
            if (css_[pos_] == '\\')
                ReadEscape(out);
            else
                out += css_[pos_++];
        }
        if (pos_ < css_.size() && css_[pos_] == quote)
            ++pos_;
        return out;
    }

    // From just after "url(". "/*" is no comment inside an unquoted address,
    // and one that ends with the style sheet still loads.
    void ReadUrl(std::size_t begin, CssRefKind kind) {
        SkipSpace();
        std::string url;
        if (pos_ < css_.size() && (css_[pos_] == '"' || css_[pos_] == '\'')) {
            url = ReadString();
            if (pos_ < css_.size() && IsLineBreak(css_[pos_]))
                return SkipBadUrl(); // a string cut by a line break loads nothing
            SkipSpaceAndComments();
        } else {
            while (pos_ < css_.size() && css_[pos_] != ')' && !IsAsciiSpace(css_[pos_])) {
                if (BreaksUnquotedUrl(css_[pos_]) || (css_[pos_] == '\\' && !IsEscapeAt(pos_)))
                    return SkipBadUrl();
                if (css_[pos_] == '\\')
                    ReadEscape(url);
                else
                    url += css_[pos_++];
            }
            SkipSpace();
        }
        if (pos_ < css_.size() && css_[pos_] != ')')
            return SkipBadUrl();
        if (pos_ < css_.size())
            ++pos_;
        AddRef(begin, std::move(url), kind);
    }

    // A bad address loads nothing, and the browser reads on only after its
    // next ')', quotes and comments included: what lies between must not be
    // read as an @import of its own.
    void SkipBadUrl() {
        while (pos_ < css_.size() && css_[pos_] != ')')
            pos_ += css_[pos_] == '\\' ? 2 : 1;
        pos_ = std::min(pos_ + 1, css_.size());
    }

    // Whether a url( function starts here; if so, moves just past its '('.
    bool EnterUrlFunction() {
        const std::size_t begin = pos_;
        if (StartsName() && ReadName() == "url" && At(pos_) == '(') {
            ++pos_;
            return true;
        }
        pos_ = begin;
        return false;
    }

    void AtRule() {
        const std::size_t at = pos_++;
        const std::string name = StartsName() ? ReadName() : std::string();
        if (name == "import" || name == "namespace")
            scanned_.afterLastImport = at + 1;
        if (name == "import") {
            SkipSpaceAndComments();
            const std::size_t begin = pos_;
            if (pos_ >= css_.size())
                return;
            if (css_[pos_] == '"' || css_[pos_] == '\'') {
                std::string url = ReadString();
                AddRef(begin, std::move(url), CssRefKind::Import);
            } else if (EnterUrlFunction()) {
                ReadUrl(begin, CssRefKind::Import);
            }
        } else if (name == "namespace") {
            SkipNamespaceUrl();
        } else if (name == "font-face") {
            fontFaceWaiting_ = true;
        }
    }

    // A namespace's url() names it and loads nothing: no reference, and
    // rewriting it would change which elements the prefix selects.
    void SkipNamespaceUrl() {
        SkipSpaceAndComments();
        if (!EnterUrlFunction()) {
            if (!StartsName())
                return;
            ReadName(); // the prefix
            SkipSpaceAndComments();
            if (!EnterUrlFunction())
                return;
        }
        const std::size_t found = scanned_.refs.size();
        ReadUrl(pos_, CssRefKind::Image);
        scanned_.refs.resize(found);
    }

    std::string_view css_;
    std::size_t pos_ = 0;
    int depth_ = 0;
    int parens_ = 0;
    int imageSetParens_ = -1; // the parentheses' depth inside an image-set()
    int fontFaceDepth_ = -1;
    bool fontFaceWaiting_ = false;
    std::size_t preludeStart_ = std::string_view::npos; // of the rule being read
    std::vector<Block> blocks_;                         // open at `pos_`
    std::string selectors_;                             // of the open style rule
    std::size_t ruleBegin_ = 0;                         // of the open style rule
    CssScanned scanned_;
};

} // namespace

CssScanned ScanCss(std::string_view css) {
    return Scanner(css).Run();
}

std::vector<CssRef> FindCssRefs(std::string_view css) {
    return ScanCss(css).refs;
}

std::string ReadCssName(std::string_view css, std::size_t& at) {
    return Scanner(css).NameAt(at);
}

} // namespace zel::service
