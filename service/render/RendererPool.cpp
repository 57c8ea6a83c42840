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
    const bool clean = slot.browser->Running() && IsClean(*slot.browser);
    std::lock_guard lock(mutex_);
    if (!clean)
        Start(slot); // warm again by the next job
    slot.busy = false;
    lease = {};
}

void RendererPool::Start(Slot& slot) {
    slot.browser.reset();
    try {
        slot.browser = std::make_unique<BrowserProcess>(settings_.executable);
    } catch (const RenderFailure&) {
        // Tried again at the next Borrow.
    }
}

bool RendererPool::IsClean(BrowserProcess& browser) {
    try {
        DevToolsPipe pipe(browser.Link(), 100'000);
        const auto result = pipe.Call("Target.getBrowserContexts", nlohmann::json::object(),
                                      DevToolsPipe::Clock::now() + std::chrono::seconds(5));
        return result.value("browserContextIds", nlohmann::json::array()).empty();
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace zel::service
