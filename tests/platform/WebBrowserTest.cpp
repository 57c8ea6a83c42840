#include "WebBrowser.h"
#include "ConnectedState.h"
#include "TempWorkDir.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

using namespace zel;
using namespace zel::test;

namespace {
// Waits (bounded) until the view has finished loading.
bool waitForLoad(QSignalSpy& finished) {
    QElapsedTimer clock;
    clock.start();
    while (finished.isEmpty() && clock.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 100);
    return !finished.isEmpty();
}

// A page whose image lives on a loopback server; tells whether the server was asked.
bool pageReachedServer(bool offLine) {
    TempWorkDir dir;
    QTcpServer server;
    EXPECT_TRUE(server.listen(QHostAddress::LocalHost));
    bool asked = false;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        asked = true;
        while (QTcpSocket* peer = server.nextPendingConnection()) {
            peer->write("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n");
            peer->disconnectFromHost();
        }
    });
    WriteFile("page.htm", "<html><body><img src=\"http://127.0.0.1:" +
                              std::to_string(server.serverPort()) + "/x.png\"></body></html>");
    SetConnectedState(offLine);
    WebBrowser view;
    QSignalSpy finished(&view, &QWebEngineView::loadFinished);
    view.Navigate(dir.file("page.htm"));
    EXPECT_TRUE(waitForLoad(finished));
    QElapsedTimer clock;
    clock.start();
    while (!asked && clock.elapsed() < 1500)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    SetConnectedState(false);
    return asked;
}
} // namespace

TEST(WebBrowser, LocalNavigationReportsThePlainPathAndCanBeCancelled) {
    TempWorkDir dir;
    WriteFile("page.htm", "<html><body>local</body></html>");
    WriteFile("other.htm", "<html><body>other</body></html>");
    WebBrowser view;
    std::vector<std::string> targets;
    view.OnBeforeNavigate2 = [&](const std::string& target, bool, bool& cancel) {
        targets.push_back(target);
        cancel = target.find("other") != std::string::npos;
    };
    QSignalSpy finished(&view, &QWebEngineView::loadFinished);
    view.Navigate(dir.file("page.htm"));
    ASSERT_TRUE(waitForLoad(finished));
    ASSERT_FALSE(targets.empty());
    EXPECT_EQ(targets.front(), dir.file("page.htm"));

    finished.clear();
    view.Navigate(dir.file("other.htm"));
    waitForLoad(finished);
    EXPECT_EQ(targets.back(), dir.file("other.htm"));
    EXPECT_EQ(view.url().toLocalFile().toStdString(), dir.file("page.htm"));
}

TEST(WebBrowser, RemoteTargetsKeepTheirPercentEncoding) {
    EXPECT_EQ(WebBrowser::TargetText(QUrl("http://host/a%20b?q=%2B")), "http://host/a%20b?q=%2B");
    EXPECT_EQ(WebBrowser::TargetText(QUrl::fromLocalFile("/tmp/x y/page.htm")),
              "/tmp/x y/page.htm");
}

TEST(WebBrowser, OffLineLoadsNothingFromTheNetwork) {
    EXPECT_FALSE(pageReachedServer(true));
    EXPECT_TRUE(pageReachedServer(false));
}
