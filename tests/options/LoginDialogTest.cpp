// The "Get Login" page of the options dialog against a scripted service.
#include "CompInfo.h"
#include "MessageBoxRecorder.h"
#include "RequestEscapes.h"
#include "ScriptedService.h"
#include "ServiceEndpoints.h"
#include "TForm2.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace zel;
using namespace zel::test;

namespace {

class LoginDialogTest : public ::testing::Test {
protected:
    void SetUp() override { SetServiceBaseForTesting(service.base()); }
    void TearDown() override { SetServiceBaseForTesting(""); }

    // Asks for a login with `email` and the service's `reply`; the memo's text.
    std::string Ask(const std::string& email, const Answer& reply) {
        service.script("/zel/login", {reply});
        dialog.Edit3->setText(QString::fromStdString(email));
        dialog.Button2->click();
        return dialog.Memo1->toPlainText().toStdString();
    }

    MessageBoxRecorder boxes;
    ScriptedService service;
    TForm2 dialog{SettingsRecord()};
};

} // namespace

TEST_F(LoginDialogTest, AWrongEmailSendsNothing) {
    dialog.Memo1->setPlainText("old answer");
    EXPECT_EQ(Ask("a@bc.de", {"OK,x"}), "");
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Wrong E-mail."});
    EXPECT_EQ(boxes.calls()[0].kind, MessageKind::Warning);
    EXPECT_TRUE(service.requests().empty());
}

TEST_F(LoginDialogTest, TheRequestCarriesTheComputerAndTheEmailEscapedAsAWhole) {
    Ask("my name&co@mail.example", {"OK,sent"});
    ASSERT_EQ(service.requestLines().size(), 1u);
    EXPECT_EQ(service.requestLines()[0],
              "GET /zel/login?comp=" + EscapeRequestUrl(DescribeComputer()) +
                  "&mail=my%20name&co@mail.example HTTP/1.0");

    // Through the proxy of the dialog, with the whole address in the request line.
    dialog.Edit2->setText("127.0.0.1");
    dialog.SpinEdit1->setValue(service.port());
    SetServiceBaseForTesting("http://zel-login.invalid");
    Ask("ab@c.de", {"OK,sent"});
    ASSERT_EQ(service.requestLines().size(), 2u);
    EXPECT_EQ(service.requestLines()[1].rfind("GET http://zel-login.invalid/zel/login?comp=", 0),
              0u);
}

TEST_F(LoginDialogTest, RepliesShowInTheMemoAndTheBox) {
    EXPECT_EQ(Ask("ab@c.de", {"OK,Your login is on its way."}), "Your login is on its way.");
    EXPECT_EQ(Ask("ab@c.de", {"OK,First line\nsecond line"}), "First linesecond line");
    EXPECT_EQ(Ask("ab@c.de", {""}), "");
    EXPECT_EQ(Ask("ab@c.de", {"Sorry"}), "");
    ASSERT_EQ(boxes.calls().size(), 4u);
    EXPECT_EQ(boxes.calls()[0].text, "Your login is on its way.");
    EXPECT_EQ(boxes.calls()[0].kind, MessageKind::Information);
    EXPECT_EQ(boxes.calls()[1].text, "First line\nsecond line");
    EXPECT_EQ(boxes.calls()[2].text, "Program server not respond. Try later.");
    EXPECT_EQ(boxes.calls()[2].kind, MessageKind::Warning);
    EXPECT_EQ(boxes.calls()[3].text, "Program server not respond. Try later.");

    service.close();
    EXPECT_EQ(Ask("ab@c.de", {"OK,never"}), "");
    EXPECT_EQ(boxes.texts().back(), "Server not respond. Try later.");
    EXPECT_EQ(boxes.calls().back().kind, MessageKind::Warning);
}

TEST_F(LoginDialogTest, CancelStopsARunningRequestAndOtherwiseChangesNothing) {
    dialog.Button3->click(); // nothing runs
    EXPECT_TRUE(boxes.calls().empty());

    bool secondPressIgnored = false;
    QObject::connect(&service, &ScriptedService::requestArrived, [&] {
        QTimer::singleShot(50, [&] {
            EXPECT_TRUE(dialog.LoginRequestRunning());
            EXPECT_FALSE(dialog.Button2->isEnabled());
            dialog.Button2Click();
            secondPressIgnored = service.requests().size() == 1;
            dialog.Button3->click();
        });
    });
    Ask("ab@c.de", Answer::Held());
    EXPECT_TRUE(secondPressIgnored);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Request aborted."});
    EXPECT_EQ(boxes.calls()[0].kind, MessageKind::Information);
    EXPECT_TRUE(dialog.Button2->isEnabled());

    // The next request works as usual.
    QObject::disconnect(&service, &ScriptedService::requestArrived, nullptr, nullptr);
    EXPECT_EQ(Ask("ab@c.de", {"OK,again"}), "again");
}

TEST_F(LoginDialogTest, ALoginGivenInTheAnswerIsOfferedForThePageLogin) {
    const Answer given{"OK,Your login is abc123 - type it in Options, page Login."};
    const struct {
        std::string before;
        Answer reply;
        MessageAnswer answer;
        std::string question; // none when empty
        std::string after;
    } rows[] = {
        {"", given, MessageAnswer::Yes, "Put the login abc123 into the page Login?", "abc123"},
        {"", given, MessageAnswer::No, "Put the login abc123 into the page Login?", ""},
        {"old", given, MessageAnswer::Yes, "Replace the login old on the page Login with abc123?",
         "abc123"},
        {"old", given, MessageAnswer::No, "Replace the login old on the page Login with abc123?",
         "old"},
        {"abc123", given, MessageAnswer::Yes, "", "abc123"},
        {"old", {"OK,Your login was sent to ab@c.de."}, MessageAnswer::Yes, "", "old"},
        {"old", {"OK,Your login is a b - type it in"}, MessageAnswer::Yes, "", "old"},
        {"old", {"OK,Your login is " + std::string(31, 'a')}, MessageAnswer::Yes, "", "old"},
    };
    for (const auto& row : rows) {
        dialog.Edit1->setText(QString::fromStdString(row.before));
        boxes.clear();
        boxes.answerNext(MessageAnswer::Ok);
        boxes.answerNext(row.answer);
        Ask("ab@c.de", row.reply);
        const std::vector<std::string> texts = boxes.texts();
        EXPECT_EQ(texts.size(), row.question.empty() ? 1u : 2u) << row.reply.body;
        if (texts.size() == 2) {
            EXPECT_EQ(texts[1], row.question);
            EXPECT_EQ(boxes.calls()[1].buttons, MessageButtons::YesNo);
        }
        EXPECT_EQ(dialog.login(), row.after) << row.before << " / " << row.reply.body;
    }
}
