#pragma once
// The service's protocol without HTTP: the page request, the poll, the
// archive and the login request, each turned into its reply. A page
// request or poll that waits for its job holds no thread: its reply goes to
// a callback once the job ends or the wait is over.

#include "AccountStore.h"
#include "ArchiveStore.h"
#include "JobQueue.h"
#include "KnownLogins.h"
#include "LoginMailer.h"
#include "Replies.h"
#include "RequestTarget.h"

#include <chrono>
#include <functional>
#include <string>

namespace zel::service {

struct ProtocolSettings {
    // How long a page request or a poll waits for its job before "NexT".
    std::chrono::milliseconds pollWait{2000};
    int loginsPerMail = 3; // within mailWindow
    std::chrono::seconds mailWindow{24 * 3600};
    int loginsPerClient = 10; // within clientWindow
    std::chrono::seconds clientWindow{3600};
};

class ZelService {
public:
    // `mailer` may be null: the login is then given in the reply itself.
    ZelService(AccountStore& accounts, JobQueue& jobs, ArchiveStore& archives, LoginMailer* mailer,
               ProtocolSettings settings);

    // Takes the reply; called once, at once or later from another thread.
    using Answer = std::function<void(const Reply& reply)>;

    void Page(const QueryParams& params, Answer answer);
    void Poll(const QueryParams& params, Answer answer);
    // Whether a page request or poll with these parameters asks the account
    // store, and so may wait on it: not when its login is known already.
    bool AsksAccounts(const QueryParams& params);
    Reply Login(const LoginQuery& query, const std::string& clientAddress);
    // Archive segment `segment` of the login; only segment 1 exists. No
    // data when there is none.
    StoredArchive Archive(const std::string& login, int segment);
    // Whether this node can take page jobs and reach its accounts; may wait
    // on the account store.
    bool Healthy();

private:
    // The refusal of a login that may not ask for pages; empty when it may.
    std::optional<Reply> LoginRefusal(const std::string& login);
    bool WithinLoginLimits(const LoginQuery& query, const std::string& clientAddress);
    void RemoveQuietly(const std::string& login);
    void ReportWhenSettled(const std::string& login, std::optional<std::uint64_t> job,
                           Answer answer);

    AccountStore& accounts_;
    JobQueue& jobs_;
    ArchiveStore& archives_;
    LoginMailer* mailer_;
    ProtocolSettings settings_;
    KnownLogins known_;
};

} // namespace zel::service
