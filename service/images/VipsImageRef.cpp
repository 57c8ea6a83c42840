#include "VipsImageRef.h"

#include "ImageFormat.h"

#include <mutex>

namespace zel::service {

void InitVipsOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (VIPS_INIT("zelservice") != 0)
            return;
        // libvips warns about what it reads (damaged pictures from the web,
        // colour profiles it ignores): noise in the service's log.
        g_log_set_handler(
            "VIPS", G_LOG_LEVEL_WARNING,
            [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
        vips_cache_set_max(0);
        vips_concurrency_set(1);
        vips_operation_block_set("VipsForeignLoad", TRUE);
        for (ImageFormat format :
             {ImageFormat::Jpeg, ImageFormat::Png, ImageFormat::Gif, ImageFormat::Webp}) {
            const GType type = vips_type_find("VipsOperation", ImageLoader(format));
            if (type != 0)
                vips_operation_block_set(g_type_name(type), FALSE);
        }
        // AVIF is decoded only to judge the service's own encodings: an AVIF
        // from the web passes unread (see PassedImage).
        vips_operation_block_set("VipsForeignLoadHeifBuffer", FALSE);
    });
}

} // namespace zel::service
