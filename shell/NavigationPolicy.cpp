#include "NavigationPolicy.h"

#include "util.h"

#include <QUrl>

namespace zel {

namespace {
bool SameAddress(const std::string& hovered, const std::string& target) {
    const QUrl a(QString::fromStdString(hovered), QUrl::TolerantMode);
    const QUrl b(QString::fromStdString(target), QUrl::TolerantMode);
    return a.isValid() && !a.isRelative() &&
           a.toString(QUrl::FullyEncoded) == b.toString(QUrl::FullyEncoded);
}
} // namespace

bool IsPageStoreTarget(const std::string& target) {
    if (!target.starts_with('/'))
        return false; // a remote address, whatever its path says
    for (const char* marker : {"/page.files/page", "/zelhistory/", "/page.htm"})
        if (target.find(marker) != std::string::npos)
            return true;
    return false;
}

bool IsClickedLink(const std::string& target, const std::string& statusText, bool followsLink) {
    if (target.empty())
        return false;
    if (statusText == DecodeLinkAddress(target))
        return true;
    return followsLink && !statusText.empty() && SameAddress(statusText, target);
}

} // namespace zel
