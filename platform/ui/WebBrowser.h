#pragma once
// The embedded web view and the events the browser shell decides on:
// - OnBeforeNavigate2(target, followsLink, cancel): before every navigation,
//   also the ones the program starts. A local file arrives as its plain path;
//   any other address keeps its percent-encoding. followsLink: the view
//   reports the navigation as following a link (a click, but a script's
//   navigation may say so too).
// - OnNewWindow2(cancel): a link wants a new window (none is ever opened).
// - OnStatusTextChange(text): the address of the link under the mouse, or empty.
// The view runs no script and takes nothing from the network, on line or off:
// a shown page may load only its own files in the program folder's page store
// (PageSandbox.h) and inline data, and only the store's pages and their frame
// documents show as documents; a page's refresh to a local file arrives
// already cancelled. A link the user clicks reaches the shell through
// OnBeforeNavigate2, never the web.

#include <QWebEngineView>

#include <functional>
#include <string>

namespace zel {

class WebBrowser : public QWebEngineView {
    Q_OBJECT
public:
    // `programFolder` holds the page store whose files the view may show.
    explicit WebBrowser(const std::string& programFolder, QWidget* parent = nullptr);

    // Shows a local file given by its full path.
    void Navigate(const std::string& localPath);

    std::function<void(const std::string& target, bool followsLink, bool& cancel)>
        OnBeforeNavigate2;
    std::function<void(bool& cancel)> OnNewWindow2;
    std::function<void(const std::string& text)> OnStatusTextChange;

    // The address in the form OnBeforeNavigate2 reports it.
    static std::string TargetText(const QUrl& url);
};

} // namespace zel
