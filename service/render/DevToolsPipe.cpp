#include "DevToolsPipe.h"

#include "RenderFailure.h"
#include "WriteAll.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace zel::service {
DevToolsPipe::DevToolsPipe(BrowserLink link, int firstId) : link_(link), nextId_(firstId) {}

int DevToolsPipe::SendMessage(const std::string& method, nlohmann::json params,
                              const std::string& sessionId) {
    const int id = nextId_++;
    nlohmann::json message{{"id", id}, {"method", method}, {"params", std::move(params)}};
    if (!sessionId.empty())
        message["sessionId"] = sessionId;
    std::string text = message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    text.push_back('\0');
    if (!WriteAll(link_.commands, text))
        throw RenderFailure("the renderer's pipe is closed");
    return id;
}

void DevToolsPipe::Send(const std::string& method, nlohmann::json params,
                        const std::string& sessionId) {
    SendMessage(method, std::move(params), sessionId);
}

nlohmann::json DevToolsPipe::Next(Clock::time_point deadline) {
    for (;;) {
        const std::size_t end = buffer_.find('\0');
        if (end != std::string::npos) {
            nlohmann::json message =
                nlohmann::json::parse(buffer_.begin(), buffer_.begin() + long(end), nullptr, false);
            buffer_.erase(0, end + 1);
            if (!message.is_discarded() && message.is_object())
                return message;
            continue;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return nullptr;
        pollfd watch{link_.events, POLLIN, 0};
        const int ready = poll(&watch, 1, int(std::min<long long>(left, 1000)));
        if (ready < 0 && errno != EINTR)
            throw RenderFailure("cannot wait for the renderer");
        if (ready <= 0)
            continue;
        char chunk[65536];
        const ssize_t got = read(link_.events, chunk, sizeof chunk);
        if (got > 0)
            buffer_.append(chunk, std::size_t(got));
        else if (got == 0 || errno != EINTR)
            throw RenderFailure("the renderer is gone");
    }
}

nlohmann::json DevToolsPipe::Call(const std::string& method, nlohmann::json params,
                                  Clock::time_point deadline, const std::string& sessionId) {
    const int id = SendMessage(method, std::move(params), sessionId);
    for (;;) {
        nlohmann::json message = Next(deadline);
        if (message.is_null())
            throw RenderFailure("the renderer did not answer " + method);
        const auto found = message.find("id");
        if (found == message.end()) {
            if (onEvent_)
                onEvent_(message);
            continue;
        }
        if (!found->is_number_integer() || found->get<long long>() != id)
            continue;
        if (message.contains("error"))
            throw RenderFailure(method + " failed");
        return message.value("result", nlohmann::json::object());
    }
}

void DevToolsPipe::Pump(Clock::time_point deadline) {
    for (;;) {
        nlohmann::json message = Next(deadline);
        if (message.is_null())
            return;
        if (!message.contains("id") && onEvent_)
            onEvent_(message);
    }
}

} // namespace zel::service
