#pragma once
// The command line of zelservice: every setting of the service with its
// default, and the help text made from the same table.

#include "ChildJobRunner.h"
#include "HttpFront.h"
#include "SmtpLoginMailer.h"
#include "ZelService.h"

#include <chrono>
#include <filesystem>
#include <string>

namespace zel::service {

struct ServiceOptions {
    HttpSettings http;
    ProtocolSettings protocol;
    ChildJobSettings job;
    SmtpSettings smtp;
    std::string smtpPasswordFile;
    std::filesystem::path dataFolder;
    // Empty: SQLite in the data folder.
    std::string accountsUrl;
    std::string accountsPasswordFile;
    int jobWorkers = 2;
    int maxWaitingJobs = 100;
    std::chrono::seconds archiveKeep{3600};
    // Days the access log keeps a line; 0: no access log.
    int logDays = 7;
    // The shared cache: off, or its folder (empty: "cache" in the data folder)
    // unless job.limits.cache.server names a server.
    bool cache = true;
    std::string cacheFolder;
    bool help = false;
};

// The defaults: 127.0.0.1:8960, the data folder "data" beside the program.
ServiceOptions DefaultOptions(const std::filesystem::path& programFolder);

// Reads "--name value" and "--name=value" options over the defaults;
// throws std::invalid_argument naming what is wrong.
void ParseOptions(int argc, const char* const* argv, ServiceOptions& options);

// The cache the jobs use with these options, its folder made absolute.
CacheSettings JobCache(const ServiceOptions& options);

// The help text: usage and every option with its default.
std::string UsageText(const ServiceOptions& defaults);

// The same as a man page (troff), headed with the program's version.
std::string ManPageText(const ServiceOptions& defaults, const std::string& version);

} // namespace zel::service
