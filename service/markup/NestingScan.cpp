#include "NestingScan.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <vector>

namespace zel::service {
namespace {

bool IsOneOf(const std::string& name, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == n; });
}

bool IsVoid(const std::string& name) {
    return IsOneOf(name, {"area", "base", "basefont", "bgsound", "br", "col", "embed", "frame",
                          "hr", "image", "img", "input", "keygen", "link", "meta", "param",
                          "source", "track", "wbr"});
}

bool IsRawText(const std::string& name) {
    return IsOneOf(name, {"script", "style", "textarea", "title", "xmp", "iframe", "noembed",
                          "noframes", "plaintext"});
}

// Start tags that close an open element of these names first, as the parser
// does for elements whose end tag may be left out.
std::vector<const char*> ClosedBy(const std::string& name) {
    if (name == "li")
        return {"li", "p"};
    if (name == "dt" || name == "dd")
        return {"dt", "dd", "p"};
    if (name == "td" || name == "th")
        return {"td", "th"};
    if (name == "tr")
        return {"td", "th", "tr"};
    if (name == "tbody" || name == "thead" || name == "tfoot")
        return {"td", "th", "tr", "tbody", "thead", "tfoot"};
    if (name == "option")
        return {"option"};
    if (name == "optgroup")
        return {"option", "optgroup"};
    if (IsOneOf(name, {"p",      "div",        "ul",      "ol",      "dl",     "table",
                       "h1",     "h2",         "h3",      "h4",      "h5",     "h6",
                       "pre",    "blockquote", "section", "article", "header", "footer",
                       "nav",    "aside",      "form",    "address", "figure", "main",
                       "center", "fieldset",   "details", "menu",    "hr"}))
        return {"p"};
    return {};
}

class Scan {
public:
    Scan(std::string_view html, int limit) : html_(html), limit_(limit) {}

    int Run() {
        while (pos_ < html_.size() && deepest_ <= limit_) {
            const auto open = html_.find('<', pos_);
            if (open == std::string_view::npos)
                break;
            pos_ = open + 1;
            if (html_.compare(pos_, 3, "!--") == 0) {
                SkipPast("-->");
            } else if (pos_ < html_.size() && (html_[pos_] == '!' || html_[pos_] == '?')) {
                SkipPast(">");
            } else if (pos_ < html_.size() && html_[pos_] == '/') {
                ++pos_;
                EndTag(ReadName());
            } else if (pos_ < html_.size() &&
                       std::isalpha(static_cast<unsigned char>(html_[pos_]))) {
                StartTag(ReadName());
            }
        }
        return deepest_;
    }

private:
    void SkipPast(std::string_view marker) {
        const auto end = html_.find(marker, pos_);
        pos_ = end == std::string_view::npos ? html_.size() : end + marker.size();
    }

    std::string ReadName() {
        std::string name;
        while (pos_ < html_.size() && !std::isspace(static_cast<unsigned char>(html_[pos_])) &&
               html_[pos_] != '>' && html_[pos_] != '/')
            name += char(std::tolower(static_cast<unsigned char>(html_[pos_++])));
        return name;
    }

    // Skips the attributes; true when the tag closes itself ("/>").
    bool SkipAttributes() {
        char quote = 0;
        char last = 0;
        while (pos_ < html_.size()) {
            const char c = html_[pos_++];
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                return last == '/';
            }
            last = c;
        }
        return false;
    }

    void StartTag(const std::string& name) {
        const bool selfClosing = SkipAttributes();
        if (IsRawText(name)) {
            SkipRawText(name);
            return;
        }
        if (IsVoid(name) || selfClosing)
            return;
        const auto closed = ClosedBy(name);
        while (!open_.empty() &&
               std::find(closed.begin(), closed.end(), open_.back()) != closed.end())
            open_.pop_back();
        open_.push_back(name);
        deepest_ = std::max(deepest_, int(open_.size()));
    }

    void SkipRawText(const std::string& name) {
        while (pos_ < html_.size()) {
            const auto close = html_.find("</", pos_);
            if (close == std::string_view::npos) {
                pos_ = html_.size();
                return;
            }
            pos_ = close + 2;
            if (ReadName() == name) {
                SkipAttributes();
                return;
            }
        }
    }

    void EndTag(const std::string& name) {
        SkipAttributes();
        const auto found = std::find(open_.rbegin(), open_.rend(), name);
        if (found != open_.rend())
            open_.erase(std::next(found).base(), open_.end());
    }

    std::string_view html_;
    int limit_;
    std::size_t pos_ = 0;
    int deepest_ = 0;
    std::vector<std::string> open_;
};

} // namespace

int EstimateNestingDepth(std::string_view html, int limit) {
    return Scan(html, limit).Run();
}

} // namespace zel::service
