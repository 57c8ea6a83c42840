#include "CacheUpkeep.h"

#include "DiskCache.h"
#include "OpenCache.h"

namespace zel::service {
namespace {

constexpr char kProbeKey[] = "zel1:probe";

} // namespace

CacheUpkeep::CacheUpkeep(CacheSettings settings, Tell tell)
    : settings_(std::move(settings)), tell_(std::move(tell)) {}

std::string CacheUpkeep::Description() const {
    if (settings_.Off())
        return "no cache";
    if (!settings_.server.empty())
        return "cache shared at " + settings_.server;
    return "cache in " + settings_.folder + " (" + std::to_string(settings_.bytes >> 20) + " MiB)";
}

void CacheUpkeep::Run() {
    if (settings_.Off())
        return;
    try {
        if (settings_.server.empty())
            DiskCache(settings_.folder, settings_.maxEntryBytes).Trim(settings_.bytes);
        const auto store = OpenCache(settings_);
        store->Put(kProbeKey, "1");
        if (store->Get(kProbeKey) != "1")
            throw CacheFailure("it keeps nothing");
    } catch (const std::exception& failure) {
        if (!down_)
            tell_("the " + Description() + " fails (" + failure.what() +
                  "): pages are made without it");
        down_ = true;
        return;
    }
    if (down_)
        tell_("the " + Description() + " works again");
    down_ = false;
}

} // namespace zel::service
