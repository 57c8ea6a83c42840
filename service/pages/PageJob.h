#pragma once
// One page job: fetches the page, has it and its frames and style sheets
// rewritten, fetches every resource they name once (within the job's limits),
// recompresses the images (two at once) and lays out the archive's entries.
// A resource that fails is left out and its references point nowhere; only a
// failure of the page itself fails the job. What another job made of the
// same bytes with the same settings is taken from the shared cache instead
// of made again.

#include "DocumentNames.h"
#include "Fetcher.h"
#include "ImageBudget.h"
#include "ImagesAtOnce.h"
#include "PageArchive.h"
#include "PageLimits.h"
#include "PageTypes.h"
#include "RenderedPage.h"
#include "ResourceSink.h"
#include "SharedCache.h"
#include "Splice.h"
#include "StageClock.h"

#include <chrono>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zel::service {

class PageJob : public ResourceSink {
public:
    PageJob(const PageRequest& request, const PageLimits& limits, Fetcher& fetcher,
            SharedCache* cache = nullptr);

    // Throws PageError when the page cannot be had.
    PageArchive Make();

    int Register(const std::string& url, ResourceKind kind, ImageBox box, int depth) override;

    // Where the job's processor time went; packing the archive counts too.
    StageClock& Clock() { return clock_; }

    // Whether the page was made whole: nothing left out for time, bytes or
    // a failure (but one that fails alike for every user), every image
    // given all its candidates, rendered when meant to be. Only such a page
    // is what the same responses always make.
    bool Complete() const { return complete_; }

private:
    struct Resource {
        std::string url;
        ResourceKind kind;
        ImageBox box; // of every reference to it (MergedBox)
        int depth = 0;
        std::string name;  // in page.files/; empty while not (or never) fetched
        int document = -1; // a style sheet's: whose elements its rules are judged by
    };
    // A document or style sheet of the archive, finished once every resource
    // it names has its local name.
    struct TextFile {
        std::string entry;  // archive entry name
        std::string source; // as fetched
        std::vector<Edit> edits;
        std::string prefix; // from the file's folder to page.files
    };

    void AddDocument(const FetchResult& fetched, const std::string& entry,
                     const std::string& prefix, int frameDepth);
    const DocumentNames* NamesOf(int document) const;
    void ProcessQueues();
    void Process(int id);
    void LeaveOut(Resource& resource);
    void StoreImage(int id, const FetchResult& fetched);
    void FinishImage(ImagesAtOnce::Finished finished);
    ImageBox LaidOutBox(const Resource& resource) const;
    void StoreFont(Resource& resource, const FetchResult& fetched);
    void StoreRaw(Resource& resource, const FetchResult& fetched);
    ImageBudget NextImageBudget() const;
    void Store(Resource& resource, std::string bytes, const std::string& extension);
    bool StoreMade(Resource& resource, const std::string& recipe, const std::string& hash);
    void KeepMade(const std::string& recipe, const std::string& hash, const std::string& bytes,
                  std::string_view extension);
    std::string HashOf(const FetchResult& fetched) const;
    std::string NextName(const std::string& extension);
    FetchResult FetchPage();
    FetchResult WrapImage(const FetchResult& image);

    PageRequest request_;
    PageLimits limits_;
    Fetcher& fetcher_;
    SharedCache* cache_;
    std::chrono::steady_clock::time_point deadline_;
    std::string pageUrl_;

    // A deque: rewriting a style sheet or frame registers more resources
    // while the one being processed is still referred to.
    std::deque<Resource> resources_;
    std::map<std::string, int> byKey_;
    std::deque<int> textQueue_;   // style sheets and frames first: they name more
    std::deque<int> binaryQueue_; // images and the rest
    // Fetched already: the page when it is an image, what the renderer
    // fetched, a style sheet that another document may name too.
    std::map<std::string, FetchResult> prefetched_;
    // Where the renderer showed each image; empty when the page was not
    // rendered. For the image step to size images by.
    ShownBoxes shownBoxes_;
    // What the renderer asked for, when it rendered the page: a font it never
    // asked for shows on none of the page's elements and is left out.
    std::optional<std::set<std::string>> renderedRequests_;
    std::string wrappedImage_; // the address, when the page is an image alone
    std::vector<TextFile> texts_;
    // Of each document whose style rules are judged (none while scripts are
    // kept: they may add any element). A deque: the rewriters hold them.
    std::deque<DocumentNames> documentNames_;
    int judging_ = -1; // the document of the style sheets registered now
    std::vector<std::pair<std::string, std::string>> binaries_; // name, bytes
    bool budgetSpent_ = false;                                  // the job's bytes ran out
    bool complete_ = true;
    int nameCounter_ = 0;
    int frameCounter_ = 0;
    mutable StageClock clock_; // timing only: no part of what the job makes
    // The images being made, and the cache key each is kept under: last, so
    // that every image has ended before anything it uses goes.
    std::map<int, std::pair<std::string, std::string>> madeAs_; // recipe, content hash
    ImagesAtOnce images_;
};

} // namespace zel::service
