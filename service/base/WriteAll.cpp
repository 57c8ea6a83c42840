#include "WriteAll.h"

#include <cerrno>
#include <csignal>
#include <pthread.h>
#include <unistd.h>

namespace zel::service {

bool WriteAll(int fd, const std::string& text) {
    sigset_t pipeSignal, previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    std::size_t sent = 0;
    bool ok = true;
    while (ok && sent < text.size()) {
        const ssize_t put = write(fd, text.data() + sent, text.size() - sent);
        if (put > 0)
            sent += static_cast<std::size_t>(put);
        else if (!(put < 0 && errno == EINTR))
            ok = false;
    }
    if (!ok && errno == EPIPE) {
        const timespec now{0, 0};
        sigtimedwait(&pipeSignal, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return ok;
}

} // namespace zel::service
