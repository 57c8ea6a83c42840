#pragma once
// One GET over an open curl handle: the body, with the bytes received
// (body and headers) added to `received`; empty when the exchange failed.

#include <curl/curl.h>

#include <cstdint>
#include <string>

std::string HttpGet(CURL* curl, const std::string& url, std::int64_t& received);
