// The request operations and the transaction cycle of the HTTP client.

#include "TQzHTTP.h"

#include "TQzURL.h"

namespace zel {

void TQzHTTP::Abort() {
    WaitEnded = true;
    Cancel();
}

void TQzHTTP::Options(const std::string& URL) {
    Run(cmdOptions, URL, "", "");
}
void TQzHTTP::Get(const std::string& URL) {
    Run(cmdGet, URL, "", "");
}
void TQzHTTP::Head(const std::string& URL) {
    Run(cmdHead, URL, "", "");
}
void TQzHTTP::Delete(const std::string& URL) {
    Run(cmdDelete, URL, "", "");
}
void TQzHTTP::Put(const std::string& URL, const std::string& Data) {
    Run(cmdPut, URL, Data, "");
}
void TQzHTTP::Patch(const std::string& URL, const std::string& Data) {
    Run(cmdPatch, URL, Data, "");
}
void TQzHTTP::Trace(const std::string& URL, const std::string& Data) {
    Run(cmdTrace, URL, Data, "");
}
void TQzHTTP::Copy(const std::string& URL, const std::string& Destination) {
    Run(cmdCopy, URL, "", Destination);
}
void TQzHTTP::Move(const std::string& URL, const std::string& Destination) {
    Run(cmdMove, URL, "", Destination);
}
void TQzHTTP::Link(const std::string& URL, const std::string& LinkValue) {
    Run(cmdLink, URL, "", LinkValue);
}
void TQzHTTP::Unlink(const std::string& URL, const std::string& LinkValue) {
    Run(cmdUnlink, URL, "", LinkValue);
}

void TQzHTTP::Post(const std::string& URL, const std::string& Data) {
    if (OutputFileMode) {
        Run(cmdPost, URL, Data, "");
        return;
    }
    TQzURL encoder(this);
    encoder.InputString = Data;
    Run(cmdPost, URL, encoder.Encoded(), "");
}

void TQzHTTP::Run(CmdType command, const std::string& url, const std::string& data,
                  const std::string& argument) {
    RequestUrl = url;
    RequestData = data;
    HeaderArgument = argument;
    Command = command;
    ExecuteRequest();
}

void TQzHTTP::ExecuteRequest() {
    int redirections = 0;
    for (;;) {
        SplitUrl();
        BuildRequestHeader();
        if (OnAboutToSend) {
            OnAboutToSend(this);
            BuildRequestHeader(); // take in what the handler changed
        }
        try {
            Connect();
            if (SecureRequest)
                OpenSecureChannel();
            SendRequest();
            ReplyNumber = 0;
            ReadResponseHeader();
            CaptureBody();
            Classify();
        } catch (...) {
            Disconnect();
            throw;
        }
        Disconnect();

        const int status = ReplyNumber;
        const bool followed = IsFollowedRedirection();
        if (status >= 300 && status <= 398 && RedirectStep())
            return;
        if (status == 401 && OnAuthenticationNeeded)
            OnAuthenticationNeeded(this);
        if (!followed)
            return;
        if (++redirections > MaxRedirections)
            throw Exception("Too many redirections: the server redirected more than " +
                            std::to_string(MaxRedirections) + " times");
    }
}

} // namespace zel
