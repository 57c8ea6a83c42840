#pragma once
// The page job's use of the renderer: a page that scripts build is rendered
// in the browser lent to the job, and every request of the browser is
// fetched by the job's own Fetcher (its address guard and budgets hold for
// scripts too). What the browser fetched is kept, so the job takes it from
// there instead of fetching it again.

#include "Fetcher.h"
#include "PageLimits.h"
#include "PageTypes.h"
#include "RenderedPage.h"

#include <map>
#include <optional>
#include <string>

namespace zel::service {

struct RenderedDocument {
    bool rendered = false;                      // else the browser failed: only `fetched` holds
    FetchResult page;                           // the document as the browser left it
    std::map<std::string, FetchResult> fetched; // what the browser fetched, by address
    ShownBoxes boxes;                           // for the image step
};

// Whether `html` is to be rendered under `mode`.
bool WantsRendering(RenderMode mode, const std::string& html);

// Renders the page already fetched as `page` when the request has a browser
// and the limits ask for it. Empty when it was not tried (no browser, no
// scripts); not `rendered` when the browser failed, hung or ran out of time.
// Either way the job goes on with `page` as fetched, and takes what the
// browser fetched from `fetched`.
std::optional<RenderedDocument> RenderFetchedPage(const FetchResult& page,
                                                  const PageRequest& request,
                                                  const PageLimits& limits, Fetcher& fetcher);

} // namespace zel::service
