#pragma once
// The files a Windows resource compiler reads, made from painted images:
// BMP (a file header and a device-independent bitmap), ICO and CUR (a
// directory of device-independent bitmaps with transparency masks). Every
// depth is written exactly as asked, so that a loader can check it.

#include <QByteArray>
#include <QImage>

#include <vector>

namespace skinart {

// A bottom-up BMP at 24 bits per pixel, or at 8 with a 256-colour table;
// what the image leaves transparent shows the controls' colour.
[[nodiscard]] QByteArray BmpFile(const QImage& image, int bitsPerPixel);

// An icon with one image per entry of images (square, at most 255 pixels),
// at 32 bits per pixel (with alpha) or at 8 (256 colours; pixels under half
// opacity become transparent through the mask).
[[nodiscard]] QByteArray IconFile(const std::vector<QImage>& images, int bitsPerPixel);

// A black-and-white cursor: opaque pixels lighter than middle grey are
// white, other opaque ones black, the rest transparent.
[[nodiscard]] QByteArray CursorFile(const QImage& image, int hotX, int hotY);

} // namespace skinart
