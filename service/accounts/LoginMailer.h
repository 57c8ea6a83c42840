#pragma once
// Sends a new login to the e-mail address it was asked for.

#include <string>

namespace zel::service {

class LoginMailer {
public:
    virtual ~LoginMailer() = default;
    // Throws std::runtime_error when the mail could not be handed over.
    virtual void Send(const std::string& address, const std::string& login) = 0;
};

} // namespace zel::service
