#pragma once
// A server whose certificate the trusted authorities do not vouch for. The
// connection is refused: there is no way past it. Kind tells the reasons
// apart; a handler for ESockError also catches it.

#include "ESockError.h"

#include <string>

namespace zel {

class ECertificateError : public ESockError {
public:
    enum class Fault { UnknownIssuer, Expired, WrongHost, Unverified };

    ECertificateError(Fault Reason, const std::string& Host)
        : ESockError(TextOf(Reason, Host)), Kind(Reason) {}

    Fault Kind;

private:
    static std::string TextOf(Fault Reason, const std::string& Host) {
        const std::string refused = ": the secure connection was refused.";
        switch (Reason) {
        case Fault::UnknownIssuer:
            return "The certificate of " + Host +
                   " is not signed by an authority this system trusts (unknown issuer or "
                   "self-signed)" +
                   refused;
        case Fault::Expired:
            return "The certificate of " + Host + " has expired or is not valid yet" + refused;
        case Fault::WrongHost:
            return "The certificate presented by " + Host + " is made out to another name" +
                   refused;
        case Fault::Unverified:
            break;
        }
        return "The certificate of " + Host + " could not be verified" + refused;
    }
};

} // namespace zel
