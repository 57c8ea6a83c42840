#include "NavigationPolicy.h"

#include "PageSandbox.h"
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

bool IsPageStoreTarget(const std::string& target, const std::string& programFolder) {
    if (!target.starts_with('/'))
        return false; // a remote address, whatever its path says
    return StoreDocumentOf(QString::fromStdString(programFolder), QString::fromStdString(target)) !=
           StoreDocument::None;
}

bool IsClickedLink(const std::string& target, const std::string& statusText, bool followsLink) {
    if (target.empty())
        return false;
    if (statusText == DecodeLinkAddress(target))
        return true;
    return followsLink && !statusText.empty() && SameAddress(statusText, target);
}

} // namespace zel
