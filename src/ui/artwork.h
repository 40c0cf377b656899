// The window's pictures: JPEG files compiled in as Qt resources, decoded with
// libjpeg at start.
#pragma once

#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QString>

namespace koravel {

// Decodes JPEG bytes with libjpeg. A null image when the data is not a JPEG
// that libjpeg can read (never throws, never aborts).
QImage DecodeJpeg(const QByteArray& data);

// One of the compiled-in pictures by file name ("panel.jpg", "marker.jpg",
// "lamp1.jpg" .. "lamp4.jpg"); a null image when it is missing or unreadable.
QImage LoadArtwork(const QString& name);

// The program's icon from the compiled-in PNGs at 48, 128 and 256 pixels (the
// same pictures as the installed desktop icon).
QIcon ApplicationIcon();

} // namespace koravel
