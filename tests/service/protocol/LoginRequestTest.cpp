// The login request over HTTP: a new login in the reply or by mail through
// a loopback SMTP server, the address checks and the request limits.

#include "LoginTag.h"
#include "Logins.h"
#include "Replies.h"
#include "ServiceTestSupport.h"
#include "SmtpCatcher.h"
#include "SmtpLoginMailer.h"

#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <set>

using namespace zel::service;
using namespace zel::service::test;
using namespace std::chrono_literals;

namespace {

// The request as the browser sends it: blanks and the like escaped, "&"
// and "=" not.
std::string LoginTarget(const std::string& mail) {
    return "/zel/login?comp=?=?=C:%5CWINDOWS=37Gb=Some%20Adapter=512Mb=2000&mail=" + mail;
}

ScriptedRunner::Script QuickJob() {
    return SteppedJob(0, 5, 0ms, "zip");
}

bool IsUsableLogin(int port, const std::string& login) {
    return Get(port, PageTarget(login, "http://example.org/")).body == "OK,3;5:";
}

} // namespace

TEST(LoginRequest, WithoutMailTheReplyCarriesAWorkingLogin) {
    ScriptedRunner runner(QuickJob());
    RunningService service(runner);

    const std::string reply = Get(service.Port(), LoginTarget("user@example.org")).body;
    std::smatch match;
    ASSERT_TRUE(
        std::regex_match(reply, match, std::regex("OK,Your login is ([a-z0-9]{12,30}) - .*\\.")))
        << reply;
    EXPECT_TRUE(IsUsableLogin(service.Port(), match[1]));
    // The browser shows the reply less "OK,": one sentence, no line break.
    EXPECT_EQ(reply.find('\n'), std::string::npos);
}

TEST(LoginRequest, WithMailTheLoginGoesToTheAddressOnly) {
    ScriptedRunner runner(QuickJob());
    SmtpCatcher catcher;
    SmtpSettings smtp;
    smtp.url = catcher.Url();
    smtp.from = "logins@zel.example";
    SmtpLoginMailer mailer(smtp);
    RunningService service(runner, &mailer);

    // "&" in the address is sent unescaped; it belongs to the address.
    const std::string reply = Get(service.Port(), LoginTarget("jo&ann@example.org")).body;
    EXPECT_EQ(reply, "OK,Your login was sent to jo&ann@example.org.");
    const auto mails = catcher.Mails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].recipient, "<jo&ann@example.org>");
    EXPECT_EQ(mails[0].from, "<logins@zel.example>");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(mails[0].data, match,
                                  std::regex("Your login is: ([a-z0-9]{12,30})\r\n")));
    EXPECT_TRUE(IsUsableLogin(service.Port(), match[1]));
    EXPECT_EQ(reply.find(match[1].str()), std::string::npos);
}

TEST(LoginRequest, RefusedMailLeavesNoLoginBehind) {
    ScriptedRunner runner(QuickJob());
    SmtpCatcher catcher(true);
    SmtpSettings smtp;
    smtp.url = catcher.Url();
    SmtpLoginMailer mailer(smtp);
    RunningService service(runner, &mailer);

    EXPECT_EQ(Get(service.Port(), LoginTarget("user@example.org")).AsReply(),
              BadReply(FailureKind::MailFailed));
    EXPECT_TRUE(catcher.Mails().empty());
}

TEST(LoginRequest, WrongAddressesAndTooManyRequestsAreRefused) {
    ScriptedRunner runner(QuickJob());
    ProtocolSettings protocol = RunningService::ShortWaits();
    protocol.loginsPerMail = 2;
    protocol.loginsPerClient = 5;
    RunningService service(runner, nullptr, protocol);
    const int port = service.Port();

    for (const char* wrong :
         {"a@b.cd", "x@example.org%0D%0ABcc:%20x@y.z", "ab", "no.at.sign.org", "a%20b@example.org"})
        EXPECT_EQ(Get(port, LoginTarget(wrong)).AsReply(), BadReply(FailureKind::WrongMail))
            << wrong;

    const auto ok = [&](const std::string& mail) {
        return Get(port, LoginTarget(mail)).body.rfind("OK,", 0) == 0;
    };
    EXPECT_TRUE(ok("one@example.org"));
    EXPECT_TRUE(ok("ONE@example.org"));
    EXPECT_FALSE(ok("one@example.org")); // a third for the same address
    EXPECT_TRUE(ok("two@example.org"));
    EXPECT_TRUE(ok("three@example.org"));
    EXPECT_FALSE(ok("four@example.org")); // a sixth from the same client, refused ones too
}

TEST(Logins, PlausibleEmailFollowsTheBrowserAndKeepsMailHeadersSafe) {
    EXPECT_TRUE(IsPlausibleEmail("ab@c.de"));
    EXPECT_TRUE(IsPlausibleEmail("a.bc@de"));  // the only "." before the "@"
    EXPECT_FALSE(IsPlausibleEmail("a@bc.de")); // "@" at position 2
    EXPECT_FALSE(IsPlausibleEmail("ab@c.d"));  // 6 characters
    EXPECT_FALSE(IsPlausibleEmail("abcdef.gh"));
    EXPECT_FALSE(IsPlausibleEmail("abc@defgh"));
    EXPECT_FALSE(IsPlausibleEmail("ab@c.de\r\nBcc: x@y.z"));
    EXPECT_FALSE(IsPlausibleEmail("ab@c.de>, <x@y.z"));
    EXPECT_FALSE(IsPlausibleEmail("ab@c@d.de"));
    EXPECT_TRUE(IsPlausibleEmail("ab@" + std::string(248, 'c') + ".de"));  // 254 characters
    EXPECT_FALSE(IsPlausibleEmail("ab@" + std::string(249, 'c') + ".de")); // 255
}

// The access log's key: made once, read back the same, refused when damaged.
TEST(Logins, TheLogKeyIsMadeOnceAndADamagedOneRefused) {
    TempDir dir;
    const auto file = dir.Path() / "log.key";
    const std::string key = LoadOrMakeLogKey(file);
    EXPECT_EQ(key.size(), 32u);
    EXPECT_EQ(LoadOrMakeLogKey(file), key);
    for (const std::string& damaged : {key.substr(1), key + "x"}) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << damaged;
        EXPECT_ANY_THROW(LoadOrMakeLogKey(file)) << damaged.size();
    }
}

TEST(Logins, NewLoginsAreWellFormedAndDiffer) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string login = NewLogin();
        EXPECT_TRUE(IsWellFormedLogin(login)) << login;
        seen.insert(login);
    }
    EXPECT_EQ(seen.size(), 200u);
    EXPECT_FALSE(IsWellFormedLogin("abcdefghijk"));
    EXPECT_FALSE(IsWellFormedLogin("abcdefghijkl/../x"));
    EXPECT_FALSE(IsWellFormedLogin("ABCDEFGHIJKL"));
    EXPECT_FALSE(IsWellFormedLogin(std::string(31, 'a')));
}
