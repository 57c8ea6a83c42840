#include "SentImages.h"

#include "HttpGet.h"
#include "Ssim.h"
#include "Url.h"
#include "VipsImageRef.h"

#include <gumbo.h>
#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <initializer_list>
#include <memory>
#include <stdexcept>

namespace {

// The attributes an original page's <img> takes its picture from: the lazy
// loaders' first, then src and srcset. The archive's page names it in src.
constexpr std::initializer_list<const char*> kOriginalSources{
    "data-src", "data-lazy-src", "data-original", "src", "data-srcset", "srcset"};
constexpr std::initializer_list<const char*> kSentSources{"src"};

// Where each <img> of `html` takes its picture from, in document order (the
// first address of the first of `attributes` that has one); "" for none.
std::vector<std::string> ImageSources(const std::string& html,
                                      std::initializer_list<const char*> attributes) {
    std::unique_ptr<GumboOutput, void (*)(GumboOutput*)> output(
        gumbo_parse_with_options(&kGumboDefaultOptions, html.data(), html.size()),
        [](GumboOutput* done) { gumbo_destroy_output(&kGumboDefaultOptions, done); });
    std::vector<std::string> sources;
    std::vector<const GumboNode*> pending{output->root};
    while (!pending.empty()) {
        const GumboNode* node = pending.back();
        pending.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE)
            continue;
        const GumboElement& element = node->v.element;
        if (element.tag == GUMBO_TAG_IMG) {
            std::string source;
            for (const char* name : attributes) {
                const GumboAttribute* attribute = gumbo_get_attribute(&element.attributes, name);
                if (!attribute)
                    continue;
                const std::string value = zel::service::CleanReference(attribute->value);
                if (!value.empty() && value.rfind("data:", 0) != 0) {
                    source = value.substr(0, value.find(' '));
                    break;
                }
            }
            sources.push_back(source);
        }
        for (unsigned i = element.children.length; i > 0; --i)
            pending.push_back(static_cast<const GumboNode*>(element.children.data[i - 1]));
    }
    return sources;
}

std::map<std::string, std::string> ArchiveFiles(const std::string& path) {
    std::map<std::string, std::string> files;
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (!archive)
        return files;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t stat;
        zip_file_t* file = zip_fopen_index(archive, i, 0);
        if (!file || zip_stat_index(archive, i, 0, &stat) != 0) {
            if (file)
                zip_fclose(file);
            continue;
        }
        std::string bytes(stat.size, '\0');
        if (zip_fread(file, bytes.data(), stat.size) == zip_int64_t(stat.size))
            files[stat.name] = std::move(bytes);
        zip_fclose(file);
    }
    zip_close(archive);
    return files;
}

// The plane as a grey JPEG at `quality`, decoded again: a JPEG's luminance
// at a quality does not depend on its colour.
zel::service::LumaPlane AsJpeg(const zel::service::LumaPlane& plane, int quality) {
    std::vector<unsigned char> pixels;
    pixels.reserve(std::size_t(plane.Width()) * plane.Height());
    for (int y = 0; y < plane.Height(); ++y)
        for (int x = 0; x < plane.Width(); ++x)
            pixels.push_back(
                static_cast<unsigned char>(std::clamp(plane.At(x, y) + 0.5f, 0.f, 255.f)));
    const zel::service::VipsImageRef image(vips_image_new_from_memory(
        pixels.data(), pixels.size(), plane.Width(), plane.Height(), 1, VIPS_FORMAT_UCHAR));
    void* data = nullptr;
    std::size_t size = 0;
    if (!image || vips_jpegsave_buffer(image.get(), &data, &size, "Q", quality, nullptr) != 0) {
        vips_error_clear();
        throw std::runtime_error("cannot encode the JPEG to compare with");
    }
    const std::string bytes(static_cast<const char*>(data), size);
    g_free(data);
    return zel::service::LumaPlane::FromBuffer(bytes);
}

} // namespace

const std::string& SentImages::Original(const std::string& url) {
    auto found = originals_.find(url);
    if (found == originals_.end()) {
        CURL* curl = curl_easy_init();
        std::int64_t received = 0;
        found = originals_.emplace(url, HttpGet(curl, url, received)).first;
        curl_easy_cleanup(curl);
    }
    return found->second;
}

std::vector<SentImage> SentImages::Judge(const std::string& pageUrl, const std::string& archivePath,
                                         int jpegQuality) {
    const std::map<std::string, std::string> files = ArchiveFiles(archivePath);
    const auto page = files.find("page.htm");
    if (page == files.end())
        return {};
    const std::vector<std::string> sent = ImageSources(page->second, kSentSources);
    const std::vector<std::string> shown = ImageSources(Original(pageUrl), kOriginalSources);
    if (sent.size() != shown.size()) {
        std::fprintf(stderr, "%s: %zu <img> in the archive, %zu in the original\n", pageUrl.c_str(),
                     sent.size(), shown.size());
        return {};
    }
    std::vector<SentImage> judged;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        const auto file = files.find(sent[i]);
        const auto address = zel::service::ResolveUrl(pageUrl, shown[i]);
        if (file == files.end() || !address)
            continue;
        try {
            using zel::service::LumaPlane;
            const LumaPlane picture = LumaPlane::FromBuffer(file->second);
            const LumaPlane original = LumaPlane::FromBuffer(Original(*address))
                                           .ScaledTo(picture.Width(), picture.Height());
            SentImage image;
            image.element = int(i);
            image.format = sent[i].substr(sent[i].rfind('.') + 1);
            image.bytes = std::int64_t(file->second.size());
            image.ssim = zel::service::Ssim(original, picture).mean;
            image.jpegSsim = zel::service::Ssim(original, AsJpeg(original, jpegQuality)).mean;
            judged.push_back(image);
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "%s: %s\n", sent[i].c_str(), failure.what());
        }
    }
    return judged;
}
