// koravel-artgen: draws the window's pictures and writes them as JPEG files,
// and the program's icon as PNG files at the sizes the desktop uses.
//
// The pictures in assets/ are made by this program and committed; the build
// does not run it. To regenerate them after changing the drawing code:
//
//     cmake --build <build dir> --target artwork
//
// which runs `koravel-artgen <source>/assets`. The program can also be run by
// hand:
//
//     koravel-artgen [--check FILE.png] [--mock FILE.png] [OUTPUT_DIR]
//
// OUTPUT_DIR defaults to the assets/ folder of the source tree. --check writes
// the front panel with the window's click areas (red) and labels (cyan)
// outlined on it, to verify that every key lies under its area; --mock writes
// the front panel as the window shows it, with a frequency, a band name and
// the selection marker drawn in. Both read back the JPEG just written, so they
// show the compression too. The drawing needs the DejaVu fonts
// (fonts-dejavu-core); the program uses Qt's offscreen platform and needs no
// display.

#include "layout.h"
#include "pictures.h"

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QStringList>

#include <cstdio>

#ifndef KORAVEL_SOURCE_DIR
#define KORAVEL_SOURCE_DIR "."
#endif

namespace {

constexpr int kJpegQuality = 95;

bool Save(const QImage& image, const QDir& dir, const QString& name) {
    const QString path = dir.filePath(name);
    if (!image.save(path, "JPG", kJpegQuality)) {
        std::fprintf(stderr, "koravel-artgen: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s (%d x %d)\n", qPrintable(path), image.width(), image.height());
    return true;
}

// PNG keeps the icon's transparent corners.
bool SavePng(const QImage& image, const QDir& dir, const QString& name) {
    const QString path = dir.filePath(name);
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "koravel-artgen: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s (%d x %d)\n", qPrintable(path), image.width(), image.height());
    return true;
}

QImage PanelAsWritten(const QDir& dir) {
    return QImage(dir.filePath("panel.jpg"));
}

bool WriteCheck(const QDir& dir, const QString& path) {
    QImage image = PanelAsWritten(dir).convertToFormat(QImage::Format_RGB32);
    QPainter p(&image);
    p.translate(0, artgen::kPictureOffsetY);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 0, 0), 1));
    auto outline = [&p](const QRect& r) { p.drawRect(r.adjusted(0, 0, -1, -1)); };
    for (const auto& a : artgen::kBandButtons) {
        outline(a.rect);
    }
    for (const auto& a : artgen::kDirectionButtons) {
        outline(a.rect);
    }
    outline(artgen::kRetractButton.rect);
    outline(artgen::kLeftArrow.rect);
    outline(artgen::kRightArrow.rect);
    p.setPen(QPen(QColor(0, 255, 255), 1));
    outline(artgen::kFreqLabel);
    outline(artgen::kBandLabel);
    p.setPen(QPen(QColor(0, 255, 255), 1, Qt::DotLine));
    outline(artgen::kMovingLabel);
    p.setPen(QPen(QColor(255, 255, 0), 1, Qt::DotLine));
    for (const auto& a : artgen::kDirectionButtons) {
        outline(QRect(a.rect.left(), a.rect.top() + artgen::kMarkerDy, artgen::kMarkerWidth,
                      artgen::kMarkerHeight));
    }
    p.end();
    return image.save(path, "PNG");
}

bool WriteMock(const QDir& dir, const QString& path) {
    QImage image = PanelAsWritten(dir).convertToFormat(QImage::Format_RGB32);
    const QImage marker(dir.filePath("marker.jpg"));
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.translate(0, artgen::kPictureOffsetY);
    p.fillRect(artgen::kFreqLabel, Qt::black);
    QFont freq("DejaVu Sans Mono");
    freq.setPixelSize(48);
    freq.setBold(true);
    p.setFont(freq);
    p.setPen(QColor(255, 255, 0));
    p.drawText(artgen::kFreqLabel, Qt::AlignCenter, "14.200 MHz");
    p.fillRect(artgen::kBandLabel, Qt::black);
    QFont band("DejaVu Sans Mono");
    band.setPixelSize(21);
    p.setFont(band);
    p.drawText(artgen::kBandLabel, Qt::AlignLeft | Qt::AlignVCenter, "20 meters");
    const QRect& norm = artgen::kDirectionButtons.front().rect;
    p.drawImage(QPoint(norm.left(), norm.top() + artgen::kMarkerDy), marker);
    p.end();
    // What the window shows: the rows from panel y 0 on.
    return image.copy(0, artgen::kPictureOffsetY, image.width(), image.height() - 20)
        .save(path, "PNG");
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QString outDir = QStringLiteral(KORAVEL_SOURCE_DIR "/assets");
    QString checkPath;
    QString mockPath;
    QStringList args = app.arguments();
    args.removeFirst();
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if ((a == "--check" || a == "--mock") && i + 1 < args.size()) {
            (a == "--check" ? checkPath : mockPath) = args[++i];
        } else if (a.startsWith("-")) {
            std::fprintf(
                stderr,
                "usage: koravel-artgen [--check FILE.png] [--mock FILE.png] [OUTPUT_DIR]\n");
            return 2;
        } else {
            outDir = a;
        }
    }

    QDir dir(outDir);
    if (!dir.mkpath(".")) {
        std::fprintf(stderr, "koravel-artgen: cannot create %s\n", qPrintable(outDir));
        return 1;
    }
    bool ok = Save(artgen::MakePanel(), dir, "panel.jpg");
    ok = Save(artgen::MakeMarker(), dir, "marker.jpg") && ok;
    for (int n = 1; n <= 4; ++n) {
        ok = Save(artgen::MakeLamp(n), dir, QString("lamp%1.jpg").arg(n)) && ok;
    }
    for (const int size : {48, 128, 256}) {
        ok = SavePng(artgen::MakeIcon(size), dir, QString("icon%1.png").arg(size)) && ok;
    }
    if (ok && !checkPath.isEmpty() && !WriteCheck(dir, checkPath)) {
        std::fprintf(stderr, "koravel-artgen: cannot write %s\n", qPrintable(checkPath));
        ok = false;
    }
    if (ok && !mockPath.isEmpty() && !WriteMock(dir, mockPath)) {
        std::fprintf(stderr, "koravel-artgen: cannot write %s\n", qPrintable(mockPath));
        ok = false;
    }
    return ok ? 0 : 1;
}
