#include "WebBrowser.h"

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

// The view takes nothing from the network, on line or off: every page it
// shows is a local file, and a link the user clicks becomes a request to
// the service. What a page refers to on the web would be traffic the
// service never counted or compressed, and would tell the site the user's
// address. Inline data may still serve a page's images, fonts and styles.
class NetworkFilter : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const QString scheme = info.requestUrl().scheme();
        if (scheme != u"file" && scheme != u"data")
            info.block(true);
    }
};

bool allowedResource(QWebEngineUrlRequestInfo::ResourceType type) {
    using Info = QWebEngineUrlRequestInfo;
    switch (type) {
    case Info::ResourceTypeStylesheet:
    case Info::ResourceTypeImage:
    case Info::ResourceTypeFontResource:
    case Info::ResourceTypeSubResource:
    case Info::ResourceTypeMedia:
        return true;
    default:
        return false; // scripts, workers, plugins, reads, pings and the like
    }
}

// A shown page may load its own files of the page store, no other local
// file; of its files only its own document shows as the page, and only its
// frame documents as frames, so a stored image or font that holds markup
// never shows as a document.
class LocalFileFilter : public QWebEngineUrlRequestInterceptor {
public:
    LocalFileFilter(const QString& programFolder, QObject* parent)
        : QWebEngineUrlRequestInterceptor(parent), programFolder_(programFolder) {}

    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        if (!allowed(info))
            info.block(true);
    }

private:
    bool allowed(const QWebEngineUrlRequestInfo& info) const {
        const QUrl url = info.requestUrl();
        const auto type = info.resourceType();
        if (url.scheme() == u"data")
            return allowedResource(type); // never a document of its own
        if (!url.isLocalFile())
            return false;
        const QString path = url.toLocalFile();
        if (type == QWebEngineUrlRequestInfo::ResourceTypeMainFrame)
            return StoreDocumentOf(programFolder_, path) == StoreDocument::Page;
        // The top document names the page the request belongs to.
        const QUrl top = info.firstPartyUrl();
        const QString page = StorePageOf(programFolder_, path);
        if (page.isEmpty() || !top.isLocalFile() ||
            page != StorePageOf(programFolder_, top.toLocalFile()))
            return false;
        if (type == QWebEngineUrlRequestInfo::ResourceTypeSubFrame)
            return StoreDocumentOf(programFolder_, path) == StoreDocument::Frame;
        return allowedResource(type);
    }

    QString programFolder_;
};

void turnOffActiveContent(QWebEngineSettings* settings) {
    using S = QWebEngineSettings;
    for (S::WebAttribute attribute :
         {S::JavascriptEnabled, S::JavascriptCanOpenWindows, S::JavascriptCanAccessClipboard,
          S::JavascriptCanPaste, S::AllowWindowActivationFromJavaScript, S::LocalStorageEnabled,
          S::LocalContentCanAccessRemoteUrls, S::PluginsEnabled, S::PdfViewerEnabled,
          S::WebGLEnabled, S::HyperlinkAuditingEnabled, S::DnsPrefetchEnabled,
          S::AutoLoadIconsForPage, S::TouchIconsEnabled, S::ScreenCaptureEnabled,
          S::FullScreenSupportEnabled, S::AllowRunningInsecureContent,
          S::AllowGeolocationOnInsecureOrigins})
        settings->setAttribute(attribute, false);
}

// One profile for every view of the run, kept in memory only and released
// with the application, after the views.
QWebEngineProfile* sharedProfile() {
    static QWebEngineProfile* profile = [] {
        auto* p = new QWebEngineProfile(QCoreApplication::instance());
        p->setUrlRequestInterceptor(new NetworkFilter(p));
        turnOffActiveContent(p->settings());
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
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        // A page's refresh never moves the view to another local file: the
        // program alone chooses which page of the store is on show. The
        // shell hears of it all the same, already cancelled.
        const bool refresh = isMainFrame && type == NavigationTypeRedirect && url.isLocalFile();
        bool cancel = refresh;
        const bool followsLink = type == NavigationTypeLinkClicked;
        if (view_->OnBeforeNavigate2)
            Guarded([&] {
                view_->OnBeforeNavigate2(WebBrowser::TargetText(url), followsLink, cancel);
            });
        return !cancel && !refresh;
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
