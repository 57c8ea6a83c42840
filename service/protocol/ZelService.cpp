#include "ZelService.h"

#include "AccountStoreError.h"
#include "Logins.h"
#include "PageParameters.h"
#include "Replies.h"
#include "TextEdits.h"

#include <iostream>

namespace zel::service {

namespace {

// About 100 bytes each: a few megabytes at most.
constexpr std::size_t kKnownLogins = 100000;

std::string Value(const QueryParams& params, const std::string& key) {
    const auto found = params.find(key);
    return found == params.end() ? std::string() : found->second;
}

long long UnixSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

Reply ReplyTo(const std::optional<JobReport>& report) {
    if (!report)
        return BadReply(FailureKind::PageLost); // asked of a node that died, or long ago
    switch (report->state) {
    case JobReport::State::Done:
        return OkReply(report->archiveBytes, report->newBytes);
    case JobReport::State::Running:
        return NextReply(report->newBytes);
    default:
        return BadReply(report->failure);
    }
}

} // namespace

ZelService::ZelService(AccountStore& accounts, JobQueue& jobs, ArchiveStore& archives,
                       LoginMailer* mailer, ProtocolSettings settings)
    : accounts_(accounts), jobs_(jobs), archives_(archives), mailer_(mailer), settings_(settings),
      known_(kKnownLogins) {}

std::optional<Reply> ZelService::LoginRefusal(const std::string& login) {
    try {
        if (!IsWellFormedLogin(login))
            return BadReply(FailureKind::UnknownLogin);
        if (known_.Contains(login))
            return std::nullopt;
        if (!accounts_.Exists(login))
            return BadReply(FailureKind::UnknownLogin);
        known_.Remember(login);
        return std::nullopt;
    } catch (const AccountStoreError& failure) {
        std::cerr << "zelservice: " << failure.what() << '\n';
        return BadReply(FailureKind::AccountsUnavailable);
    }
}

void ZelService::Page(const QueryParams& params, Answer answer) {
    const std::string login = Value(params, "login");
    if (const auto refusal = LoginRefusal(login))
        return answer(*refusal);
    const auto image = ImageSettingsFrom(params);
    if (!image || !params.contains("url"))
        return answer(BadReply(FailureKind::WrongRequest));
    const auto url = PageAddress(Value(params, "url"));
    if (!url)
        return answer(BadReply(FailureKind::AddressRefused));
    ReportWhenSettled(login, jobs_.Submit(login, {*url, *image, {}}), std::move(answer));
}

void ZelService::Poll(const QueryParams& params, Answer answer) {
    const std::string login = Value(params, "login");
    if (const auto refusal = LoginRefusal(login))
        return answer(*refusal);
    ReportWhenSettled(login, std::nullopt, std::move(answer));
}

bool ZelService::AsksAccounts(const QueryParams& params) {
    const std::string login = Value(params, "login");
    return IsWellFormedLogin(login) && !known_.Contains(login);
}

void ZelService::ReportWhenSettled(const std::string& login, std::optional<std::uint64_t> job,
                                   Answer answer) {
    // Holds the queue, not the service: a wait may end while both are torn down.
    jobs_.WhenSettled(login, job, settings_.pollWait, [&jobs = jobs_, login, job, answer] {
        answer(ReplyTo(jobs.Take(login, job)));
    });
}

StoredArchive ZelService::Archive(const std::string& login, int segment) {
    if (segment != 1 || !IsWellFormedLogin(login))
        return {};
    return archives_.Open(login);
}

bool ZelService::Healthy() {
    return jobs_.CanTakeJobs() && accounts_.IsReachable();
}

// Counts the request against both limits, the client's first: a request
// refused for its address still counts for its client.
bool ZelService::WithinLoginLimits(const LoginQuery& query, const std::string& clientAddress) {
    const long long now = UnixSeconds();
    return accounts_.CountRequest("client " + clientAddress, settings_.loginsPerClient,
                                  settings_.clientWindow.count(), now) &&
           accounts_.CountRequest("mail " + LowerCase(query.mail), settings_.loginsPerMail,
                                  settings_.mailWindow.count(), now);
}

// Drops a login whose mail could not be sent; a failure here only leaves an
// account nobody knows the login of. The mail may have arrived all the same
// and the login been used: this node forgets it too.
void ZelService::RemoveQuietly(const std::string& login) {
    try {
        accounts_.Remove(login);
    } catch (const std::exception& failure) {
        std::cerr << "zelservice: " << failure.what() << '\n';
    }
    known_.Forget(login);
}

Reply ZelService::Login(const LoginQuery& query, const std::string& clientAddress) {
    if (!IsPlausibleEmail(query.mail))
        return BadReply(FailureKind::WrongMail);
    Account account{"", query.mail, query.computer.substr(0, 1024), clientAddress, UnixSeconds()};
    try {
        if (!WithinLoginLimits(query, clientAddress))
            return BadReply(FailureKind::TooManyLogins);
        do
            account.login = NewLogin();
        while (!accounts_.Add(account));
    } catch (const std::exception& failure) {
        std::cerr << "zelservice: " << failure.what() << '\n';
        return BadReply(FailureKind::StoreFailed);
    }
    if (!mailer_)
        return LoginGivenReply(account.login);
    try {
        mailer_->Send(query.mail, account.login);
    } catch (const std::exception& failure) {
        std::cerr << "zelservice: " << failure.what() << '\n';
        RemoveQuietly(account.login);
        return BadReply(FailureKind::MailFailed);
    }
    return LoginSentReply(query.mail);
}

} // namespace zel::service
