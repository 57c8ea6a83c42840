#include "WebBrowser.h"
#include "EventWait.h"
#include "LoopbackServer.h"
#include "TempWorkDir.h"

#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineScript>
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

// Runs a script of the test in the shown page and waits (bounded) for its
// result; the test's world runs where the page's own scripts may not. The
// result is shared with the callback, which may still come after a timeout.
QString evaluate(WebBrowser& view, const QString& script) {
    auto result = std::make_shared<std::optional<QString>>();
    view.page()->runJavaScript(script, QWebEngineScript::ApplicationWorld,
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

// Shows the width of each image and the text of each frame, or "error".
const char* ProbePage = R"HTML(<html><body>
<img src="page.files/own.png"><img src="beside.png"><img src="OUTSIDE/outside.png">
<img src="zelhistory/1.files/h.png">
<iframe src="page.files/page1.htm"></iframe><iframe src="page.files/5.htm"></iframe>
<iframe src="zelhistory/1.htm"></iframe></body></html>)HTML";
const char* ProbeResults = R"JS(Array.from(document.images, i => i.naturalWidth).concat(
  Array.from(frames, f => { try { return f.document.body.innerText; } catch (e) { return 'error'; } })
).join())JS";

// Hostile pages: a script would change the title, a reference to SERVER
// would reach the test's server; the link "x" is clicked.
const struct {
    const char* name;
    const char* body;
} HostilePages[] = {
    {"inline script", "<script>document.title = 'ran'</script>"},
    {"handlers",
     R"P(<body onload="document.title='ran'"><img src=no.png onerror="document.title='ran'">)P"},
    {"javascript: frame", R"P(<iframe src="javascript:top.document.title='ran'"></iframe>)P"},
    {"javascript: link in SVG",
     R"P(<svg><a id=x href="javascript:document.title='ran'"><rect width=40 height=40 /></a></svg>)P"},
    {"web references",
     R"P(<img src=SERVER/img><img srcset="SERVER/srcset 2x"><style>@import url(SERVER/import.css);</style>
<link rel=stylesheet href=SERVER/link.css><link rel=preconnect href=SERVER/><link rel=icon href=SERVER/icon>
<div style="background: url(SERVER/background)">b</div><video poster=SERVER/poster></video>
<object data=SERVER/object></object><svg><image href=SERVER/svg-image width=9 height=9 />
<filter id=f><feImage href=SERVER/feimage /></filter><rect filter="url(#f)" width=9 height=9 /></svg>)P"},
    {"web frames and reads",
     R"P(<iframe src=SERVER/frame></iframe><iframe src="data:text/html,<img src=SERVER/data-frame>"></iframe>
<script>fetch('SERVER/fetch')</script>)P"},
};

// A page of `body` whose references to SERVER name the test's web server.
std::string hostilePage(const LoopbackServer& server, const char* body) {
    std::string page = std::string("<html><title>safe</title>") + body + "</html>";
    for (std::size_t at; (at = page.find("SERVER")) != std::string::npos;)
        page.replace(at, 6, server.url(""));
    return page;
}

// Shows `path` and waits (bounded) until its meta refresh to a target that
// contains `refresh` was tried and a load it started would have ended.
void followRefresh(WebBrowser& view, const std::string& path, const std::string& refresh) {
    bool tried = false;
    view.OnBeforeNavigate2 = [&](const std::string& target, bool, bool&) {
        tried = tried || target.find(refresh) != std::string::npos;
    };
    ASSERT_TRUE(navigateAndWait(view, path));
    QSignalSpy finished(&view, &QWebEngineView::loadFinished);
    EXPECT_TRUE(WaitUntil([&] { return tried; }, 10000)) << "the refresh was never tried";
    WaitUntil([&] { return !finished.isEmpty(); }, 1000);
    view.OnBeforeNavigate2 = nullptr;
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

TEST(WebBrowser, HostilePagesRunNoScriptAndReachNoServer) {
    TempWorkDir dir;
    LoopbackServer server(std::vector<std::string>{"HTTP/1.0 404 Not Found\r\n\r\n"});
    WebBrowser view(dir.path());
    for (const auto& hostile : HostilePages) {
        WriteFile("page.htm", hostilePage(server, hostile.body));
        ASSERT_TRUE(navigateAndWait(view, dir.file("page.htm"))) << hostile.name;
        evaluate(view, "var x = document.getElementById('x'); x && x.dispatchEvent(new "
                       "MouseEvent('click', {bubbles: true, cancelable: true, view: window}))");
        WaitUntil([&] { return view.title() != "safe"; }, 300);
        EXPECT_EQ(view.title().toStdString(), "safe") << hostile.name;
    }
    // A page's meta refresh to the web never loads by itself.
    WriteFile("page.htm",
              hostilePage(server, R"(<meta http-equiv=refresh content="0; url=SERVER/refresh">)"));
    followRefresh(view, dir.file("page.htm"), "/refresh");
    WaitUntil([&] { return !server.requests().empty(); }, 1000);
    for (const std::string& request : server.requests())
        ADD_FAILURE() << "the server was asked: " << request;
}

TEST(WebBrowser, LocalPagesLoadOnlyTheStore) {
    TempWorkDir dir;
    QTemporaryDir outside;
    const std::string elsewhere = outside.path().toStdString();
    WriteFile("secret.txt", "SECRET beside the page");
    WriteFile(elsewhere + "/secret.txt", "SECRET of another folder");
    std::filesystem::create_directory("page.files");
    writePng("page.files/own.png");
    writePng("beside.png");
    writePng(elsewhere + "/outside.png");
    WriteFile("page.files/page1.htm", "own frame");
    WriteFile("page.files/5.htm", "SECRET stored"); // a body stored in a font's place
    std::filesystem::create_directories("zelhistory/1.files");
    writePng("zelhistory/1.files/h.png");
    WriteFile("zelhistory/1.htm",
              "<html><body>SECRET of another page<img src=\"1.files/h.png\"></body></html>");
    WriteFile("zelhistory/1.files/5.htm", "SECRET stored");
    WriteFile("zelhistory/2.htm", "<meta http-equiv=refresh content=\"0; url=1.files/5.htm\">");
    WriteFile("help.htm", "<html><body>help page</body></html>");
    std::string page = ProbePage;
    const std::string outsideUrl = QUrl::fromLocalFile(outside.path()).toString().toStdString();
    page.replace(page.find("OUTSIDE"), 7, outsideUrl);
    WriteFile("page.htm", page);

    WebBrowser view(dir.path());
    ASSERT_TRUE(navigateAndWait(view, dir.file("page.htm")));
    EXPECT_EQ(evaluate(view, ProbeResults).toStdString(), "3,0,0,0,own frame,error,error");

    // Told to go to a file that is not a page of the store, the view shows nothing of it.
    for (const std::string& path :
         {dir.file("secret.txt"), elsewhere + "/secret.txt", dir.file("page.files/5.htm"),
          dir.file("page.files/page1.htm")}) {
        const std::string text = shownText(view, path);
        EXPECT_TRUE(text.find("SECRET") == std::string::npos && text != "own frame") << path;
    }
    // A history copy shows with its own files, and so does the help page.
    EXPECT_EQ(shownText(view, dir.file("zelhistory/1.htm")), "SECRET of another page");
    EXPECT_EQ(evaluate(view, "String(document.images[0].naturalWidth)"), "3");
    EXPECT_EQ(shownText(view, dir.file("help.htm")), "help page");
    // A history copy's refresh to another local file is dropped.
    followRefresh(view, dir.file("zelhistory/2.htm"), "5.htm");
    EXPECT_EQ(view.url().toLocalFile().toStdString(), dir.file("zelhistory/2.htm"));
}
