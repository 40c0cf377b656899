#include "ui/artwork.h"

#include <QFile>
#include <QtGlobal>

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <mutex>

#include <jpeglib.h>

// The pictures are compiled in from assets/assets.qrc. Registering them here
// keeps the resource data linked in when this file sits in a static library;
// the macro must be used outside any namespace.
static void RegisterArtworkResources() {
    static std::once_flag once;
    std::call_once(once, [] { Q_INIT_RESOURCE(assets); });
}

namespace koravel {

namespace {

// Pictures larger than this are refused before any pixel memory is taken, so a
// damaged header cannot ask for gigabytes. The window's own pictures are tiny.
constexpr unsigned long long kMaxPixels = 64ull * 1024 * 1024;

// libjpeg reports a fatal error by calling error_exit, which by default ends
// the process. This manager jumps back to the decoder instead, and treats
// warnings (damaged entropy data, a stream cut short) the same way: a picture
// with holes in it is not a picture the window should show.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(err->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
    if (level < 0) {
        OnError(cinfo);
    }
}

void Quiet(j_common_ptr) {}

// Everything that must survive a longjmp lives here, in the caller's frame;
// the function that calls setjmp owns no object with a destructor.
struct Decoder {
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    QImage image;
};

// Adobe's CMYK JPEGs store the inks inverted: 255 is no ink.
void CmykRowToRgb(const JSAMPLE* in, QRgb* out, JDIMENSION width) {
    for (JDIMENSION x = 0; x < width; ++x, in += 4) {
        const int k = in[3];
        out[x] = qRgb(in[0] * k / 255, in[1] * k / 255, in[2] * k / 255);
    }
}

// The decoding proper. Any libjpeg call may leave it by a longjmp to Decode.
bool DecodeUnguarded(Decoder& d, const unsigned char* data, unsigned long size) {
    jpeg_mem_src(&d.cinfo, data, size);
    if (jpeg_read_header(&d.cinfo, TRUE) != JPEG_HEADER_OK) {
        return false;
    }

    QImage::Format format = QImage::Format_RGB888;
    switch (d.cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
        d.cinfo.out_color_space = JCS_GRAYSCALE;
        format = QImage::Format_Grayscale8;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        d.cinfo.out_color_space = JCS_CMYK;
        format = QImage::Format_RGB32;
        break;
    default:
        d.cinfo.out_color_space = JCS_RGB;
        break;
    }

    const unsigned long long pixels =
        static_cast<unsigned long long>(d.cinfo.image_width) * d.cinfo.image_height;
    if (pixels == 0 || pixels > kMaxPixels) {
        return false;
    }

    jpeg_start_decompress(&d.cinfo);
    const JDIMENSION width = d.cinfo.output_width;
    const int components = d.cinfo.output_components;
    if ((format == QImage::Format_Grayscale8 && components != 1) ||
        (format == QImage::Format_RGB888 && components != 3) ||
        (format == QImage::Format_RGB32 && components != 4)) {
        return false;
    }
    d.image = QImage(static_cast<int>(width), static_cast<int>(d.cinfo.output_height), format);
    if (d.image.isNull()) {
        return false;
    }

    // CMYK rows need a conversion buffer; the others decode straight into the
    // picture's own rows. libjpeg allocates the buffer in its image pool, so
    // jpeg_destroy releases it whatever happens.
    JSAMPARRAY cmykRow = nullptr;
    if (format == QImage::Format_RGB32) {
        cmykRow = (*d.cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&d.cinfo),
                                               JPOOL_IMAGE, width * 4, 1);
    }
    while (d.cinfo.output_scanline < d.cinfo.output_height) {
        const int y = static_cast<int>(d.cinfo.output_scanline);
        if (cmykRow) {
            if (jpeg_read_scanlines(&d.cinfo, cmykRow, 1) != 1) {
                return false;
            }
            CmykRowToRgb(cmykRow[0], reinterpret_cast<QRgb*>(d.image.scanLine(y)), width);
        } else {
            JSAMPROW row = d.image.scanLine(y);
            if (jpeg_read_scanlines(&d.cinfo, &row, 1) != 1) {
                return false;
            }
        }
    }
    jpeg_finish_decompress(&d.cinfo);
    return true;
}

// Kept apart from the decoding so that no local variable of the frame that
// calls setjmp changes after it.
bool Decode(Decoder& d, const unsigned char* data, unsigned long size) {
    if (setjmp(d.err.jump)) {
        return false;
    }
    return DecodeUnguarded(d, data, size);
}

} // namespace

QImage DecodeJpeg(const QByteArray& data) {
    if (data.isEmpty()) {
        return QImage();
    }
    Decoder d;
    d.cinfo.err = jpeg_std_error(&d.err.pub);
    d.err.pub.error_exit = OnError;
    d.err.pub.emit_message = OnMessage;
    d.err.pub.output_message = Quiet;
    jpeg_create_decompress(&d.cinfo);
    const bool ok = Decode(d, reinterpret_cast<const unsigned char*>(data.constData()),
                           static_cast<unsigned long>(data.size()));
    jpeg_destroy_decompress(&d.cinfo);
    return ok ? d.image : QImage();
}

QImage LoadArtwork(const QString& name) {
    RegisterArtworkResources();
    QFile file(QStringLiteral(":/assets/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("artwork: %s is not among the compiled-in pictures", qPrintable(name));
        return QImage();
    }
    const QImage image = DecodeJpeg(file.readAll());
    if (image.isNull()) {
        qWarning("artwork: %s cannot be decoded", qPrintable(name));
    }
    return image;
}

QIcon ApplicationIcon() {
    RegisterArtworkResources();
    QIcon icon;
    for (const int size : {48, 128, 256}) {
        const QString path = QStringLiteral(":/assets/icon%1.png").arg(size);
        if (!QFile::exists(path)) {
            qWarning("artwork: %s is not among the compiled-in pictures", qPrintable(path));
            continue;
        }
        icon.addFile(path, QSize(size, size));
    }
    return icon;
}

} // namespace koravel
