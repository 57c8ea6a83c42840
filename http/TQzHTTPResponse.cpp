// The response side of the HTTP client: header lines, body capture,
// classification of the status and the redirect step.

#include "TQzHTTP.h"

#include "HttpText.h"
#include "NthWord.h"
#include "RecordFile.h"
#include "TextEdits.h"

#include <optional>

namespace zel {

void TQzHTTP::ReadResponseHeader() {
    ExpectedSize = 0;
    ReceivedCookie.clear();
    LocationReceived = false;

    std::optional<RecordFile> file; // closed on every path by its destructor
    if (OutputFileMode) {
        file.emplace(Header, 1);
        file->rewrite();
    } else {
        Header.clear();
    }
    std::size_t headerBytes = 0;
    auto keep = [&](const std::string& line) {
        headerBytes += line.size();
        if (file)
            file->write(line.data(), line.size());
        else
            Header += line;
    };

    std::string line;
    ReadLn(line);
    if (!line.empty())
        ReplyNumber = StatusCodeOf(NthWord(WithoutLineEnd(line), ' ', 2));
    keep(line);
    for (;;) {
        ReadLn(line);
        ParseHeaderLine(line);
        keep(line);
        if (line.empty() || line == "\n" || line == "\r\n")
            break;
        if (headerBytes > MaxResponseHeader)
            throw Exception("The response header is longer than " +
                            std::to_string(MaxResponseHeader) + " bytes");
    }
    if (file)
        file->close();
}

void TQzHTTP::ParseHeaderLine(const std::string& line) {
    const std::string upper = UpperCase(line);
    const std::string key = NthWord(upper, ' ', 1);
    if (key == "SET-COOKIE:") {
        ReceivedCookie = WithoutLineEnd(TextFrom(line, 12));
    } else if (key == "LOCATION:") {
        RedirectLocation = WithoutLineEnd(TextFrom(line, 10));
        LocationReceived = true;
    } else if (key == "CONTENT-LENGTH:") {
        ExpectedSize = ContentLengthOf(upper);
    }
}

void TQzHTTP::CaptureBody() {
    if (InputFileMode) {
        CaptureFile(Body);
        return;
    }
    // One byte over the bound tells a body of exactly the bound from a larger one.
    CaptureString(Body, static_cast<std::int32_t>(MaxStringBody + 1));
    if (Body.size() > MaxStringBody) {
        std::string().swap(Body); // give the memory back at once
        throw Exception("The response body is larger than " + std::to_string(MaxStringBody >> 20) +
                        " MiB");
    }
}

bool TQzHTTP::IsFollowedRedirection() const {
    const int status = ReplyNumber;
    if (status >= 300 && status <= 302)
        return true;
    return (status == 303 || status == 307 || status == 308) && LocationReceived;
}

void TQzHTTP::Classify() {
    const int status = ReplyNumber;
    if (status < 299) {
        if (OnSuccess)
            OnSuccess(Command);
        StatusMessage(2, "Transaction Completed");
    } else if (status > 399) {
        if (OnFailure)
            OnFailure(Command);
    } else if (IsFollowedRedirection()) {
        RequestUrl = RedirectLocation;
    }
}

bool TQzHTTP::RedirectStep() {
    bool handled = false;
    if (!ReceivedCookie.empty())
        HeaderInfo.Cookie = ReceivedCookie;
    if (OnRedirect)
        OnRedirect(handled);
    if (handled)
        return true;
    // A bare name is taken on the same server, its port included.
    if (RequestUrl.find('/') == std::string::npos) {
        const int usual = SecureRequest ? 443 : 80;
        RequestUrl = (SecureRequest ? "https://" : "http://") + Host +
                     (Port == usual ? "" : ":" + std::to_string(Port)) + "/" + RequestUrl;
    }
    return false;
}

} // namespace zel
