#pragma once
// The character encoding a saved document declares: the browser shows the
// local copy without the origin's header, so the document must name it.

#include <string>
#include <string_view>

namespace zel::service {

// A name that can stand in a meta declaration as it is: short, and of the
// characters encoding names are made of.
bool IsCharsetName(const std::string& name);

// The encoding to declare: the one the origin named, else the one the
// document names itself, else UTF-8 when the bytes are valid UTF-8 and
// windows-1252 (the web's default) when not. Empty when a byte order mark
// decides already.
std::string ChooseCharset(std::string_view html, const std::string& fromHeader);

} // namespace zel::service
