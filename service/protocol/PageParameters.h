#pragma once
// Turns the parameters of a page request into what a page job needs: the
// address (unescaped and checked) and the user's image settings.

#include "PageTypes.h"
#include "RequestTarget.h"

#include <optional>
#include <string>

namespace zel::service {

// The longest page address taken, as the browser sent it (escaped); the
// HTTP front's request line limit leaves room for it and the rest of the
// line.
inline constexpr std::size_t kMaxAddressLength = 8192;

// The page address as the browser escaped it, checked: http or https with a
// host, printable ASCII only (the browser percent-encodes the rest). The
// browser puts "http://" in front of every address that does not begin with
// it, so "http://https://host/" arrives for an https page: it is taken as
// "https://host/". Empty when the address is refused.
std::optional<std::string> PageAddress(const std::string& escapedUrl);

// The image settings; a value that is missing keeps the browser's default,
// one that is not a number makes the request wrong (empty). Quality is kept
// within 0..100 and colours are the power of two 2..256 nearest below.
std::optional<ImageSettings> ImageSettingsFrom(const QueryParams& params);

} // namespace zel::service
