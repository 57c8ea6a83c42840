#include "PageJob.h"

#include "AsciiText.h"
#include "ContentHash.h"
#include "CssRewriter.h"
#include "FetchedBodies.h"
#include "HtmlRewriter.h"
#include "ImageShrinker.h"
#include "NestingScan.h"
#include "OutputGuard.h"
#include "PageError.h"
#include "PageRendering.h"
#include "PassedImage.h"
#include "ProcessorTime.h"
#include "SvgCheck.h"
#include "Url.h"
#include "WebFont.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <set>
#include <thread>

namespace zel::service {
namespace {

// The machine's cores are shared by the jobs: an image takes two at most,
// and two images are made at once.
constexpr int kImageWorkers = 2;
constexpr int kImagesAtOnce = 2;
constexpr int kShareOfLeft = 8;

// What shapes a made image or font, for the shared cache: the step's version
// (raise it when the step makes something else of the same bytes) and every
// setting it reads.
std::string ImageRecipe(const ImageSettings& settings, ImageBox box, std::int64_t maxPixels) {
    return "image1/" + std::to_string(settings.quality) + "/" + std::to_string(settings.colors) +
           "/" + (settings.gray ? "gray" : "colour") + "/" + std::to_string(box.width) + "x" +
           std::to_string(box.height) + "/" + std::to_string(maxPixels);
}

std::string FontRecipe(int maxDecodedRatio) {
    return "font1/" + std::to_string(maxDecodedRatio);
}

// Whether bytes from the cache are the image their extension names (AVIF is
// written, never sniffed for decoding).
bool IsImageOf(const std::string& bytes, const std::string& extension) {
    const ImageFormat format = SniffImageFormat(bytes);
    if (format != ImageFormat::Unknown)
        return extension == ImageExtension(format);
    return extension == "avif" && PassedImageExtension(bytes) == "avif";
}

bool IsShortExtension(const std::string& text) {
    return !text.empty() && text.size() <= 5 &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) {
               return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
           });
}

std::string FileNameOf(const std::string& url) {
    std::string path = url.substr(0, url.find_first_of("?#"));
    return path.substr(path.find_last_of('/') + 1);
}

// The file name extension a stored resource gets, so that the browser's view
// takes it for what it is when shown from disk.
std::string ExtensionFor(const FetchResult& fetched, const std::string& url) {
    static const std::map<std::string, std::string> byType{{"text/css", "css"},
                                                           {"image/svg+xml", "svg"},
                                                           {"image/avif", "avif"},
                                                           {"image/bmp", "bmp"},
                                                           {"image/x-icon", "ico"},
                                                           {"image/vnd.microsoft.icon", "ico"},
                                                           {"font/woff2", "woff2"},
                                                           {"font/woff", "woff"},
                                                           {"font/ttf", "ttf"},
                                                           {"font/otf", "otf"},
                                                           {"application/font-woff", "woff"},
                                                           {"text/javascript", "js"},
                                                           {"application/javascript", "js"}};
    if (const auto known = byType.find(fetched.contentType); known != byType.end())
        return known->second;
    const std::string name = FileNameOf(url);
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos) {
        const std::string extension = Lower(name.substr(dot + 1));
        if (IsShortExtension(extension))
            return extension;
    }
    return "bin";
}

bool NestsTooDeeply(const std::string& html, int limit) {
    return EstimateNestingDepth(html, limit) > limit;
}

// Already compressed formats gain nothing from deflating.
bool ShouldDeflate(const std::string& name) {
    const std::string extension = name.substr(name.find_last_of('.') + 1);
    return !(extension == "jpg" || extension == "png" || extension == "gif" ||
             extension == "webp" || extension == "woff" || extension == "woff2" ||
             extension == "avif");
}

} // namespace

PageJob::PageJob(const PageRequest& request, const PageLimits& limits, Fetcher& fetcher,
                 SharedCache* cache)
    : request_(request), limits_(limits), fetcher_(fetcher), cache_(cache),
      deadline_(std::chrono::steady_clock::now() + std::chrono::seconds(limits.resourceSeconds)),
      images_(kImagesAtOnce, limits.maxImagePixels) {}

PageArchive PageJob::Make() {
    FetchResult page = FetchPage();
    if (IsHtml(page))
        if (auto rendered = RenderFetchedPage(page, request_, limits_, fetcher_)) {
            complete_ = rendered->rendered;
            if (rendered->rendered) {
                page = std::move(rendered->page);
                shownBoxes_ = std::move(rendered->boxes);
                renderedRequests_.emplace();
                for (const auto& fetched : rendered->fetched)
                    renderedRequests_->insert(fetched.first);
            }
            prefetched_.merge(rendered->fetched); // nothing fetched twice, rendered or not
        }
    pageUrl_ = page.finalUrl;
    AddDocument(IsHtml(page) ? page : WrapImage(page), "page.htm", kFilesFolder, 0);
    ProcessQueues();

    const StageClock::Scope packing(&clock_, Stage::Pack);
    std::set<std::string, std::less<>> stored;
    for (const Resource& resource : resources_)
        if (!resource.name.empty())
            stored.insert(resource.name);
    PageArchive archive;
    for (TextFile& file : texts_) {
        std::string text = ApplyEdits(file.source, std::move(file.edits), [&](int id) {
            const std::string& name = resources_[std::size_t(id)].name;
            return name.empty() ? std::string(kNowhere) : file.prefix + name;
        });
        if (file.entry.ends_with(".htm") && !limits_.keepScripts)
            text = GuardOutput(std::move(text), [&](std::string_view reference) {
                return reference.starts_with(file.prefix) &&
                       stored.count(reference.substr(file.prefix.size())) > 0;
            });
        archive.Add(file.entry, std::move(text), true);
    }
    for (auto& [name, bytes] : binaries_)
        archive.Add(kFilesFolder + name, std::move(bytes), ShouldDeflate(name));
    return archive;
}

FetchResult PageJob::FetchPage() {
    if (!ResolveUrl({}, request_.url))
        throw PageError(FailureKind::AddressRefused, "not a web address");
    FetchResult page = [&] {
        const StageClock::Scope fetching(&clock_, Stage::Fetch);
        return fetcher_.Fetch(request_.url, std::min(limits_.maxPageBytes, limits_.maxJobBytes),
                              limits_.fetchTimeoutSeconds);
    }();
    DecodeDocument(page);
    if (IsHtml(page)) {
        if (NestsTooDeeply(page.body, limits_.maxNestingDepth))
            throw PageError(FailureKind::NestedTooDeeply, "nested too deeply");
        return page;
    }
    if (page.status >= 400)
        throw PageError(FailureKind::OriginError, "origin answered " + std::to_string(page.status));
    if (SniffImageFormat(page.body) == ImageFormat::Unknown)
        throw PageError(FailureKind::NotAPage, "not an HTML page");
    return page;
}

// An address that shows an image alone gets a page of its own around it; the
// image already fetched is not fetched again.
FetchResult PageJob::WrapImage(const FetchResult& image) {
    const std::string title = EscapeAttribute(FileNameOf(image.finalUrl));
    FetchResult page;
    page.status = image.status;
    page.contentType = "text/html";
    page.charset = "utf-8";
    page.finalUrl = image.finalUrl;
    page.body = "<!DOCTYPE html><html><head><title>" + title + "</title></head><body><img src=\"" +
                EscapeAttribute(image.finalUrl) + "\" alt=\"" + title + "\"></body></html>";
    prefetched_[image.finalUrl] = image;
    wrappedImage_ = image.finalUrl;
    return page;
}

void PageJob::AddDocument(const FetchResult& fetched, const std::string& entry,
                          const std::string& prefix, int frameDepth) {
    HtmlContext context;
    context.url = fetched.finalUrl;
    context.charset = ChooseCharset(fetched.body, fetched.charset);
    context.images = request_.image.images;
    context.keepScripts = limits_.keepScripts;
    context.frameDepth = frameDepth;
    judging_ = -1;
    if (!limits_.keepScripts) {
        judging_ = int(documentNames_.size());
        DocumentNames& names = documentNames_.emplace_back();
        if (frameDepth == 0) { // the browser appends a link back to the page's address
            names.AddElement("br");
            names.AddElement("a");
        }
        context.names = &names;
    }
    // Edits refer to offsets in `source`, which is moved in only afterwards
    // (moving a string keeps its bytes where they are).
    TextFile file{entry, fetched.body, {}, prefix};
    const StageClock::Scope rewriting(&clock_, Stage::Rewrite);
    file.edits = RewriteHtml(file.source, context, *this);
    texts_.push_back(std::move(file));
}

const DocumentNames* PageJob::NamesOf(int document) const {
    return document < 0 ? nullptr : &documentNames_[std::size_t(document)];
}

int PageJob::Register(const std::string& url, ResourceKind kind, ImageBox box, int depth) {
    // A style sheet is rewritten for the document it applies to: one named
    // by a frame too is carried once for each.
    std::string key = std::to_string(int(kind)) + url;
    if (kind == ResourceKind::StyleSheet)
        key = std::to_string(judging_) + "/" + key;
    if (const auto known = byKey_.find(key); known != byKey_.end()) {
        Resource& resource = resources_[std::size_t(known->second)];
        resource.box = MergedBox(resource.box, box);
        return known->second;
    }
    if (kind == ResourceKind::Document && depth > limits_.maxFrameDepth)
        return -1;
    if (kind == ResourceKind::StyleSheet && depth > limits_.maxImportDepth)
        return -1;
    if (int(resources_.size()) >= limits_.maxResources)
        return -1;
    const int id = int(resources_.size());
    resources_.push_back(
        {url, kind, box, depth, {}, kind == ResourceKind::StyleSheet ? judging_ : -1});
    byKey_[key] = id;
    const bool names = kind == ResourceKind::StyleSheet || kind == ResourceKind::Document;
    (names ? textQueue_ : binaryQueue_).push_back(id);
    return id;
}

void PageJob::ProcessQueues() {
    while (!textQueue_.empty() || !binaryQueue_.empty()) {
        std::deque<int>& queue = textQueue_.empty() ? binaryQueue_ : textQueue_;
        const int id = queue.front();
        queue.pop_front();
        Process(id);
    }
    while (images_.Running())
        FinishImage(images_.TakeOldest());
}

void PageJob::Process(int id) {
    Resource& resource = resources_[std::size_t(id)];
    const auto now = std::chrono::steady_clock::now();
    const std::int64_t budget = limits_.maxJobBytes - fetcher_.WireBytes();
    if (now >= deadline_ || budget <= 0 || budgetSpent_) {
        complete_ = false;
        return; // left out: the page is packed with what it has
    }
    if (resource.kind == ResourceKind::Font && renderedRequests_ &&
        !renderedRequests_->contains(resource.url.substr(0, resource.url.find('#'))))
        return;
    FetchResult fetched;
    if (auto prefetched = prefetched_.find(resource.url); prefetched != prefetched_.end()) {
        fetched = std::move(prefetched->second);
        prefetched_.erase(prefetched);
    } else {
        std::int64_t maxBody = budget;
        if (resource.kind == ResourceKind::StyleSheet)
            maxBody = std::min(maxBody, limits_.maxStyleSheetBytes);
        if (resource.kind == ResourceKind::Document)
            maxBody = std::min(maxBody, limits_.maxPageBytes);
        const auto left = std::chrono::duration_cast<std::chrono::seconds>(deadline_ - now).count();
        const int timeout = int(std::clamp<std::int64_t>(left, 1, limits_.fetchTimeoutSeconds));
        try {
            const StageClock::Scope fetching(&clock_, Stage::Fetch);
            fetched = fetcher_.Fetch(resource.url, maxBody, timeout, pageUrl_);
        } catch (const PageError& error) {
            if (error.Kind() == FailureKind::OutOfMemory)
                throw;
            // Cut off at the job's bytes: every further fetch would be too.
            budgetSpent_ = maxBody == budget && error.Kind() == FailureKind::TooBig;
            complete_ = complete_ && FailsAlike(error.Kind());
            return;
        }
    }
    if (fetched.status >= 400)
        return;
    try {
        switch (resource.kind) {
        case ResourceKind::StyleSheet: {
            if (resource.document >= 0) // another document may name it: fetched once
                prefetched_.emplace(resource.url, fetched);
            DecodeStyleSheet(fetched);
            resource.name = NextName("css");
            TextFile file{kFilesFolder + resource.name, std::move(fetched.body), {}, ""};
            const StageClock::Scope rewriting(&clock_, Stage::Rewrite);
            judging_ = resource.document; // for what it imports
            file.edits = RewriteCss(file.source,
                                    {fetched.finalUrl, request_.image.images, resource.depth,
                                     NamesOf(resource.document)},
                                    *this);
            texts_.push_back(std::move(file));
            break;
        }
        case ResourceKind::Document:
            DecodeDocument(fetched);
            if (!IsHtml(fetched) || NestsTooDeeply(fetched.body, limits_.maxNestingDepth))
                return;
            resource.name = "page" + std::to_string(++frameCounter_) + ".htm";
            AddDocument(fetched, kFilesFolder + resource.name, "", resource.depth);
            break;
        case ResourceKind::Image:
            StoreImage(id, fetched);
            break;
        case ResourceKind::Font:
            StoreFont(resource, fetched);
            break;
        case ResourceKind::Other:
            StoreRaw(resource, fetched);
            break;
        }
    } catch (const PageError&) {
        LeaveOut(resource);
    }
}

// Called while a PageError is handled: this resource is left out and the
// page goes on, unless the resource is the page.
void PageJob::LeaveOut(Resource& resource) {
    if (resource.url == wrappedImage_)
        throw;
    resource.name.clear();
    complete_ = false;
}

void PageJob::StoreImage(int id, const FetchResult& fetched) {
    Resource& resource = resources_[std::size_t(id)];
    const ImageFormat format = SniffImageFormat(fetched.body);
    if (format == ImageFormat::Unknown) {
        // Whatever else an image address gives (an error page, a script)
        // would only show as a broken image: it is left out, and so is an
        // SVG that would run or load anything when opened on its own.
        const auto extension = PassedImageExtension(fetched.body);
        if (!extension.empty() && (extension != "svg" || IsInertSvg(fetched.body)))
            Store(resource, fetched.body, std::string(extension));
        return;
    }
    if (fetched.noTransform) {
        Store(resource, fetched.body, ImageExtension(format));
        return;
    }
    const ImageBox box = LaidOutBox(resource);
    const std::string recipe = ImageRecipe(request_.image, box, limits_.maxImagePixels);
    const std::string hash = HashOf(fetched);
    if (StoreMade(resource, recipe, hash))
        return;
    const std::int64_t pixels = PixelsHeld(fetched.body, limits_.maxImagePixels);
    while (!images_.HasRoomFor(pixels))
        FinishImage(images_.TakeOldest());
    madeAs_[id] = {recipe, hash};
    images_.Start(id, pixels,
                  [original = fetched.body, settings = request_.image, box,
                   maxPixels = limits_.maxImagePixels,
                   budget = NextImageBudget()](bool& leftOut) mutable {
                      budget.leftOut = &leftOut;
                      return ShrinkImage(original, settings, box, maxPixels, budget);
                  });
}

void PageJob::FinishImage(ImagesAtOnce::Finished finished) {
    Resource& resource = resources_[std::size_t(finished.tag)];
    const auto [recipe, hash] = madeAs_.extract(finished.tag).mapped();
    try {
        if (finished.failure)
            std::rethrow_exception(finished.failure);
        ShrunkImage& image = finished.image;
        // Every candidate was tried, however long it took: what any make gives.
        if (!finished.leftOut)
            KeepMade(recipe, hash, image.bytes, ImageExtension(image.format));
        else
            complete_ = false;
        Store(resource, std::move(image.bytes), ImageExtension(image.format));
    } catch (const PageError&) {
        LeaveOut(resource);
    }
}

// The box the browser laid the image out in, where the page was rendered and
// showed it; else what its markup tells.
ImageBox PageJob::LaidOutBox(const Resource& resource) const {
    const auto shown = shownBoxes_.byUrl.find(resource.url);
    if (shown == shownBoxes_.byUrl.end() || shown->second.width < 1 || shown->second.height < 1)
        return resource.box;
    return {int(std::ceil(shown->second.width)), int(std::ceil(shown->second.height))};
}

// A font costs only itself: whatever else comes in its place, and a font the
// re-encoder fails on, even for want of memory, is left out alone.
void PageJob::StoreFont(Resource& resource, const FetchResult& fetched) {
    if (FontExtension(fetched.body).empty())
        return;
    const std::int64_t maxUnpacked = std::int64_t(fetched.body.size()) * limits_.maxDecodedRatio;
    const std::string recipe = FontRecipe(limits_.maxDecodedRatio);
    const std::string hash = fetched.noTransform ? std::string() : HashOf(fetched);
    std::string font;
    const auto made = hash.empty() ? std::nullopt : cache_->FindMade(recipe, hash);
    if (made && !FontExtension(made->bytes).empty()) {
        font = made->bytes;
    } else {
        try {
            font = fetched.noTransform ? fetched.body : ShrinkFont(fetched.body, maxUnpacked);
        } catch (const std::exception&) {
            complete_ = false;
            return;
        }
        if (!hash.empty())
            KeepMade(recipe, hash, font, FontExtension(font));
    }
    if (limits_.maxFontBytes > 0 && std::int64_t(font.size()) > limits_.maxFontBytes)
        return; // left out: the page shows in its fallback fonts
    const std::string extension(FontExtension(font));
    Store(resource, std::move(font), extension);
}

void PageJob::StoreRaw(Resource& resource, const FetchResult& fetched) {
    const ImageFormat format = SniffImageFormat(fetched.body);
    Store(resource, fetched.body,
          format != ImageFormat::Unknown ? ImageExtension(format)
                                         : ExtensionFor(fetched, resource.url));
}

void PageJob::Store(Resource& resource, std::string bytes, const std::string& extension) {
    resource.name = NextName(extension);
    binaries_.emplace_back(resource.name, std::move(bytes));
}

// An equal share of the time left to each image still to come, so one slow
// image cannot starve the rest; encoders run side by side only as far as the
// processor time left to the job allows (a quarter kept for the rest of it).
ImageBudget PageJob::NextImageBudget() const {
    const int imagesLeft =
        1 + int(std::count_if(binaryQueue_.begin(), binaryQueue_.end(), [&](int id) {
            return resources_[std::size_t(id)].kind == ResourceKind::Image;
        }));
    const auto now = std::chrono::steady_clock::now();
    const auto wallLeft = std::chrono::duration<double>(deadline_ - now).count();
    const int workers =
        std::max(1, std::min<int>(kImageWorkers, std::thread::hardware_concurrency()));
    const double left = std::min(wallLeft, 0.75 * ProcessorSecondsLeft() / workers);
    // Images made side by side each take longer, as long as their turns
    // overlap. A photo among many icons needs more than an even share: an
    // image may take an eighth of what is left, which still leaves the most
    // of it to those after it.
    const double share =
        std::min(wallLeft, std::max(left * kImagesAtOnce / imagesLeft, left / kShareOfLeft));
    return {now + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                      std::chrono::duration<double>(std::max(0.0, share))),
            workers, &clock_};
}

// The content hash of what was fetched; empty without a cache.
std::string PageJob::HashOf(const FetchResult& fetched) const {
    if (cache_ == nullptr)
        return {};
    return fetched.contentHash.empty() ? ContentHash(fetched.body) : fetched.contentHash;
}

// Stores the image the cache holds for these bytes made this way; false when
// it holds none (or what it holds is not the image it names).
bool PageJob::StoreMade(Resource& resource, const std::string& recipe, const std::string& hash) {
    if (cache_ == nullptr)
        return false;
    auto made = cache_->FindMade(recipe, hash);
    if (!made || !IsImageOf(made->bytes, made->extension))
        return false;
    Store(resource, std::move(made->bytes), made->extension);
    return true;
}

void PageJob::KeepMade(const std::string& recipe, const std::string& hash, const std::string& bytes,
                       std::string_view extension) {
    if (cache_ != nullptr)
        cache_->KeepMade(recipe, hash, {bytes, std::string(extension)});
}

std::string PageJob::NextName(const std::string& extension) {
    return std::to_string(++nameCounter_) + "." + extension;
}

} // namespace zel::service
