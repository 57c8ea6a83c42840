#include "WebBrowser.h"
#include "ConnectedState.h"
#include "EventWait.h"
#include "TempWorkDir.h"

#include <QImage>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEnginePage>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>

using namespace zel;
using namespace zel::test;

namespace {
// Tells the view to go to a local file and waits (bounded) until it has loaded.
bool navigateAndWait(WebBrowser& view, const std::string& path) {
    QSignalSpy finished(&view, &QWebEngineView::loadFinished);
    view.Navigate(path);
    return WaitUntil([&] { return !finished.isEmpty(); }, 30000);
}

// Runs a script in the shown page and waits (bounded) for its result. The
// result is shared with the callback, which may still come after a timeout.
QString evaluate(WebBrowser& view, const QString& script) {
    auto result = std::make_shared<std::optional<QString>>();
    view.page()->runJavaScript(script,
                               [result](const QVariant& value) { *result = value.toString(); });
    WaitUntil([&] { return result->has_value(); }, 10000);
    return result->value_or(QString());
}

// The text a local file shows once the view was told to go there.
std::string shownText(WebBrowser& view, const std::string& path) {
    EXPECT_TRUE(navigateAndWait(view, path));
    return evaluate(view, "document.body ? document.body.innerText : ''").toStdString();
}

void writePng(const std::string& path) {
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(QString::fromStdString(path), "PNG"));
}

// Images report their width or "error"; each read, by XHR, by fetch or from
// a frame, reports what it got or "error". The results gather in `results`.
const char* ProbePage = R"HTML(<html><body>
<img src="page.files/own.png" onload="done('ownImage', this.naturalWidth)" onerror="done('ownImage', 'error')">
<img src="beside.png" onload="done('besideImage', this.naturalWidth)" onerror="done('besideImage', 'error')">
<img src="OUTSIDE/outside.png" onload="done('outsideImage', this.naturalWidth)" onerror="done('outsideImage', 'error')">
<img src="zelhistory/1.files/h.png" onload="done('historyImage', this.naturalWidth)" onerror="done('historyImage', 'error')">
<iframe src="zelhistory/1.htm" onload="try { done('historyFrame', this.contentDocument.body.innerText); } catch (e) { done('historyFrame', 'error'); }"></iframe>
<script>
var results = {};
function done(key, value) { results[key] = String(value); }
function read(key, url) {
  var request = new XMLHttpRequest();
  request.onload = function () { done(key, request.responseText); };
  request.onerror = function () { done(key, 'error'); };
  try { request.open('GET', url); request.send(); } catch (e) { done(key, 'error'); }
  fetch(url).then(function (r) { return r.text(); })
            .then(function (t) { done(key + 'Fetch', t); }, function () { done(key + 'Fetch', 'error'); });
}
read('beside', 'secret.txt');
read('outside', 'OUTSIDE/secret.txt');
read('own', 'page.files/own.txt');
</script></body></html>)HTML";

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
    WebBrowser view(dir.path());
    EXPECT_TRUE(navigateAndWait(view, dir.file("page.htm")));
    WaitUntil([&] { return asked; }, 1500);
    SetConnectedState(false);
    return asked;
}
} // namespace

TEST(WebBrowser, LocalNavigationReportsThePlainPathAndCanBeCancelled) {
    TempWorkDir dir;
    WriteFile("page.htm", "<html><body>local</body></html>");
    WriteFile("other.htm", "<html><body>other</body></html>");
    WebBrowser view(dir.path());
    std::vector<std::string> targets;
    view.OnBeforeNavigate2 = [&](const std::string& target, bool, bool& cancel) {
        targets.push_back(target);
        cancel = target.find("other") != std::string::npos;
    };
    ASSERT_TRUE(navigateAndWait(view, dir.file("page.htm")));
    ASSERT_FALSE(targets.empty());
    EXPECT_EQ(targets.front(), dir.file("page.htm"));

    navigateAndWait(view, dir.file("other.htm"));
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

TEST(WebBrowser, LocalPagesLoadOnlyTheStoreAndScriptsReadNoFile) {
    TempWorkDir dir;
    QTemporaryDir outside;
    const std::string elsewhere = outside.path().toStdString();
    WriteFile("secret.txt", "SECRET beside the page");
    WriteFile(elsewhere + "/secret.txt", "SECRET of another folder");
    std::filesystem::create_directory("page.files");
    writePng("page.files/own.png");
    writePng("beside.png");
    writePng(elsewhere + "/outside.png");
    WriteFile("page.files/own.txt", "SECRET of the page itself");
    std::filesystem::create_directories("zelhistory/1.files");
    writePng("zelhistory/1.files/h.png");
    WriteFile("zelhistory/1.htm",
              "<html><body>SECRET of another page<img src=\"1.files/h.png\"></body></html>");
    WriteFile("help.htm", "<html><body>help page</body></html>");
    std::string page = ProbePage;
    const std::string outsideUrl = QUrl::fromLocalFile(outside.path()).toString().toStdString();
    for (std::size_t at; (at = page.find("OUTSIDE")) != std::string::npos;)
        page.replace(at, 7, outsideUrl);
    WriteFile("page.htm", page);

    WebBrowser view(dir.path());
    ASSERT_TRUE(navigateAndWait(view, dir.file("page.htm")));
    // The page's results reach the test only when asked: ask every 50 ms.
    QTimer poll;
    poll.start(50);
    EXPECT_TRUE(WaitUntil(
        [&] { return evaluate(view, "String(Object.keys(results).length)") == "11"; }, 15000));
    auto result = [&](const char* key) {
        return evaluate(view, QString("results.%1 || 'missing'").arg(key)).toStdString();
    };
    EXPECT_EQ(result("ownImage"), "3");
    EXPECT_EQ(result("besideImage"), "error");
    EXPECT_EQ(result("outsideImage"), "error");
    EXPECT_EQ(result("historyImage"), "error") << "another page's files";
    for (const char* read :
         {"beside", "besideFetch", "outside", "outsideFetch", "own", "ownFetch", "historyFrame"})
        EXPECT_EQ(result(read), "error") << read;

    // Told to go to a file that is not the store's, the view shows nothing of it.
    EXPECT_EQ(shownText(view, dir.file("secret.txt")).find("SECRET"), std::string::npos);
    EXPECT_EQ(shownText(view, elsewhere + "/secret.txt").find("SECRET"), std::string::npos);
    // A history copy shows with its own files, and so does the help page.
    EXPECT_EQ(shownText(view, dir.file("zelhistory/1.htm")), "SECRET of another page");
    EXPECT_EQ(evaluate(view, "String(document.images[0].naturalWidth)"), "3");
    EXPECT_EQ(shownText(view, dir.file("help.htm")), "help page");
}
