#include "HttpGet.h"

namespace {

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* body) {
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

} // namespace

std::string HttpGet(CURL* curl, const std::string& url, std::int64_t& received) {
    std::string body;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    if (curl_easy_perform(curl) != CURLE_OK)
        return {};
    curl_off_t bodyBytes = 0;
    long headerBytes = 0;
    curl_easy_getinfo(curl, CURLINFO_SIZE_DOWNLOAD_T, &bodyBytes);
    curl_easy_getinfo(curl, CURLINFO_HEADER_SIZE, &headerBytes);
    received += bodyBytes + headerBytes;
    return body;
}
