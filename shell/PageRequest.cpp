#include "PageRequest.h"

#include "ArchiveCheck.h"
#include "BinaryFiles.h"
#include "ColorCount.h"
#include "ConnectedState.h"
#include "ECertificateError.h"
#include "EventWait.h"
#include "MessageBox.h"
#include "PageStore.h"
#include "RequestEscapes.h"
#include "ServiceEndpoints.h"
#include "ServiceReply.h"
#include "StatStore.h"
#include "TextEdits.h"
#include "Unpacker.h"
#include "Utf8.h"

namespace zel {

namespace {
constexpr std::size_t MinLoginLength = 12;
constexpr int SegmentCount = 1;
const char* const NoAnswer = "Program server not respond.";

// The 32-bit counters of the run state wrap like the originals instead of
// overflowing.
std::int32_t WrappingAdd(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

std::string Flag(bool on) {
    return on ? "1" : "0";
}

std::string Cut3(int value) {
    return std::to_string(value).substr(0, 3);
}

std::string SettingsQuery(const RequestSettings& settings) {
    return "&quality=" + Cut3(settings.jpegQuality) +
           "&colors=" + Cut3(GifColorCount(settings.colorExponent)) +
           "&gray=" + Flag(settings.gray);
}
} // namespace

std::string EscapePageAddress(const std::string& address) {
    return ReplaceAll(ReplaceAll(address, "?", "^^^^^"), "&", "|||||");
}

std::string PageRequestAddress(const RequestSettings& settings, const std::string& escapedAddress) {
    return EscapeBlanksAndControls(PageRequestEndpoint() + "?image=" + Flag(settings.loadImages) +
                                   "&login=" + settings.login + SettingsQuery(settings) +
                                   "&url=" + escapedAddress);
}

std::string PollAddress(const RequestSettings& settings) {
    return EscapeBlanksAndControls(LoginCheckEndpoint() + "?login=" + settings.login +
                                   SettingsQuery(settings));
}

std::string SegmentAddress(const std::string& login, int segment) {
    return EscapeBlanksAndControls(ArchiveEndpoint() + login + "/" + std::to_string(segment) +
                                   ".dat");
}

PageRequest::PageRequest(RunState& state, PageRequestHost& host, QObject* owner)
    : state_(state), host_(host), exchange_(owner) {}

void PageRequest::Execute() {
    running_ = true;
    auto end = [this] {
        running_ = silent_ = false;
        host_.ShowStage(RequestStage::Idle, 0);
    };
    try {
        Run();
    } catch (...) {
        end();
        throw;
    }
    end();
}

void PageRequest::Stop() {
    state_.stopFlag = true;
    exchange_.Abort();
}

void PageRequest::Run() {
    std::string address = host_.AddressText();
    if (address.empty()) {
        Warn("Not entered the Address.");
        return;
    }
    host_.SetProgressPosition(0);
    if (!address.starts_with("http://"))
        address = "http://" + address;
    host_.SetAddressText(address);
    const std::string requested = address;
    const RequestSettings settings = host_.CurrentSettings();
    if (Utf8Length(settings.login) < MinLoginLength) {
        Warn("Not entered or wrong Login.");
        return;
    }
    const std::string escaped = EscapePageAddress(address);
    if (settings.workOffLine)
        SetConnectedState(true);
    const std::string pageUrl = PageRequestAddress(settings, escaped);
    host_.SetArchiveSizeText("");
    state_.stopFlag = false;
    host_.ShowStage(RequestStage::Asking, 0);
    const std::optional<std::string> reply = TextExchange(pageUrl);
    if (!reply)
        return;
    if (reply->empty()) {
        Warn(NoAnswer);
        return;
    }
    const std::optional<ServiceReply> ready = Poll(*reply, PollAddress(settings));
    if (!ready)
        return;
    const std::string archiveSizeText = ready->archiveSizeText + " bytes";
    host_.SetArchiveSizeText(archiveSizeText);
    host_.SetProgressMaximum(ready->archiveSize);
    state_.pageSizeTotal = WrappingAdd(state_.pageSizeTotal, ready->pageSize);
    if (Download(settings.login) && Unpack(requested))
        Complete(requested, archiveSizeText);
}

std::optional<std::string> PageRequest::TextExchange(const std::string& url) {
    std::string reply;
    try {
        reply = exchange_.GetText(url, host_.CurrentSettings().proxy);
    } catch (const ECertificateError& refused) {
        Warn(refused.what()); // the reason, and no way past it
        return std::nullopt;
    } catch (const Exception&) {
        if (state_.stopFlag)
            Inform("Request aborted.");
        else
            Warn("Can not open the Address.");
        return std::nullopt;
    }
    if (state_.stopFlag)
        return std::nullopt;
    return reply;
}

std::optional<ServiceReply> PageRequest::Poll(const std::string& firstReply,
                                              const std::string& pollUrl) {
    state_.pageSizeTotal = 0;
    try {
        ServiceReply read = ReadServiceReply(firstReply);
        while (read.kind == ReplyKind::NotReady) {
            state_.pageSizeTotal = WrappingAdd(state_.pageSizeTotal, read.pageSize);
            // New bytes: the service still fetches; none after some: it makes the page.
            const RequestStage stage = read.pageSize > 0          ? RequestStage::Fetching
                                       : state_.pageSizeTotal > 0 ? RequestStage::Making
                                                                  : RequestStage::Asking;
            host_.ShowStage(stage, state_.pageSizeTotal);
            const std::optional<std::string> next = TextExchange(pollUrl);
            if (!next)
                return std::nullopt;
            read = ReadServiceReply(*next);
        }
        switch (read.kind) {
        case ReplyKind::Ready:
            return read;
        case ReplyKind::Empty:
            Warn(NoAnswer);
            break;
        case ReplyKind::Refused:
            Warn(read.message);
            break;
        default:
            Warn("Impossible open the page");
            break;
        }
    } catch (const UnreadableReply& unreadable) {
        Warn(unreadable.what());
    }
    return std::nullopt;
}

bool PageRequest::Download(const std::string& login) {
    WriteWholeFile("page.zip", "");
    state_.trafficCounter = 0;
    state_.stopFlag = false;
    ClearCurrentPage();
    state_.currentPage = {}; // gone with its files
    host_.ShowStage(RequestStage::Downloading, state_.pageSizeTotal);
    for (int segment = 1; segment <= SegmentCount; ++segment) {
        const std::string url = SegmentAddress(login, segment);
        bool failed = false;
        host_.SetProgressTimer(true);
        try {
            exchange_.GetFile(url, host_.CurrentSettings().proxy, "page.dat");
        } catch (const Exception&) {
            failed = true;
        }
        host_.SetProgressTimer(false);
        DispatchPendingEvents();
        if (failed) {
            if (state_.stopFlag)
                Inform("Load is aborted.");
            else
                Warn("Can not download the archive.");
            return false;
        }
        state_.trafficCounter = WrappingAdd(state_.trafficCounter, AppendSegment());
        host_.SetProgressPosition(host_.ProgressMaximum());
    }
    return true;
}

bool PageRequest::Unpack(const std::string& requested) {
    // Only the page's own plain files may come out of the archive.
    if (const std::optional<std::string> refusal = CheckPageArchive("page.zip")) {
        Warn(*refusal);
        return false;
    }
    host_.ShowStage(RequestStage::Unpacking, state_.pageSizeTotal);
    Unpacker tool;
    for (;;) {
        if (!tool.Start()) {
            Warn("Can not start the unpacking tool \"unzip\".");
            return false;
        }
        const bool found = WaitForPage(state_, [&tool] { return tool.Running(); });
        // After "Stop" the tool writes nothing more; what it wrote stays.
        if (state_.stopFlag)
            tool.Stop();
        // A tool still at work after the wait would be writing the page
        // while the link is appended.
        const bool done = !tool.Running() && AppendSourceLink(requested);
        if (done)
            return found && !state_.stopFlag;
        if (!AskToUnpackAgain())
            return false;
    }
}

void PageRequest::Complete(const std::string& requested, const std::string& archiveSizeText) {
    WritePageSize(state_);
    AppendStatRecord(state_.trafficCounter, state_.pageSizeTotal, requested);
    state_.currentPage = {requested, archiveSizeText};
    StoreInHistory(state_);
    host_.ShowFetchedPage();
    host_.AddToAddressList(requested);
}

void PageRequest::Warn(const std::string& text) const {
    if (!silent_)
        ShowMessageBox(MessageKind::Warning, text);
}

void PageRequest::Inform(const std::string& text) const {
    if (!silent_)
        ShowMessageBox(MessageKind::Information, text);
}

bool PageRequest::AskToUnpackAgain() const {
    return !silent_ && ShowMessageBox(MessageKind::Information, "OK - continue, Cancel - abort.",
                                      MessageButtons::OkCancel) == MessageAnswer::Ok;
}

} // namespace zel
