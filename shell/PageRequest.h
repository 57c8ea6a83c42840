#pragma once
// The page request, from the address box to the page on show: ask the
// compressing service for the page with the user's login and image settings,
// poll until it is ready, download the archive, have "unzip" unpack it,
// record the traffic, store a history copy and show the page. The main window
// lends its controls (PageRequestHost) and its run state; the steps, their
// order and every message are here. GUI-free.
//
// Every wait handles events, so "Stop", the progress timer and the window's
// other commands run in the middle of a request.

#include "RequestProgress.h"
#include "RunState.h"
#include "ServiceExchange.h"

#include <cstdint>
#include <optional>
#include <string>

class QObject;

namespace zel {

struct ServiceReply;

// The settings a request sends, as the windows hold them at the moment.
struct RequestSettings {
    std::string login;
    bool loadImages = false;
    int jpegQuality = 0;
    int colorExponent = 1;
    bool gray = false;
    bool workOffLine = false;
    ProxySetting proxy;
};

// What the request reads and changes of the main window.
class PageRequestHost {
public:
    virtual std::string AddressText() const = 0;
    virtual void SetAddressText(const std::string& text) = 0;
    virtual RequestSettings CurrentSettings() const = 0;
    // "To load:" value: the archive size as the service wrote it, and " bytes".
    virtual void SetArchiveSizeText(const std::string& text) = 0;
    virtual void SetProgressPosition(int position) = 0;
    virtual void SetProgressMaximum(int maximum) = 0;
    virtual int ProgressMaximum() const = 0;
    virtual void SetProgressTimer(bool on) = 0;
    // What the request is doing now; `pageBytes`: what the service reported
    // fetching so far. Idle when the request has ended, however it ended.
    virtual void ShowStage(RequestStage stage, std::int64_t pageBytes) = 0;
    // The page just stored: in this window, or in a new instance of the
    // program when "In new window" is checked; then the focus to the page.
    virtual void ShowFetchedPage() = 0;
    // The address the page was fetched from.
    virtual void AddToAddressList(const std::string& address) = 0;

protected:
    ~PageRequestHost() = default;
};

// "?" becomes "^^^^^" and "&" becomes "|||||", so the address travels as one
// value of the request's query.
std::string EscapePageAddress(const std::string& address);
// The request addresses, exactly as sent (only blanks and control bytes,
// which a request line cannot carry, become "%XX").
std::string PageRequestAddress(const RequestSettings& settings, const std::string& escapedAddress);
std::string PollAddress(const RequestSettings& settings);
std::string SegmentAddress(const std::string& login, int segment);

class PageRequest {
public:
    PageRequest(RunState& state, PageRequestHost& host, QObject* owner);
    PageRequest(const PageRequest&) = delete;
    PageRequest& operator=(const PageRequest&) = delete;

    // Action1Execute: runs one request to its end.
    void Execute();
    bool Running() const { return running_; }
    // "Stop": sets the stop flag and makes the exchange in progress fail.
    void Stop();
    // The archive bytes received so far while the download is connected.
    std::optional<std::int32_t> BytesReceived() const { return exchange_.BytesReceived(); }
    // The window is closing: the running request shows no more messages and
    // answers its question with Cancel.
    void Silence() { silent_ = true; }

private:
    void Run();
    std::optional<std::string> TextExchange(const std::string& url);
    std::optional<ServiceReply> Poll(const std::string& firstReply, const std::string& pollUrl);
    bool Download(const std::string& login);
    bool Unpack(const std::string& requested);
    void Complete(const std::string& requested, const std::string& archiveSizeText);
    void Warn(const std::string& text) const;
    void Inform(const std::string& text) const;
    bool AskToUnpackAgain() const;

    RunState& state_;
    PageRequestHost& host_;
    ServiceExchange exchange_;
    bool running_ = false;
    bool silent_ = false;
};

} // namespace zel
