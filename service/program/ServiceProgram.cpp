#include "ServiceProgram.h"

#include "CacheUpkeep.h"
#include "DiskArchiveStore.h"
#include "LocalJobQueue.h"
#include "LoginTag.h"
#include "MaskedPassword.h"
#include "OpenFileLimit.h"
#include "PeriodicTask.h"
#include "PostgresAccountStore.h"
#include "ServiceOptions.h"
#include "SqliteAccountStore.h"

#include <csignal>
#include <curl/curl.h>
#include <fstream>
#include <iostream>
#include <pthread.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace zel::service {

namespace {

fs::path ProgramFolder() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::current_path() : self.parent_path();
}

// The first line of the file: a password kept off the command line, which
// every local user can read.
std::string ReadPasswordFile(const std::string& path, const std::string& what) {
    std::ifstream in(path);
    std::string password;
    if (!in || !std::getline(in, password))
        throw std::runtime_error("cannot read the " + what + " password file " + path);
    return password;
}

// Blocks the stop signals and SIGHUP in every thread made from here on; one
// thread waits for them and stops the front or has it re-read its
// certificate.
sigset_t BlockStopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return signals;
}

// The access log, unless none is kept: then an earlier one goes too.
std::unique_ptr<AccessLog> OpenAccessLog(const ServiceOptions& options) {
    const fs::path path = options.dataFolder / "access.log";
    if (options.logDays == 0) {
        fs::remove(path);
        return std::make_unique<AccessLog>("", "");
    }
    return std::make_unique<AccessLog>(path.string(),
                                       LoadOrMakeLogKey(options.dataFolder / "access-log.key"));
}

void ReloadCertificate(HttpFront& front, const HttpSettings& http) {
    if (http.tlsCertFile.empty())
        return;
    try {
        front.ReloadCertificate();
        std::cerr << "zelservice: SIGHUP: serving the certificate read again from "
                  << http.tlsCertFile << '\n';
    } catch (const std::exception& failure) {
        std::cerr << "zelservice: SIGHUP: keeping the certificate served: " << failure.what()
                  << '\n';
    }
}

long long DaysAgo(int days) {
    const auto then = std::chrono::system_clock::now() - std::chrono::hours(24) * days;
    return std::chrono::duration_cast<std::chrono::seconds>(then.time_since_epoch()).count();
}

std::unique_ptr<AccountStore> OpenAccounts(const ServiceOptions& options) {
    if (!options.accountsUrl.empty()) {
        if (MaskPassword(options.accountsUrl) != options.accountsUrl)
            std::cerr << "zelservice: the --accounts address holds a password, which every "
                         "local user can read; use --accounts-password-file instead\n";
        return std::make_unique<PostgresAccountStore>(
            options.accountsUrl, options.accountsPasswordFile.empty()
                                     ? ""
                                     : ReadPasswordFile(options.accountsPasswordFile, "accounts"));
    }
    return std::make_unique<SqliteAccountStore>((options.dataFolder / "accounts.sqlite").string());
}

int Serve(ServiceOptions options) {
    const sigset_t stopSignals = BlockStopSignals();
    // The service's memory holds every user's login: no core dump of it.
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    const std::uint64_t openFiles = RaiseOpenFileLimit();
    fs::create_directories(options.dataFolder);
    if (!options.smtpPasswordFile.empty())
        options.smtp.password = ReadPasswordFile(options.smtpPasswordFile, "SMTP");

    const std::unique_ptr<AccountStore> accounts = OpenAccounts(options);
    DiskArchiveStore archives(options.dataFolder);
    const std::unique_ptr<AccessLog> log = OpenAccessLog(options);
    options.job.limits.cache = JobCache(options);
    CacheUpkeep cacheUpkeep(options.job.limits.cache, [](const std::string& line) {
        std::cerr << "zelservice: " << line << '\n';
    });
    cacheUpkeep.Run();
    PeriodicTask cacheCare(std::chrono::minutes(1), [&] { cacheUpkeep.Run(); });
    ChildJobRunner runner(options.job);
    LocalJobQueue jobs(runner, archives, *log, options.jobWorkers,
                       static_cast<std::size_t>(options.maxWaitingJobs));
    std::unique_ptr<SmtpLoginMailer> mailer;
    if (!options.smtp.url.empty())
        mailer = std::make_unique<SmtpLoginMailer>(options.smtp);
    ZelService service(*accounts, jobs, archives, mailer.get(), options.protocol);
    PeriodicTask sweeper(
        std::chrono::duration_cast<std::chrono::milliseconds>(
            std::min<std::chrono::seconds>(options.archiveKeep / 4, std::chrono::minutes(5))),
        [&] {
            archives.RemoveOlderThan(options.archiveKeep);
            log->RemoveLinesBefore(DaysAgo(options.logDays));
        });

    HttpFront front(service, options.http);
    const int port = front.Bind();
    if (port < 0) {
        std::cerr << "zelservice: cannot listen on " << options.http.host << ":"
                  << options.http.port << '\n';
        return 1;
    }
    std::cerr << "zelservice: serving on " << options.http.host << ":" << port
              << (options.http.tlsCertFile.empty() ? "" : " over HTTPS") << ", data in "
              << options.dataFolder.string() << ", " << cacheUpkeep.Description() << '\n'
              << "zelservice: open file limit " << openFiles << ", room for "
              << front.ConnectionLimit() << " connections at once\n";
    std::atomic<bool> stopping{false};
    std::thread stopper([&] {
        int signal = 0;
        while (sigwait(&stopSignals, &signal) == 0 && signal == SIGHUP)
            ReloadCertificate(front, options.http);
        stopping = true;
        front.Stop();
    });
    const bool served = front.Serve();
    if (!stopping)
        kill(getpid(), SIGTERM); // wakes the waiting thread; the signal stays blocked
    stopper.join();
    return served ? 0 : 1;
}

} // namespace

int ServiceMain(int argc, const char* const* argv, const PageMakerFunction& makePage,
                const KeptPageFunction& keptPage) {
    // Once, before any thread: the job child fetches with libcurl, the
    // service mails with it.
    curl_global_init(CURL_GLOBAL_DEFAULT);
    if (argc >= 2 && std::string(argv[1]) == kJobCommand)
        return RunJobChild(makePage);
    ServiceOptions options = DefaultOptions(ProgramFolder());
    options.job.keptPage = keptPage;
    try {
        const ServiceOptions defaults = options;
        ParseOptions(argc, argv, options);
        if (options.help) {
            std::cout << UsageText(defaults);
            return 0;
        }
        return Serve(options);
    } catch (const std::exception& failure) {
        std::cerr << "zelservice: " << failure.what() << '\n';
        return 2;
    }
}

} // namespace zel::service
