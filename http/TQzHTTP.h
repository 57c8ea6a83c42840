#pragma once
// HTTP/1.0 client on the socket component. One request operation (Get, Post,
// ...) runs a whole transaction: split the URL, compose the request, connect
// (directly or through Proxy; an https address then opens a verified TLS
// session, through a proxy inside a CONNECT tunnel), send, read the
// response header, capture the
// body until the server closes, disconnect, and repeat while the server
// redirects. The last response ends up in Header and Body (or in the files
// they name); every transport or usage failure leaves the operation as an
// exception. HTTP error statuses are not failures: OnFailure reports them and
// the body is delivered all the same.
//
// Events of one pass, in order: OnAboutToSend; the socket's connection events;
// OnPacketSent / OnPacketRecvd; OnSuccess (+ status "Transaction Completed")
// or OnFailure; OnDisconnect; OnRedirect (300..398); OnAuthenticationNeeded (401).

#include "CmdType.h"
#include "TBrumel.h"
#include "TExStringList.h"
#include "THeaderInfo.h"

#include <cstddef>
#include <string>

namespace zel {

class TQzHTTP : public TBrumel {
    Q_OBJECT
public:
    explicit TQzHTTP(QObject* Owner = nullptr) : TBrumel(Owner) {}

    // String mode: the response body; InputFileMode: the file that receives it.
    std::string Body = "Default.htm";
    // String mode: the raw response header; OutputFileMode: the file that receives it.
    std::string Header = "Head.txt";
    THeaderInfo HeaderInfo;
    bool InputFileMode = false;
    // The data of Post/Put/Patch/Trace names a file whose bytes are sent, and
    // the response header goes to the file named by Header.
    bool OutputFileMode = false;
    // The request is composed, nothing is connected yet. A handler may change
    // HeaderInfo, Host, Port, Proxy or ProxyPort: the request is composed again
    // after it returns. An exception from it ends the operation.
    TNotifyEvent OnAboutToSend;
    TResultEvent OnSuccess; // status below 299
    TResultEvent OnFailure; // status above 399
    // Status 300..398, after disconnecting; setting Handled ends the operation
    // with this response.
    THandlerEvent OnRedirect;
    TNotifyEvent OnAuthenticationNeeded; // status 401; the request is not repeated

    // Bounds that keep a broken or hostile server from exhausting memory or
    // looping for ever. The string body's bound is whole MiB; tests lower it.
    static constexpr std::size_t DefaultMaxStringBody = 256u << 20;
    std::size_t MaxStringBody = DefaultMaxStringBody;
    static constexpr std::size_t MaxResponseHeader = 1u << 20;
    static constexpr std::size_t MaxRequestLine = 16u << 10;
    static constexpr int MaxRedirections = 20;

    // Ends a running wait or transfer at once (also used by the time-out);
    // reports no status text of its own.
    void Abort() override;

    virtual void Options(const std::string& URL);
    virtual void Get(const std::string& URL);
    // In string mode the data is sent form-encoded (TQzURL).
    virtual void Post(const std::string& URL, const std::string& Data);
    virtual void Put(const std::string& URL, const std::string& Data);
    virtual void Head(const std::string& URL);
    virtual void Patch(const std::string& URL, const std::string& Data);
    virtual void Delete(const std::string& URL);
    virtual void Trace(const std::string& URL, const std::string& Data);
    virtual void Copy(const std::string& URL, const std::string& Destination);
    virtual void Move(const std::string& URL, const std::string& Destination);
    // LINK and UNLINK carry no body ("Content-Length: 0").
    virtual void Link(const std::string& URL, const std::string& LinkValue);
    virtual void Unlink(const std::string& URL, const std::string& LinkValue);

protected:
    virtual void ExecuteRequest();
    // RequestUrl into Host, Port and RequestPath.
    virtual void SplitUrl();
    virtual void BuildRequestHeader();
    virtual void ReadResponseHeader();
    virtual void SendRequest();

    std::string RequestUrl;     // of the transaction in progress; a redirection replaces it
    std::string RequestPath;    // target of a direct request
    std::string RequestData;    // body text, or the body file's name in OutputFileMode
    std::string HeaderArgument; // COPY/MOVE destination, LINK/UNLINK value
    CmdType Command = cmdGet;
    TExStringList HeaderList;
    std::string RedirectLocation;  // last Location value any response gave
    std::string ReceivedCookie;    // Set-Cookie value of the last response
    bool LocationReceived = false; // the last response had a Location line
    bool SecureRequest = false;    // the transaction in progress goes to an https address

private:
    void Run(CmdType command, const std::string& url, const std::string& data,
             const std::string& argument);
    void CaptureBody();
    void Classify();
    bool IsFollowedRedirection() const;
    // Cookie copy and OnRedirect; true when the handler took over.
    bool RedirectStep();
    void ParseHeaderLine(const std::string& line);
    std::string Credentials() const;
    std::int64_t RequestBodySize() const;
    void SendBody();
    // Through a proxy, asks it for a tunnel to Host and Port first.
    void OpenSecureChannel();
    void OpenTunnel();
};

} // namespace zel
