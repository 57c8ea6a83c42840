#pragma once
// Logins and the e-mail addresses they are asked for with.

#include <string>

namespace zel::service {

// A new login: 16 lower-case letters and digits from the system's random
// source (within the 12 to 30 characters the browser takes).
std::string NewLogin();

// 12 to 30 lower-case letters and digits. Anything else cannot be a login
// and never reaches the account store or a file name.
bool IsWellFormedLogin(const std::string& login);

// The browser's own check (at least 7 characters, two or more before the
// first "@", a "." somewhere) and, since the address goes into a mail's
// header and the SMTP envelope, one "@", printable ASCII only, none of
// " ,;:<>()[]\\\"", and at most 254 characters.
bool IsPlausibleEmail(const std::string& address);

} // namespace zel::service
