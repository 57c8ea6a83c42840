#pragma once
// The pictures an archive sends for the <img> elements of its page, each
// judged against the picture the original page shows there (fetched from the
// origin, scaled to the sent size). Elements pair up in document order;
// pictures in frames and style sheets are not counted.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct SentImage {
    int element = 0;    // index of the <img> in the page
    std::string format; // the sent file's extension
    std::int64_t bytes = 0;
    double ssim = 0;     // mean SSIM on luminance against the original
    double jpegSsim = 0; // the same for a JPEG of the original at the setting's quality
};

class SentImages {
public:
    // The original page's and pictures' bytes are kept for the next setting.
    std::vector<SentImage> Judge(const std::string& pageUrl, const std::string& archivePath,
                                 int jpegQuality);

private:
    const std::string& Original(const std::string& url);

    std::map<std::string, std::string> originals_;
};
