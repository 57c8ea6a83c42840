// Logins found in the account store are remembered by the node: polls and
// later pages of a known login do not ask the store again, and a login
// removed because its mail failed is forgotten.

#include "KnownLogins.h"
#include "Logins.h"
#include "Replies.h"
#include "ServiceTestSupport.h"

#include <gtest/gtest.h>
#include <set>

using namespace zel::service;
using namespace zel::service::test;

namespace {

class CountingAccounts : public AccountStore {
public:
    bool Exists(const std::string& login) override {
        ++lookups;
        return logins.contains(login);
    }
    bool Add(const Account& account) override {
        added = account.login;
        return logins.insert(account.login).second;
    }
    void Remove(const std::string& login) override { logins.erase(login); }
    bool CountRequest(const std::string&, int, long long, long long) override { return true; }
    bool IsReachable() override { return true; }

    std::set<std::string> logins;
    std::string added;
    int lookups = 0;
};

// Every wait ends at once with no job: a known login's poll says the page
// was lost, an unknown one's is refused.
class NoJobs : public JobQueue {
public:
    std::uint64_t Submit(const std::string&, const PageRequest&) override { return 1; }
    void WhenSettled(const std::string&, std::optional<std::uint64_t>, std::chrono::milliseconds,
                     std::function<void()> settled) override {
        settled();
    }
    std::optional<JobReport> Take(const std::string&, std::optional<std::uint64_t>) override {
        return std::nullopt;
    }
    bool CanTakeJobs() override { return true; }
};

// The mail arrives and its login is used, yet the mail server reports a failure.
class MailFailingAfterUse : public LoginMailer {
public:
    std::function<void(const std::string&)> use;
    void Send(const std::string&, const std::string& login) override {
        use(login);
        throw std::runtime_error("mail server gone after the mail");
    }
};

struct Node {
    TempDir folder;
    CountingAccounts accounts;
    NoJobs jobs;
    DiskArchiveStore archives{folder.Path()};
    MailFailingAfterUse mailer;
    ZelService service{accounts, jobs, archives, &mailer, ProtocolSettings()};

    Reply Poll(const std::string& login) {
        Reply reply;
        service.Poll({{"login", login}}, [&](const Reply& answer) { reply = answer; });
        return reply;
    }
};

} // namespace

TEST(KnownLogins, PollsOfAKnownLoginDoNotAskTheStore) {
    Node node;
    const std::string known = NewLogin();
    const std::string stranger = NewLogin();
    node.accounts.logins.insert(known);

    EXPECT_TRUE(node.service.AsksAccounts({{"login", known}}));
    for (int poll = 0; poll < 3; ++poll)
        EXPECT_EQ(node.Poll(known), BadReply(FailureKind::PageLost));
    EXPECT_EQ(node.accounts.lookups, 1);
    EXPECT_FALSE(node.service.AsksAccounts({{"login", known}}));

    for (int poll = 0; poll < 2; ++poll)
        EXPECT_EQ(node.Poll(stranger), BadReply(FailureKind::UnknownLogin));
    EXPECT_EQ(node.accounts.lookups, 3) << "an unknown login is asked for every time";
}

TEST(KnownLogins, ALoginRemovedForItsFailedMailIsForgotten) {
    Node node;
    node.mailer.use = [&](const std::string& login) { node.Poll(login); };
    EXPECT_EQ(node.service.Login({"c", "user@example.org"}, "127.0.0.1"),
              BadReply(FailureKind::MailFailed));
    EXPECT_EQ(node.Poll(node.accounts.added), BadReply(FailureKind::UnknownLogin));
}

TEST(KnownLogins, HoldAtMostTheirCapacity) {
    KnownLogins known(2);
    for (const char* login : {"a", "b", "c"})
        known.Remember(login);
    EXPECT_TRUE(known.Contains("c"));
    EXPECT_EQ(known.Contains("a") + known.Contains("b"), 1);
    known.Forget("c");
    EXPECT_FALSE(known.Contains("c"));
}
