#include "RendererPool.h"

#include "DevToolsPipe.h"
#include "RenderFailure.h"

namespace zel::service {

RendererPool::RendererPool(RendererSettings settings)
    : settings_(std::move(settings)), slots_(std::size_t(std::max(0, settings_.count))) {
    for (Slot& slot : slots_)
        Start(slot); // warm by the first job
}

RendererPool::Lease RendererPool::Borrow() {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        Slot& slot = slots_[i];
        if (slot.busy)
            continue;
        if (!slot.browser || !slot.browser->Running())
            Start(slot);
        const auto brief = DevToolsPipe::Clock::now() + std::chrono::milliseconds(100);
        if (!slot.browser || !slot.browser->Ready(brief))
            continue;
        slot.busy = true;
        return {int(i), slot.browser->Link(), slot.browser->Pid()};
    }
    return {};
}

bool RendererPool::KillWhenTooBig(const Lease& lease) {
    // The slot is the job's alone while lent: no lock needed to look at it.
    BrowserProcess& browser = *slots_[std::size_t(lease.slot)].browser;
    if (browser.ResidentBytes() <= settings_.memoryBytes)
        return false;
    browser.Kill();
    return true;
}

void RendererPool::Return(Lease& lease) {
    if (!lease)
        return;
    Slot& slot = slots_[std::size_t(lease.slot)];
    const bool clean = slot.browser->Running() && IsClean(slot);
    std::lock_guard lock(mutex_);
    if (!clean)
        Start(slot); // warm again by the next job
    else if (slot.prepared.empty())
        Prepare(slot);
    slot.busy = false;
    lease = {};
}

void RendererPool::Start(Slot& slot) {
    slot.browser.reset();
    slot.prepared.clear();
    try {
        slot.browser = std::make_unique<BrowserProcess>(settings_.executable);
    } catch (const RenderFailure&) {
        // Tried again at the next Borrow.
    }
}

bool RendererPool::IsClean(Slot& slot) {
    using Json = nlohmann::json;
    try {
        DevToolsPipe pipe(slot.browser->Link(), 100'000);
        const auto deadline = DevToolsPipe::Clock::now() + std::chrono::seconds(5);
        const Json contexts = pipe.Call("Target.getBrowserContexts", Json::object(), deadline)
                                  .value("browserContextIds", Json::array());
        if (contexts.empty()) {
            slot.prepared.clear(); // the job used it and closed it
            return true;
        }
        if (contexts.size() != 1 || contexts[0] != slot.prepared)
            return false;
        // Still there: clean only when no job attached to its page or led it
        // anywhere (the browser's own pages of its user interface aside).
        const Json targets = pipe.Call("Target.getTargets", Json::object(), deadline)
                                 .value("targetInfos", Json::array());
        for (const Json& target : targets)
            if (target.value("browserContextId", "") == slot.prepared &&
                target.value("type", "") == "page" &&
                (target.value("attached", true) || target.value("url", "") != "about:blank"))
                return false;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// The blank page is asked for without waiting for it: its process starts
// while the browser waits for a job. A job that comes first makes its own.
void RendererPool::Prepare(Slot& slot) {
    using Json = nlohmann::json;
    try {
        DevToolsPipe pipe(slot.browser->Link(), 200'000);
        slot.prepared = pipe.Call("Target.createBrowserContext", Json::object(),
                                  DevToolsPipe::Clock::now() + std::chrono::seconds(2))
                            .value("browserContextId", "");
        pipe.Send("Target.createTarget",
                  {{"url", "about:blank"}, {"browserContextId", slot.prepared}});
    } catch (const std::exception&) {
        // The job opens a context of its own.
    }
}

} // namespace zel::service
