#include "WebBrowser.h"

#include "ConnectedState.h"
#include "ErrorGuard.h"
#include "PageSandbox.h"

#include <QCoreApplication>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>

namespace zel {

namespace {

// Off line, only local content may load.
class OffLineFilter : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        if (!IsOffLine())
            return;
        const QString scheme = info.requestUrl().scheme();
        bool local = scheme == u"file" || scheme == u"data" || scheme == u"qrc" ||
                     scheme == u"blob" || scheme == u"about";
        if (!local)
            info.block(true);
    }
};

// A shown page may load its own files of the page store, no other local
// file; no script may read a local file at all (XHR and fetch).
class LocalFileFilter : public QWebEngineUrlRequestInterceptor {
public:
    LocalFileFilter(const QString& programFolder, QObject* parent)
        : QWebEngineUrlRequestInterceptor(parent), programFolder_(programFolder) {}

    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const QUrl url = info.requestUrl();
        if (!url.isLocalFile())
            return;
        // The top document names the page; for a page itself it is the request.
        const QUrl top = info.firstPartyUrl();
        const QString page = StorePageOf(programFolder_, url.toLocalFile());
        const bool allowed = info.resourceType() != QWebEngineUrlRequestInfo::ResourceTypeXhr &&
                             !page.isEmpty() && top.isLocalFile() &&
                             page == StorePageOf(programFolder_, top.toLocalFile());
        if (!allowed)
            info.block(true);
    }

private:
    QString programFolder_;
};

// One profile for every view of the run, kept in memory only and released
// with the application, after the views.
QWebEngineProfile* sharedProfile() {
    static QWebEngineProfile* profile = [] {
        auto* p = new QWebEngineProfile(QCoreApplication::instance());
        p->setUrlRequestInterceptor(new OffLineFilter(p));
        // Every page shown is a local file; on line it may still load what it
        // refers to on the web, like the pages of any browser.
        p->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
        return p;
    }();
    return profile;
}

class ShellPage : public QWebEnginePage {
public:
    ShellPage(WebBrowser* view, const QString& programFolder)
        : QWebEnginePage(sharedProfile(), view), view_(view) {
        setUrlRequestInterceptor(new LocalFileFilter(programFolder, this));
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool) override {
        bool cancel = false;
        const bool followsLink = type == NavigationTypeLinkClicked;
        if (view_->OnBeforeNavigate2)
            Guarded([&] {
                view_->OnBeforeNavigate2(WebBrowser::TargetText(url), followsLink, cancel);
            });
        return !cancel;
    }

    QWebEnginePage* createWindow(WebWindowType) override {
        bool cancel = false;
        if (view_->OnNewWindow2)
            Guarded([&] { view_->OnNewWindow2(cancel); });
        return nullptr;
    }

private:
    WebBrowser* view_;
};

} // namespace

WebBrowser::WebBrowser(const std::string& programFolder, QWidget* parent) : QWebEngineView(parent) {
    auto* page = new ShellPage(this, QString::fromStdString(programFolder));
    setPage(page);
    connect(page, &QWebEnginePage::linkHovered, this, [this](const QString& url) {
        if (OnStatusTextChange)
            Guarded([&] { OnStatusTextChange(url.toStdString()); });
    });
}

void WebBrowser::Navigate(const std::string& localPath) {
    load(QUrl::fromLocalFile(QString::fromStdString(localPath)));
}

std::string WebBrowser::TargetText(const QUrl& url) {
    if (url.isLocalFile())
        return url.toLocalFile().toStdString();
    return url.toString(QUrl::FullyEncoded).toStdString();
}

} // namespace zel
