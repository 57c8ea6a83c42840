#include "PageRenderer.h"

#include "Base64.h"
#include "DevToolsPipe.h"
#include "PageScripts.h"
#include "RenderFailure.h"

#include <algorithm>
#include <unistd.h>

namespace zel::service {

using Json = nlohmann::json;
using Clock = DevToolsPipe::Clock;

void ShownBoxes::Add(const std::string& url, ShownBox box) {
    ShownBox& known = byUrl[url];
    known.width = std::max(known.width, box.width);
    known.height = std::max(known.height, box.height);
}

namespace {

// The window pages are laid out in, in CSS pixels.
constexpr int kWindowWidth = 1280;
constexpr int kWindowHeight = 800;

// Time for disposing of a context.
constexpr auto kCommandTime = std::chrono::seconds(3);

// Ids apart from those of the service and of other jobs of the same browser.
int FirstId() {
    return 1'000'000 * (1 + int(getpid() % 2000));
}

class RenderSession {
public:
    RenderSession(BrowserLink browser, const RenderOrder& order, const RenderFetch& fetch)
        : pipe_(browser, FirstId()), order_(order), fetch_(fetch),
          deadline_(Clock::now() + order.budget) {
        pipe_.OnEvent([this](const Json& event) { Handle(event); });
    }

    ~RenderSession() {
        if (context_.empty())
            return;
        try {
            pipe_.Call("Target.disposeBrowserContext", {{"browserContextId", context_}},
                       Clock::now() + kCommandTime);
        } catch (const std::exception&) {
            // The service finds the context left over and restarts the browser.
        }
    }

    RenderedPage Render() {
        Open();
        pipe_.Call("Page.navigate", {{"url", order_.url}}, deadline_, session_);
        while (!loaded_ && Clock::now() < deadline_)
            pipe_.Pump(std::min(deadline_, Clock::now() + std::chrono::milliseconds(100)));
        if (!loaded_)
            throw RenderFailure("the page did not load in time");
        Evaluate(kScrollScript, true);
        WaitForQuiet();
        // Components defined and drawn by what arrived; what they ask for in
        // turn is waited for again.
        Evaluate(kSettleScript, true);
        WaitForQuiet();
        const Json value = Evaluate(kSerializeScript, false);
        RenderedPage page;
        page.html = value.value("html", "");
        page.url = value.value("url", order_.url);
        for (const Json& box : value.value("boxes", Json::array()))
            page.boxes.Add(box.value("url", ""),
                           {box.value("width", 0.0), box.value("height", 0.0)});
        return page;
    }

private:
    void Open() {
        const auto setUp = deadline_;
        context_ = PreparedContext();
        if (context_.empty())
            context_ = pipe_.Call("Target.createBrowserContext", Json::object(), setUp)
                           .value("browserContextId", "");
        std::string target = BlankTarget();
        if (target.empty())
            target = pipe_
                         .Call("Target.createTarget",
                               {{"url", "about:blank"}, {"browserContextId", context_}}, setUp)
                         .value("targetId", "");
        session_ =
            pipe_.Call("Target.attachToTarget", {{"targetId", target}, {"flatten", true}}, setUp)
                .value("sessionId", "");
        pipe_.Call("Fetch.enable", {{"patterns", Json::array({{{"urlPattern", "*"}}})}}, setUp,
                   session_);
        // The page is laid out for a desktop window of its own size, not
        // for whatever window the browser made.
        pipe_.Call("Emulation.setDeviceMetricsOverride",
                   {{"width", kWindowWidth},
                    {"height", kWindowHeight},
                    {"deviceScaleFactor", 1},
                    {"mobile", false}},
                   setUp, session_);
        pipe_.Call("Page.enable", Json::object(), setUp, session_);
        pipe_.Call("Page.addScriptToEvaluateOnNewDocument", {{"source", kGuardScript}}, setUp,
                   session_);
    }

    // The fresh context the service opened for this job while the browser
    // waited: the only one there is. Any other state means none is taken.
    std::string PreparedContext() {
        const Json contexts = pipe_.Call("Target.getBrowserContexts", Json::object(), deadline_)
                                  .value("browserContextIds", Json::array());
        return contexts.size() == 1 && contexts[0].is_string() ? contexts[0].get<std::string>()
                                                               : std::string();
    }

    // Its blank page, when the browser has made it already.
    std::string BlankTarget() {
        const Json targets = pipe_.Call("Target.getTargets", Json::object(), deadline_)
                                 .value("targetInfos", Json::array());
        for (const Json& target : targets)
            if (target.value("browserContextId", "") == context_ &&
                target.value("type", "") == "page" && !target.value("attached", true))
                return target.value("targetId", "");
        return {};
    }

    Json Evaluate(const char* script, bool awaitPromise) {
        const Json result = pipe_.Call(
            "Runtime.evaluate",
            {{"expression", script}, {"returnByValue", true}, {"awaitPromise", awaitPromise}},
            deadline_, session_);
        if (result.contains("exceptionDetails"))
            throw RenderFailure("a script of the renderer failed");
        return result.value("result", Json::object()).value("value", Json::object());
    }

    // Every request is answered before the next is read, so the network is
    // quiet once no request has come for a while.
    void WaitForQuiet() {
        for (;;) {
            const auto quietEnd = lastRequest_ + order_.quiet;
            if (Clock::now() >= quietEnd || Clock::now() >= deadline_)
                return;
            pipe_.Pump(std::min(quietEnd, deadline_));
        }
    }

    void Handle(const Json& event) {
        if (event.value("sessionId", "") != session_)
            return;
        const std::string method = event.value("method", "");
        const Json params = event.value("params", Json::object());
        if (method == "Page.loadEventFired")
            loaded_ = true;
        else if (method == "Fetch.requestPaused")
            Answer(params);
        else if (method == "Inspector.targetCrashed")
            throw RenderFailure("the page's renderer crashed");
    }

    void Answer(const Json& paused) {
        lastRequest_ = Clock::now();
        const std::string id = paused.value("requestId", "");
        const Json request = paused.value("request", Json::object());
        const std::string method = request.value("method", "GET");
        const std::string url = request.value("url", "");
        // The service fetches on the page's behalf, and only reads.
        std::optional<RenderResponse> response;
        if (method == "GET" || method == "HEAD")
            response = fetch_(url);
        if (!response) {
            pipe_.Send("Fetch.failRequest", {{"requestId", id}, {"errorReason", "BlockedByClient"}},
                       session_);
            return;
        }
        if (!response->finalUrl.empty() && response->finalUrl != url) {
            // Redirected: the browser asks for the final address next, and
            // then takes it as the document's base.
            pipe_.Send("Fetch.fulfillRequest",
                       {{"requestId", id},
                        {"responseCode", 302},
                        {"responseHeaders",
                         Json::array({{{"name", "Location"}, {"value", response->finalUrl}}})}},
                       session_);
            return;
        }
        std::string type =
            response->contentType.empty() ? "application/octet-stream" : response->contentType;
        if (!response->charset.empty())
            type += "; charset=" + response->charset;
        const long status = response->status >= 200 && response->status < 600 &&
                                    (response->status < 300 || response->status >= 400)
                                ? response->status
                                : 200;
        pipe_.Send("Fetch.fulfillRequest",
                   {{"requestId", id},
                    {"responseCode", status},
                    {"responseHeaders",
                     Json::array({{{"name", "Content-Type"}, {"value", type}},
                                  {{"name", "Access-Control-Allow-Origin"}, {"value", "*"}}})},
                    {"body", EncodeBase64(response->body)}},
                   session_);
    }

    DevToolsPipe pipe_;
    const RenderOrder& order_;
    const RenderFetch& fetch_;
    Clock::time_point deadline_;
    Clock::time_point lastRequest_ = Clock::now();
    std::string context_;
    std::string session_;
    bool loaded_ = false;
};

} // namespace

std::optional<RenderedPage> RenderPage(BrowserLink browser, const RenderOrder& order,
                                       const RenderFetch& fetch) {
    if (!browser.Usable())
        return std::nullopt;
    try {
        RenderSession session(browser, order, fetch);
        return session.Render();
    } catch (const RenderFailure&) {
        return std::nullopt;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

} // namespace zel::service
