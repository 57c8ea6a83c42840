#include "ServiceOptions.h"

#include "MaskedPassword.h"
#include "OpenCache.h"

#include <charconv>
#include <functional>
#include <stdexcept>
#include <vector>

namespace zel::service {

namespace {

struct Option {
    std::string name;
    std::string argument; // empty for a switch
    std::string help;
    std::function<void(ServiceOptions&, const std::string&)> set;
    std::function<std::string(ServiceOptions&)> show; // the current value
};

long long ParseNumber(const std::string& name, const std::string& text, long long low,
                      long long high) {
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        throw std::invalid_argument("--" + name + " takes a number from " + std::to_string(low) +
                                    " to " + std::to_string(high) + ", not '" + text + "'");
    return value;
}

// A number held in whatever `get` points to: a plain integer or a
// std::chrono duration (counted in its own unit).
template <typename Get>
Option Number(const std::string& name, const std::string& help, long long low, long long high,
              Get get) {
    auto set = [=](ServiceOptions& o, const std::string& v) {
        auto& target = get(o);
        using Target = std::remove_reference_t<decltype(target)>;
        target = Target(ParseNumber(name, v, low, high));
    };
    auto show = [=](ServiceOptions& o) {
        const auto& value = get(o);
        if constexpr (requires { value.count(); })
            return std::to_string(value.count());
        else
            return std::to_string(value);
    };
    return {name, "N", help, set, show};
}

template <typename Get>
Option Text(const std::string& name, const std::string& argument, const std::string& help,
            Get get) {
    return {name, argument, help, [=](ServiceOptions& o, const std::string& v) { get(o) = v; },
            [=](ServiceOptions& o) {
                const std::string value = get(o);
                return value.empty() ? std::string("none") : value;
            }};
}

template <typename Get> Option Switch(const std::string& name, const std::string& help, Get get) {
    return {name, "", help, [=](ServiceOptions& o, const std::string&) { get(o) = true; },
            [=](ServiceOptions& o) { return std::string(get(o) ? "on" : "off"); }};
}

// --render: which pages the browser renders.
Option RenderChoice() {
    static const std::vector<std::pair<std::string, RenderMode>> modes{
        {"auto", RenderMode::Auto}, {"always", RenderMode::Always}, {"never", RenderMode::Never}};
    auto set = [](ServiceOptions& o, const std::string& v) {
        for (const auto& [name, mode] : modes)
            if (name == v) {
                o.job.limits.render = mode;
                return;
            }
        throw std::invalid_argument("--render takes auto, always or never, not '" + v + "'");
    };
    auto show = [](ServiceOptions& o) {
        for (const auto& [name, mode] : modes)
            if (mode == o.job.limits.render)
                return name;
        return std::string();
    };
    return {"render", "auto|always|never",
            "render pages in a headless browser first: auto renders the pages that carry "
            "scripts",
            set, show};
}

// --cache: on or off.
Option CacheSwitch() {
    auto set = [](ServiceOptions& o, const std::string& v) {
        if (v != "on" && v != "off")
            throw std::invalid_argument("--cache takes on or off, not '" + v + "'");
        o.cache = v == "on";
    };
    return {"cache", "on|off",
            "keep what pages fetched and made (images, fonts, origin responses that every user "
            "would get) for the next pages, in --cache-dir or on --cache-server",
            set, [](ServiceOptions& o) { return std::string(o.cache ? "on" : "off"); }};
}

#define FIELD(path)                                                                                \
    [](ServiceOptions & o) -> auto& {                                                              \
        return o.path;                                                                             \
    }

const std::vector<Option>& Options() {
    constexpr long long kMany = 1LL << 40;
    static const std::vector<Option> options = {
        Text("listen", "ADDRESS", "address to listen on", FIELD(http.host)),
        Number("port", "TCP port (0: any free port)", 0, 65535, FIELD(http.port)),
        Text("data", "FOLDER", "data folder: accounts, archives, access log", FIELD(dataFolder)),
        {"accounts", "URL",
         "shared account database of several machines (postgresql://user@host/db, or "
         "postgresql:///?service=NAME for a libpq service file); without one the accounts are "
         "kept in the data folder. Give its password with --accounts-password-file or in "
         "libpq's password file (PGPASSFILE, ~/.pgpass), never here: the command line is "
         "readable by every local user",
         [](ServiceOptions& o, const std::string& v) { o.accountsUrl = v; },
         [](ServiceOptions& o) {
             return o.accountsUrl.empty() ? std::string("none") : MaskPassword(o.accountsUrl);
         }},
        Text("accounts-password-file", "FILE", "file holding the account database's password",
             FIELD(accountsPasswordFile)),
        Number("max-request-line-bytes",
               "longest request line; a longer one gets a Bad answer. Leave room for a page "
               "address of up to " +
                   std::to_string(kMaxAddressLength) +
                   " characters and about 1000 more for the rest of the line",
               1024, 1 << 20, FIELD(http.maxRequestLineBytes)),
        Number("max-header-bytes", "largest header after the request line", 256, 1 << 20,
               FIELD(http.maxHeaderBytes)),
        Number("head-seconds", "time for a whole request head to arrive", 1, 3600,
               FIELD(http.headSeconds)),
        Number("write-timeout-seconds", "time-out writing a reply", 1, 3600,
               FIELD(http.writeTimeoutSeconds)),
        Number("connections-per-client",
               "open connections from one client address (a trusted proxy's are not counted)", 1,
               1 << 20, FIELD(http.connectionsPerClient)),
        {"trusted-proxy", "ADDR[/BITS]",
         "a reverse proxy of yours (address or network, IPv4 or IPv6; repeat for more): only "
         "from these peers is the client's address taken from X-Real-IP",
         [](ServiceOptions& o, const std::string& v) { o.http.trustedProxies.Add(v); },
         [](ServiceOptions& o) { return o.http.trustedProxies.Text(); }},
        Number("login-threads", "threads that answer login requests (they may wait on mail)", 1, 64,
               FIELD(http.loginThreads)),
        Text("tls-cert", "FILE",
             "serve HTTPS with this certificate chain (PEM, the server's first); "
             "read again on SIGHUP",
             FIELD(http.tlsCertFile)),
        Text("tls-key", "FILE",
             "the certificate's private key (PEM), not readable by every user; read again "
             "on SIGHUP",
             FIELD(http.tlsKeyFile)),
        Number("log-days",
               "days the access log keeps the addresses opened (each line: time, a keyed hash "
               "of the login, address, sizes); 0: no access log",
               0, 3650, FIELD(logDays)),
        Number("poll-wait-ms", "how long a page request or poll waits for its job", 0, 60000,
               FIELD(protocol.pollWait)),
        Number("jobs", "page jobs that run at once", 1, 256, FIELD(jobWorkers)),
        Number("max-waiting-jobs", "jobs that may wait for a free slot before the service is busy",
               1, 100000, FIELD(maxWaitingJobs)),
        Number("job-seconds", "wall time of one job before it is killed", 1, 3600,
               FIELD(job.wallTime)),
        Number("job-cpu-seconds", "processor time of one job", 1, 3600,
               FIELD(job.process.cpuSeconds)),
        Number("job-memory-bytes", "address space of one job's process", 64LL << 20, kMany,
               FIELD(job.process.memoryBytes)),
        Number("job-file-bytes", "largest file one job may write", 1 << 20, kMany,
               FIELD(job.process.fileBytes)),
        Number("archive-keep-seconds", "how long archives are kept", 60, 365LL * 24 * 3600,
               FIELD(archiveKeep)),
        Switch("allow-private-origins",
               "fetch from private, loopback and other special addresses (tests, your own "
               "machine)",
               FIELD(job.limits.allowPrivateOrigins)),
        Switch("keep-scripts", "keep scripts in pages", FIELD(job.limits.keepScripts)),
        Number("max-page-bytes", "largest HTML document (decoded)", 1024, kMany,
               FIELD(job.limits.maxPageBytes)),
        Number("max-style-sheet-bytes", "largest style sheet (decoded)", 1024, kMany,
               FIELD(job.limits.maxStyleSheetBytes)),
        Number("max-resources", "resources fetched for one page", 0, 100000,
               FIELD(job.limits.maxResources)),
        Number("max-job-bytes", "all bytes fetched for one page", 1024, kMany,
               FIELD(job.limits.maxJobBytes)),
        Number("max-image-pixels", "largest image (width times height)", 1, kMany,
               FIELD(job.limits.maxImagePixels)),
        Number("max-decoded-ratio", "largest decoded to compressed size ratio", 1, 100000,
               FIELD(job.limits.maxDecodedRatio)),
        Number("max-font-bytes", "largest web font sent, 0 for any (icon fonts need theirs)", 0,
               kMany, FIELD(job.limits.maxFontBytes)),
        Number("fetch-timeout-seconds", "time-out of one transfer from an origin", 1, 3600,
               FIELD(job.limits.fetchTimeoutSeconds)),
        Number("connect-timeout-seconds", "time-out of one connection to an origin", 1, 3600,
               FIELD(job.limits.connectTimeoutSeconds)),
        Number("max-nesting-depth", "open elements in one document", 16, 100000,
               FIELD(job.limits.maxNestingDepth)),
        Number("max-frame-depth", "frames within frames", 0, 16, FIELD(job.limits.maxFrameDepth)),
        Number("max-import-depth", "style sheets importing style sheets", 0, 16,
               FIELD(job.limits.maxImportDepth)),
        Number("resource-seconds",
               "after this time a page is packed with the resources fetched so far", 1, 3600,
               FIELD(job.limits.resourceSeconds)),
        RenderChoice(),
        Number("render-seconds",
               "time for a page to load and its network to go quiet in the browser; then it is "
               "made from its markup as fetched",
               1, 600, FIELD(job.limits.renderSeconds)),
        Number("renderers", "browsers kept warm for rendering (each serves one job at a time)", 0,
               64, FIELD(job.renderers.count)),
        Number("renderer-memory-bytes",
               "resident memory of one browser and its processes before it is killed", 64LL << 20,
               kMany, FIELD(job.renderers.memoryBytes)),
        CacheSwitch(),
        {"cache-dir", "FOLDER", "folder of the cache on this machine",
         [](ServiceOptions& o, const std::string& v) { o.cacheFolder = v; },
         [](ServiceOptions& o) {
             return o.cacheFolder.empty() ? std::string("\"cache\" in the data folder")
                                          : o.cacheFolder;
         }},
        Number("cache-bytes",
               "bound of the cache folder; the least recently used entries go beyond it", 1 << 20,
               kMany, FIELD(job.limits.cache.bytes)),
        {"cache-server", "URL",
         "a Redis server several machines share as their cache (redis://host:port) instead of "
         "the folder; give it maxmemory and an LRU policy, and let only the service reach it",
         [](ServiceOptions& o, const std::string& v) {
             ParseCacheServer(v);
             o.job.limits.cache.server = v;
         },
         [](ServiceOptions& o) {
             return o.job.limits.cache.server.empty() ? std::string("none")
                                                      : o.job.limits.cache.server;
         }},
        Number("logins-per-mail", "login requests for one e-mail address a day", 1, 100000,
               FIELD(protocol.loginsPerMail)),
        Number("logins-per-client", "login requests from one client address an hour", 1, 100000,
               FIELD(protocol.loginsPerClient)),
        Text("smtp-url", "URL",
             "SMTP server that mails new logins (smtp://host:port or smtps://host:port); "
             "without one the login is given in the reply",
             FIELD(smtp.url)),
        Text("smtp-from", "ADDRESS", "sender of the login mails", FIELD(smtp.from)),
        Text("smtp-user", "NAME", "SMTP user name", FIELD(smtp.user)),
        Text("smtp-password-file", "FILE", "file holding the SMTP password",
             FIELD(smtpPasswordFile)),
        Switch("smtp-require-tls", "require STARTTLS on smtp://", FIELD(smtp.requireTls)),
        Switch("help", "show this text", FIELD(help)),
    };
    return options;
}

#undef FIELD

const Option& Find(const std::string& name) {
    for (const Option& option : Options())
        if (option.name == name)
            return option;
    throw std::invalid_argument("unknown option --" + name + " (see --help)");
}

} // namespace

CacheSettings JobCache(const ServiceOptions& options) {
    if (!options.cache)
        return {};
    CacheSettings cache = options.job.limits.cache;
    if (cache.server.empty())
        cache.folder = std::filesystem::absolute(options.cacheFolder.empty()
                                                     ? options.dataFolder / "cache"
                                                     : std::filesystem::path(options.cacheFolder))
                           .string();
    // An entry is one file write of the job, which may write no larger file.
    cache.maxEntryBytes =
        std::min({cache.maxEntryBytes, cache.bytes / 8, options.job.process.fileBytes / 2});
    return cache;
}

ServiceOptions DefaultOptions(const std::filesystem::path& programFolder) {
    ServiceOptions options;
    options.dataFolder = programFolder / "data";
    options.job.renderers.count = 1;
    return options;
}

void ParseOptions(int argc, const char* const* argv, ServiceOptions& options) {
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        if (word.rfind("--", 0) != 0)
            throw std::invalid_argument("unexpected argument '" + word + "' (see --help)");
        word.erase(0, 2);
        std::string value;
        const std::size_t equals = word.find('=');
        const bool inlineValue = equals != std::string::npos;
        if (inlineValue) {
            value = word.substr(equals + 1);
            word.erase(equals);
        }
        const Option& option = Find(word);
        if (option.argument.empty()) {
            if (inlineValue)
                throw std::invalid_argument("--" + word + " takes no value");
        } else if (!inlineValue) {
            if (i + 1 >= argc)
                throw std::invalid_argument("--" + word + " needs a value");
            value = argv[++i];
        }
        option.set(options, value);
    }
    if (options.http.tlsCertFile.empty() != options.http.tlsKeyFile.empty())
        throw std::invalid_argument("--tls-cert and --tls-key go together");
}

namespace {

// Calls show(head, help, default) for each option, head being "--name ARG".
template <typename Show> void ShowOptions(const ServiceOptions& defaults, Show show) {
    ServiceOptions shown = defaults;
    for (const Option& option : Options()) {
        std::string head = "--" + option.name;
        if (!option.argument.empty())
            head += " " + option.argument;
        show(head, option.help, option.show(shown));
    }
}

// Text for a man page line: backslashes and minus signs escaped.
std::string Troff(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\' || c == '-')
            out += '\\';
        out += c;
    }
    return out;
}

} // namespace

std::string UsageText(const ServiceOptions& defaults) {
    std::string text = "Usage: zelservice [OPTION]...\n"
                       "The compressing service of ZELbrowser: fetches pages, makes them small\n"
                       "and hands them to the browser as zip archives.\n\n"
                       "Options (default in brackets):\n";
    ShowOptions(defaults,
                [&](const std::string& head, const std::string& help, const std::string& value) {
                    text += "  " + head + "\n      " + help + " [" + value + "]\n";
                });
    return text;
}

std::string ManPageText(const ServiceOptions& defaults, const std::string& version) {
    std::string text = ".TH ZELSERVICE 8 \"\" \"zelservice " + Troff(version) +
                       "\" \"System Administration\"\n"
                       ".SH NAME\nzelservice \\- the compressing service of ZELbrowser\n"
                       ".SH SYNOPSIS\n.B zelservice\n[\\fIOPTION\\fR]...\n"
                       ".SH DESCRIPTION\n"
                       "Fetches web pages for ZELbrowser, makes them small and hands them to the\n"
                       "browser as zip archives. Options are given as \\fB\\-\\-name value\\fR or\n"
                       "\\fB\\-\\-name=value\\fR.\n"
                       ".SH OPTIONS\n";
    ShowOptions(defaults,
                [&](const std::string& head, const std::string& help, const std::string& value) {
                    text += ".TP\n.B " + Troff(head) + "\n" + Troff(help) +
                            " (default: " + Troff(value) + ")\n";
                });
    return text + ".SH FILES\n.TP\n.I /var/lib/zelservice\n"
                  "data folder of the packaged service: accounts, archives, access log\n"
                  ".SH SEE ALSO\n.BR zelbrowser (1)\n";
}

} // namespace zel::service
