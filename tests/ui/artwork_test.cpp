// The window's pictures: the compiled-in JPEG files and the libjpeg decoder
// that reads them, including data that is not a JPEG at all.
#include "ui/artwork.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QIcon>
#include <QRect>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include <jpeglib.h>

namespace {

using koravel::DecodeJpeg;
using koravel::LoadArtwork;

// Pixel colour as a function of (x, y), in the encoder's colour space.
using PixelFn = std::function<void(int x, int y, JSAMPLE* out)>;

// Compresses a picture with libjpeg, to have JPEG data of a known content.
QByteArray EncodeJpeg(int width, int height, int components, J_COLOR_SPACE space,
                      const PixelFn& pixel, bool progressive = false) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    if (progressive) {
        jpeg_simple_progression(&cinfo);
    }
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(width * components));
    while (cinfo.next_scanline < cinfo.image_height) {
        for (int x = 0; x < width; ++x) {
            pixel(x, static_cast<int>(cinfo.next_scanline),
                  &row[static_cast<size_t>(x * components)]);
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray data(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
    std::free(buffer);
    return data;
}

// Left half red, right half blue.
QByteArray TwoColourJpeg(int width, int height) {
    return EncodeJpeg(width, height, 3, JCS_RGB, [width](int x, int, JSAMPLE* out) {
        const bool left = x < width / 2;
        out[0] = left ? 255 : 0;
        out[1] = 0;
        out[2] = left ? 0 : 255;
    });
}

// Offset of the first marker 0xFF code, or -1.
qsizetype FindMarker(const QByteArray& data, unsigned char code) {
    for (qsizetype i = 0; i + 1 < data.size(); ++i) {
        if (static_cast<unsigned char>(data[i]) == 0xFF &&
            static_cast<unsigned char>(data[i + 1]) == code) {
            return i;
        }
    }
    return -1;
}

bool Near(QRgb actual, QColor expected, int tolerance = 24) {
    return std::abs(qRed(actual) - expected.red()) <= tolerance &&
           std::abs(qGreen(actual) - expected.green()) <= tolerance &&
           std::abs(qBlue(actual) - expected.blue()) <= tolerance;
}

// Largest colour channel over a rectangle.
int Brightest(const QImage& image, const QRect& r) {
    int most = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb c = image.pixel(x, y);
            most = std::max({most, qRed(c), qGreen(c), qBlue(c)});
        }
    }
    return most;
}

struct Xorshift {
    std::uint32_t s = 0x2545F491u;
    std::uint32_t operator()() {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
};

TEST(Artwork, ShippedPicturesDecodeAtTheirSizes) {
    struct Expected {
        const char* name;
        int width;
        int height;
    };
    const Expected pictures[] = {{"panel.jpg", 520, 312}, {"marker.jpg", 65, 17},
                                 {"lamp1.jpg", 49, 41},   {"lamp2.jpg", 49, 41},
                                 {"lamp3.jpg", 49, 41},   {"lamp4.jpg", 49, 41}};
    for (const Expected& e : pictures) {
        const QImage image = LoadArtwork(e.name);
        ASSERT_FALSE(image.isNull()) << e.name;
        EXPECT_EQ(image.size(), QSize(e.width, e.height)) << e.name;
    }

    // The panel is drawn 16 pixels above the top of its panel: the frequency
    // and band labels (black, drawn by the window) must sit on black glass,
    // and the keys under the click areas must stand out from it.
    const QImage panel = LoadArtwork("panel.jpg");
    const QRect freqLabel = QRect(125, 88, 285, 57).translated(0, 16);
    const QRect bandLabel = QRect(102, 171, 312, 25).translated(0, 16);
    EXPECT_LE(Brightest(panel, freqLabel.adjusted(-3, -2, 3, 2)), 24);
    EXPECT_LE(Brightest(panel, bandLabel.adjusted(-2, -1, 2, 1)), 24);
    const QRect keys[] = {{88, 232, 57, 41}, {472, 232, 33, 41}, {24, 8, 57, 41},
                          {384, 0, 129, 49}, {56, 96, 41, 41},   {424, 96, 57, 49}};
    for (const QRect& key : keys) {
        const QRect face = key.translated(0, 16).adjusted(4, 4, -4, -6);
        EXPECT_GE(Brightest(panel, face), 90) << "no key drawn at " << key.x() << "," << key.y();
    }

    // The selection marker is a yellow bar.
    const QImage marker = LoadArtwork("marker.jpg");
    EXPECT_TRUE(Near(marker.pixel(32, 8), QColor(255, 240, 90), 40));

    EXPECT_TRUE(LoadArtwork("nosuch.jpg").isNull());
}

TEST(Artwork, TheWindowIconHasTheDesktopSizesWithClearCorners) {
    const QIcon icon = koravel::ApplicationIcon();
    ASSERT_EQ(icon.availableSizes(), (QList<QSize>{{48, 48}, {128, 128}, {256, 256}}));
    for (const int size : {48, 128, 256}) {
        const QImage image = icon.pixmap(QSize(size, size)).toImage();
        ASSERT_EQ(image.size(), QSize(size, size));
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << size << ": a corner outside the plate";
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255) << size;
    }
}

TEST(Artwork, DecodesColourGreyCmykAndProgressive) {
    const QImage rgb = DecodeJpeg(TwoColourJpeg(37, 23));
    ASSERT_FALSE(rgb.isNull());
    EXPECT_EQ(rgb.size(), QSize(37, 23));
    EXPECT_TRUE(Near(rgb.pixel(3, 11), Qt::red));
    EXPECT_TRUE(Near(rgb.pixel(33, 11), Qt::blue));

    // Grey-scale: a horizontal ramp.
    const QImage grey =
        DecodeJpeg(EncodeJpeg(64, 16, 1, JCS_GRAYSCALE, [](int x, int, JSAMPLE* out) {
            out[0] = static_cast<JSAMPLE>(x * 4);
        }));
    ASSERT_FALSE(grey.isNull());
    EXPECT_EQ(grey.size(), QSize(64, 16));
    EXPECT_TRUE(grey.isGrayscale());
    EXPECT_TRUE(Near(grey.pixel(4, 8), QColor(16, 16, 16), 8));
    EXPECT_TRUE(Near(grey.pixel(60, 8), QColor(240, 240, 240), 8));

    // CMYK as Adobe writes it (inverted): no cyan, full magenta and yellow, no
    // black is red.
    const QImage cmyk = DecodeJpeg(EncodeJpeg(16, 16, 4, JCS_CMYK, [](int, int, JSAMPLE* out) {
        out[0] = 255;
        out[1] = 0;
        out[2] = 0;
        out[3] = 255;
    }));
    ASSERT_FALSE(cmyk.isNull());
    EXPECT_EQ(cmyk.size(), QSize(16, 16));
    EXPECT_TRUE(Near(cmyk.pixel(8, 8), Qt::red));

    const QByteArray progressive = EncodeJpeg(
        40, 30, 3, JCS_RGB,
        [](int, int y, JSAMPLE* out) {
            out[0] = 0;
            out[1] = y < 15 ? 255 : 0;
            out[2] = 0;
        },
        true);
    ASSERT_GE(FindMarker(progressive, 0xC2), 0) << "not a progressive stream";
    const QImage prog = DecodeJpeg(progressive);
    ASSERT_FALSE(prog.isNull());
    EXPECT_EQ(prog.size(), QSize(40, 30));
    EXPECT_TRUE(Near(prog.pixel(20, 4), Qt::green));
    EXPECT_TRUE(Near(prog.pixel(20, 26), Qt::black));
}

TEST(Artwork, DamagedDataGivesNoPicture) {
    const QByteArray good = TwoColourJpeg(64, 48);
    ASSERT_FALSE(DecodeJpeg(good).isNull());

    EXPECT_TRUE(DecodeJpeg(QByteArray()).isNull());
    EXPECT_TRUE(DecodeJpeg(QByteArray("\xFF\xD8", 2)).isNull());
    EXPECT_TRUE(DecodeJpeg(QByteArray("not a picture at all")).isNull());

    // Cut short anywhere: in the header, in the tables, in the image data,
    // just before the end marker.
    const qsizetype sos = FindMarker(good, 0xDA);
    ASSERT_GT(sos, 0);
    for (qsizetype cut : {qsizetype(3), qsizetype(20), sos - 5, sos + 20, good.size() / 2 + sos / 2,
                          good.size() - 2}) {
        EXPECT_TRUE(DecodeJpeg(good.left(cut)).isNull()) << "cut at " << cut;
    }

    // An end marker in the middle of the image data.
    QByteArray early = good;
    const qsizetype middle = (sos + good.size()) / 2;
    early[middle] = char(0xFF);
    early[middle + 1] = char(0xD9);
    EXPECT_TRUE(DecodeJpeg(early).isNull());

    // Header values libjpeg refuses: 7-bit samples, a zero width.
    const qsizetype sof = FindMarker(good, 0xC0);
    ASSERT_GT(sof, 0);
    QByteArray precision = good;
    precision[sof + 4] = 7;
    EXPECT_TRUE(DecodeJpeg(precision).isNull());
    QByteArray empty = good;
    empty[sof + 7] = 0;
    empty[sof + 8] = 0;
    EXPECT_TRUE(DecodeJpeg(empty).isNull());

    // A header that claims 60000 x 60000 pixels is refused before any pixel
    // memory is taken.
    QByteArray huge = good;
    huge[sof + 5] = char(0xEA);
    huge[sof + 6] = char(0x60);
    huge[sof + 7] = char(0xEA);
    huge[sof + 8] = char(0x60);
    EXPECT_TRUE(DecodeJpeg(huge).isNull());
}

TEST(Artwork, RandomDataNeverCrashes) {
    Xorshift next;
    // Noise, with and without a start-of-image marker in front.
    for (int i = 0; i < 200; ++i) {
        QByteArray noise(static_cast<qsizetype>(next() % 3000), '\0');
        for (char& c : noise) {
            c = static_cast<char>(next());
        }
        if (i % 2 == 0) {
            noise.prepend("\xFF\xD8\xFF", 3);
        }
        EXPECT_TRUE(DecodeJpeg(noise).isNull()) << "noise " << i;
    }

    // Damage to a real picture: some damage goes unnoticed (the data still
    // decodes to something), but what decodes has a sane size, and no damage
    // crashes or leaks.
    const QByteArray good = TwoColourJpeg(48, 32);
    for (int i = 0; i < 300; ++i) {
        QByteArray bad = good;
        const int flips = 1 + static_cast<int>(next() % 4);
        for (int f = 0; f < flips; ++f) {
            bad[static_cast<qsizetype>(next() % static_cast<std::uint32_t>(bad.size()))] =
                static_cast<char>(next());
        }
        const QImage image = DecodeJpeg(bad);
        if (!image.isNull()) {
            EXPECT_GT(image.width(), 0);
            EXPECT_GT(image.height(), 0);
            EXPECT_LE(static_cast<long long>(image.width()) * image.height(), 64ll * 1024 * 1024);
        }
    }
}

} // namespace
