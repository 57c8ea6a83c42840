// The request side of the HTTP client: URL split, request header, sending.

#include "TQzHTTP.h"

#include "HttpText.h"
#include "NthWord.h"
#include "Numbers.h"
#include "RecordFile.h"
#include "TQzUUProcessor.h"
#include "TextEdits.h"

#include <QBuffer>

#include <algorithm>

namespace zel {

namespace {

const char* const MethodWords[] = {"GET ",  "OPTIONS ", "HEAD ",   "POST ", "PUT ",    "PATCH ",
                                   "COPY ", "MOVE ",    "DELETE ", "LINK ", "UNLINK ", "TRACE "};

bool SendsBody(CmdType command) {
    return command == cmdPost || command == cmdPut || command == cmdPatch || command == cmdTrace;
}

bool AnnouncesLength(CmdType command) {
    return SendsBody(command) || command == cmdLink || command == cmdUnlink;
}

} // namespace

void TQzHTTP::SplitUrl() {
    if (RequestUrl.empty())
        throw Exception("Empty URL");
    if (Port == 0)
        Port = 80;

    const bool hasSlashes = RequestUrl.find("//") != std::string::npos;
    const std::size_t firstSlash = RequestUrl.find('/');
    if (hasSlashes)
        RequestPath = TextFrom(RequestUrl, NthPos(RequestUrl, '/', 3) - 1);
    else if (firstSlash != std::string::npos)
        RequestPath = RequestUrl.substr(firstSlash);
    else
        RequestPath.clear();

    if (RequestUrl.find(':') != std::string::npos) {
        const std::string scheme = LowerCase(NthWord(RequestUrl, ':', 1));
        SecureRequest = scheme == "https";
        Port = SecureRequest ? 443 : scheme == "gopher" ? 70 : scheme == "ftp" ? 21 : 80;
    }

    std::string hostPart;
    if (hasSlashes)
        hostPart = NthWord(RequestUrl, '/', 3);
    else if (RequestUrl[0] != '/')
        hostPart = NthWord(RequestUrl, '/', 1);
    const std::size_t colon = hostPart.find(':');
    if (colon != std::string::npos) {
        Port = StrToInt(NthWord(hostPart, ':', 2));
        hostPart.erase(colon);
    }
    if (!hostPart.empty())
        Host = hostPart;

    if (RequestPath.empty()) {
        RequestPath = "/";
        RequestUrl += "/";
    }
}

void TQzHTTP::BuildRequestHeader() {
    HeaderList.Clear();
    // Inside a tunnel the request goes to the server as if directly.
    const bool viaProxy = !Proxy.empty() && !SecureRequest;
    const std::string requestLine =
        MethodWords[Command] + RequestTarget(viaProxy ? RequestUrl : RequestPath) + " HTTP/1.0";
    if (requestLine.size() > MaxRequestLine)
        throw Exception("The request address is too long: the request line exceeds " +
                        std::to_string(MaxRequestLine) + " bytes");
    HeaderList.Add(requestLine);
    if (viaProxy) {
        HeaderList.Add("Proxy-Connection: Keep-Alive");
        HeaderList.Add("Host: " + Host);
    }
    HeaderList.SetHeader("Host", Host);
    HeaderList.Add("Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff");
    HeaderList.Add("Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript");
    if (!HeaderInfo.LocalProgram.empty())
        HeaderList.SetHeader("User-Agent", HeaderInfo.LocalProgram);
    if (!HeaderInfo.LocalMailAddress.empty())
        HeaderList.SetHeader("From", HeaderInfo.LocalMailAddress);
    if (!HeaderInfo.Cookie.empty())
        HeaderList.SetHeader("Cookie", HeaderInfo.Cookie);
    if (!HeaderInfo.Referer.empty())
        HeaderList.SetHeader("Referer", HeaderInfo.Referer);
    if (!HeaderInfo.UserId.empty() && !HeaderInfo.Password.empty())
        HeaderList.SetHeader("Authorization", "Basic " + Credentials());
    HeaderList.Add("Content-type: application/x-www-form-urlencoded");
    if (Command == cmdCopy || Command == cmdMove)
        HeaderList.Add("URI-header: " + HeaderArgument);
    else if (Command == cmdLink || Command == cmdUnlink)
        HeaderList.Add("Link: " + HeaderArgument);
    if (AnnouncesLength(Command))
        HeaderList.Add("Content-Length: " + std::to_string(RequestBodySize()));

    // Values from the caller or from a server must never start a header line.
    for (std::size_t i = 1; i < HeaderList.Count(); ++i)
        RefuseLineBreaks(HeaderList[i],
                         "header line \"" + TExStringList::HeaderName(HeaderList[i]) + "\"");
}

std::string TQzHTTP::Credentials() const {
    const std::string plain = HeaderInfo.UserId + ":" + HeaderInfo.Password;
    QBuffer input;
    input.setData(plain.data(), static_cast<qsizetype>(plain.size()));
    input.open(QIODevice::ReadOnly);
    QBuffer output;
    output.open(QIODevice::ReadWrite);
    TQzUUProcessor encoder;
    encoder.Method = uuMime;
    encoder.InputStream = &input;
    encoder.OutputStream = &output;
    encoder.EncodeStream();
    std::string text = output.readAll().toStdString();
    std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
    return text;
}

std::int64_t TQzHTTP::RequestBodySize() const {
    if (!SendsBody(Command))
        return 0;
    if (!OutputFileMode)
        return static_cast<std::int64_t>(RequestData.size());
    RecordFile file(RequestData, 1);
    file.reset(RecordFile::Access::ReadOnly);
    return file.size();
}

void TQzHTTP::OpenSecureChannel() {
    if (!Proxy.empty())
        OpenTunnel();
    StartSecure();
}

void TQzHTTP::OpenTunnel() {
    const std::string target = Host + ":" + std::to_string(Port);
    Write("CONNECT " + target + " HTTP/1.0\r\nHost: " + target + "\r\n\r\n");
    std::string status;
    ReadLn(status);
    std::string line = status;
    for (std::size_t bytes = 0; !line.empty() && line != "\n" && line != "\r\n";
         bytes += line.size()) {
        if (bytes > MaxResponseHeader)
            throw ESockError("The proxy's answer is longer than " +
                             std::to_string(MaxResponseHeader) + " bytes");
        ReadLn(line);
    }
    const int code = StatusCodeOf(NthWord(WithoutLineEnd(status), ' ', 2));
    if (code < 200 || code > 299)
        throw ESockError("The proxy " + Proxy + " did not open a tunnel to " + target + ": " +
                         (status.empty() ? "it closed the connection" : WithoutLineEnd(status)));
}

void TQzHTTP::SendRequest() {
    Write(HeaderList.Text());
    Writeln("");
    if (SendsBody(Command))
        SendBody();
}

void TQzHTTP::SendBody() {
    if (OutputFileMode) {
        SendFile(RequestData);
        return;
    }
    // In pieces that a socket send takes whole, so that zero bytes and bodies
    // of 64 KiB and more go out as announced.
    constexpr std::size_t Piece = 65535;
    for (std::size_t sent = 0; sent < RequestData.size(); sent += Piece) {
        std::size_t length = std::min(Piece, RequestData.size() - sent);
        SendBuffer(RequestData.data() + sent, static_cast<std::uint16_t>(length));
    }
}

} // namespace zel
