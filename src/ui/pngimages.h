#pragma once

#include <QImage>
#include <QQuickImageProvider>
#include <QString>

namespace Qolvi_Desktop_Agent {

// Reads a PNG file, scaled down to fit `size` when one is given. Told the format, Qt's reader does
// not load every image format plugin to ask each whether it knows the file: for two logos and an
// icon, a megabyte of libraries and their start-up time.
[[nodiscard]] QImage readPng(const QString &path, QSize size = {});

// The window's images, by name: "image://qolvi/logo-dark" is the resource logo-dark.png.
class PngImageProvider : public QQuickImageProvider {
public:
    static constexpr const char *id = "qolvi";

    PngImageProvider()
        : QQuickImageProvider(QQuickImageProvider::Image) {}

    QImage requestImage(const QString &name, QSize *size, const QSize &requestedSize) override;
};

} // namespace Qolvi_Desktop_Agent
