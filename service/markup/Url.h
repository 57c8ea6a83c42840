#pragma once
// Web addresses as pages write them: resolving a reference against the
// address of the document it appears in, for http and https only.

#include <optional>
#include <string>
#include <string_view>

namespace zel::service {

// The absolute http(s) address that `reference` names when it appears in a
// document at `base`; nothing for other schemes (data:, mailto:, javascript:
// ...) and for addresses that cannot be parsed. With `keepFragment` false the
// "#..." part is dropped, as it is never sent to a server.
std::optional<std::string> ResolveUrl(const std::string& base, std::string_view reference,
                                      bool keepFragment = false);

// Leading and trailing ASCII white space removed, and the tabs and line breaks
// inside dropped, as browsers do with addresses in attributes.
std::string CleanReference(std::string_view reference);

} // namespace zel::service
