#include "TestImages.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>

#include <cstdint>
#include <stdexcept>

namespace {

std::string EncodedImage(const QImage& image, const char* format, int quality = -1) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format, quality))
        throw std::runtime_error(std::string("cannot encode a test image as ") + format);
    return bytes.toStdString();
}

} // namespace

// A photo-like JPEG: smooth colour gradients under fine noise.
std::string Photo() {
    QImage image(480, 360, QImage::Format_RGB32);
    std::uint32_t noise = 12345;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            noise = noise * 1103515245u + 12345u;
            const int grain = static_cast<int>((noise >> 16) % 24);
            image.setPixel(x, y,
                           qRgb((x * 255 / image.width() + grain) % 256,
                                (y * 255 / image.height() + grain) % 256,
                                (128 + x - y + grain + 512) % 256));
        }
    return EncodedImage(image, "JPG", 95);
}

// A small flat drawing as PNG, the style sheet's background.
std::string Stripes() {
    QImage image(32, 8, QImage::Format_RGB32);
    QPainter painter(&image);
    for (int i = 0; i < 4; ++i)
        painter.fillRect(i * 8, 0, 8, 8, i % 2 ? Qt::darkBlue : Qt::yellow);
    painter.end();
    return EncodedImage(image, "PNG");
}
