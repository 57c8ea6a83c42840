#pragma once
// Renders one page in a browser lent to the job: a browser context of its
// own (no cookie, storage or cache from any other job), every request of
// the page answered through `fetch` (nothing reaches the network by
// itself), load and then a quiet network awaited within the budget, the
// page scrolled through once, and its document serialized as it stands.
// The context is disposed of before returning.

#include "BrowserLink.h"
#include "RenderedPage.h"

#include <optional>

namespace zel::service {

// Empty when the browser failed, hung or gave up: the job then goes on
// without it. Never throws.
std::optional<RenderedPage> RenderPage(BrowserLink browser, const RenderOrder& order,
                                       const RenderFetch& fetch);

} // namespace zel::service
