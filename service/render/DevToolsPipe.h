#pragma once
// Talks the DevTools protocol over a browser's pipe: JSON messages, each
// ended by a NUL byte. Commands carry ids of their own; answers to ids this
// side never sent (left over from an earlier user of the same browser) and
// bytes that do not parse are skipped.

#include "BrowserLink.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <string>

namespace zel::service {

class DevToolsPipe {
public:
    using Clock = std::chrono::steady_clock;
    using EventHandler = std::function<void(const nlohmann::json& event)>;

    // `firstId`: ids are counted from here, apart from other users' ids.
    DevToolsPipe(BrowserLink link, int firstId);

    // Every event that arrives, also while a command waits for its answer.
    void OnEvent(EventHandler handler) { onEvent_ = std::move(handler); }

    // Sends a command and waits for its answer until `deadline`; returns its
    // "result". Throws RenderFailure on an error answer, a closed pipe or
    // the deadline.
    nlohmann::json Call(const std::string& method, nlohmann::json params,
                        Clock::time_point deadline, const std::string& sessionId = {});
    // Sends without waiting for the answer.
    void Send(const std::string& method, nlohmann::json params, const std::string& sessionId = {});
    // Hands events on until `deadline`.
    void Pump(Clock::time_point deadline);

private:
    int SendMessage(const std::string& method, nlohmann::json params, const std::string& sessionId);
    // The next whole message, or null at the deadline.
    nlohmann::json Next(Clock::time_point deadline);

    BrowserLink link_;
    int nextId_;
    std::string buffer_;
    EventHandler onEvent_;
};

} // namespace zel::service
