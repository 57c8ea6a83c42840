#pragma once
// The pieces of the login request that need no window: the e-mail check, the
// request address and the reply's texts. GUI-free.

#include <string>

namespace zel {

// At least 7 characters, the first "@" at position 3 or later (1-based) and a
// "." anywhere; the text is taken as typed.
bool IsPlausibleEmail(const std::string& email);

// The login request endpoint, "?comp=", the computer description, "&mail=" and
// the e-mail, escaped as a whole (blanks and unsafe bytes become "%XX").
std::string LoginRequestAddress(const std::string& description, const std::string& email);

// The service's answer is the reply less its first three characters ("OK,");
// the memo takes it as one line, without its line feeds.
std::string LoginAnswer(const std::string& reply);
std::string LoginMemoLine(const std::string& answer);

// The login a service without mail gives in its answer ("Your login is
// <login> - type it in ..."): letters and digits, at most 30; empty when the
// answer carries none.
std::string LoginInAnswer(const std::string& answer);

} // namespace zel
