#include "pngimages.h"

#include <QImageReader>

namespace Qolvi_Desktop_Agent {

QImage readPng(const QString &path, QSize size) {
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    // Scaled down only: a larger image would add no detail, only memory.
    const QSize natural = reader.size();
    if (size.isValid() && (natural.width() > size.width() || natural.height() > size.height())) {
        reader.setScaledSize(natural.scaled(size, Qt::KeepAspectRatio));
    }
    return reader.read();
}

QImage PngImageProvider::requestImage(const QString &name, QSize *size,
                                      const QSize &requestedSize) {
    // Only the width or only the height may be asked for; the other follows the image.
    const bool scaled = requestedSize.width() > 0 || requestedSize.height() > 0;
    const QSize bound(requestedSize.width() > 0 ? requestedSize.width() : 1 << 16,
                      requestedSize.height() > 0 ? requestedSize.height() : 1 << 16);
    const QImage image =
        readPng(QStringLiteral(":/Qolvi/%1.png").arg(name), scaled ? bound : QSize());
    if (size != nullptr) {
        *size = image.size();
    }
    return image;
}

} // namespace Qolvi_Desktop_Agent
