#include "StatefulText.h"

#include "AsciiText.h"
#include "PageError.h"

#include <cerrno>
#include <iconv.h>
#include <memory>

namespace zel::service {
namespace {

constexpr char kUndecodable[] = "text cannot be decoded";

struct IconvClose {
    void operator()(iconv_t* handle) const {
        iconv_close(*handle);
        delete handle;
    }
};

} // namespace

bool IsStatefulCharset(const std::string& name) {
    const std::string lower = Lower(name);
    for (const char* prefix : {"iso-2022", "iso2022", "csiso2022", "utf-7", "utf7", "x-utf-7",
                               "unicode-1-1-utf-7", "csunicode11utf7", "hz", "x-hz"})
        if (lower.rfind(prefix, 0) == 0)
            return true;
    return false;
}

std::string StatefulToUtf8(std::string_view bytes, const std::string& charset) {
    const iconv_t opened = iconv_open("UTF-8", charset.c_str());
    if (opened == reinterpret_cast<iconv_t>(-1))
        throw PageError(FailureKind::Undecodable, kUndecodable);
    const std::unique_ptr<iconv_t, IconvClose> handle(new iconv_t(opened));
    // Every encoding here takes at least two bytes for what UTF-8 writes in
    // three, and one for ASCII.
    std::string out(bytes.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* to = out.data();
    std::size_t outLeft = out.size();
    if (iconv(*handle, &in, &inLeft, &to, &outLeft) == std::size_t(-1) ||
        iconv(*handle, nullptr, nullptr, &to, &outLeft) == std::size_t(-1))
        throw PageError(FailureKind::Undecodable, kUndecodable);
    out.resize(out.size() - outLeft);
    return out;
}

} // namespace zel::service
