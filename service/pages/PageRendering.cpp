#include "PageRendering.h"

#include "AsciiText.h"
#include "NestingScan.h"
#include "PageError.h"
#include "PageRenderer.h"

#include <algorithm>

namespace zel::service {
namespace {

// Fetches for the browser within the job's limits, each address once.
class RenderFetcher {
public:
    RenderFetcher(const FetchResult& page, const PageRequest& request, const PageLimits& limits,
                  Fetcher& fetcher)
        : limits_(limits), fetcher_(fetcher), pageUrl_(page.finalUrl) {
        Keep(request.url, page);
    }

    std::optional<RenderResponse> operator()(const std::string& url) {
        auto known = fetched_.find(url);
        if (known == fetched_.end()) {
            const auto result = Fetch(url);
            if (!result)
                return std::nullopt;
            known = Keep(url, *result);
        }
        const FetchResult& result = known->second;
        return RenderResponse{result.status, result.contentType, result.charset, result.body,
                              result.finalUrl};
    }

    std::map<std::string, FetchResult> Fetched() && { return std::move(fetched_); }

private:
    std::map<std::string, FetchResult>::iterator Keep(const std::string& url,
                                                      const FetchResult& result) {
        fetched_.emplace(result.finalUrl, result);
        return fetched_.insert_or_assign(url, result).first;
    }

    std::optional<FetchResult> Fetch(const std::string& url) {
        const std::int64_t budget = limits_.maxJobBytes - fetcher_.WireBytes();
        if (budget <= 0 || ++count_ > limits_.maxResources)
            return std::nullopt;
        try {
            return fetcher_.Fetch(url, std::min(budget, limits_.maxPageBytes),
                                  std::min(limits_.fetchTimeoutSeconds, limits_.renderSeconds),
                                  pageUrl_);
        } catch (const PageError& error) {
            if (error.Kind() == FailureKind::OutOfMemory)
                throw;
            return std::nullopt;
        }
    }

    const PageLimits& limits_;
    Fetcher& fetcher_;
    std::string pageUrl_;
    std::map<std::string, FetchResult> fetched_;
    int count_ = 0;
};

} // namespace

bool WantsRendering(RenderMode mode, const std::string& html) {
    return mode == RenderMode::Always ||
           (mode == RenderMode::Auto && Lower(html).find("<script") != std::string::npos);
}

std::optional<RenderedDocument> RenderFetchedPage(const FetchResult& page,
                                                  const PageRequest& request,
                                                  const PageLimits& limits, Fetcher& fetcher) {
    // Kept scripts would run a second time over what they built.
    if (!request.renderer.Usable() || limits.keepScripts ||
        !WantsRendering(limits.render, page.body))
        return std::nullopt;
    RenderFetcher fetch(page, request, limits, fetcher);
    RenderOrder order;
    order.url = request.url;
    order.budget = std::chrono::seconds(limits.renderSeconds);
    order.quiet = std::chrono::milliseconds(limits.renderQuietMilliseconds);
    auto rendered = RenderPage(request.renderer, order, std::ref(fetch));
    RenderedDocument document;
    document.fetched = std::move(fetch).Fetched();
    // Markup that scripts grew beyond the page's bounds: the page as fetched.
    if (!rendered || std::int64_t(rendered->html.size()) > limits.maxPageBytes ||
        EstimateNestingDepth(rendered->html, limits.maxNestingDepth) > limits.maxNestingDepth)
        return document;
    document.rendered = true;
    document.page.status = 200;
    document.page.contentType = "text/html";
    document.page.charset = "utf-8";
    document.page.body = std::move(rendered->html);
    document.page.finalUrl = rendered->url;
    document.boxes = std::move(rendered->boxes);
    return document;
}

} // namespace zel::service
