// The window under Qt's offscreen platform: from construction to the first
// painted frame, and from a click on a band button to the first byte of its
// frame on the wire.
#include "support/answering_unit.h"
#include "support/bench_env.h"
#include "support/latency.h"
#include "support/pty_port.h"
#include "ui/image_box.h"
#include "ui/koravelu.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QLocale>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

using Clock = std::chrono::steady_clock;

namespace {

// Notes the first paint of a widget.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

void BM_StartToFirstPaint(benchmark::State& state) {
    const std::string dir = bench_support::MakeConfigDir();
    bench_support::Latencies lat;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        auto* window = new TfmMain;
        PaintWatch watch;
        window->pnBlue->installEventFilter(&watch);
        window->show();
        while (!watch.painted)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        lat.Add(Clock::now() - t0);
        window->pnBlue->removeEventFilter(&watch);
        window->hide();
        delete window;
        QApplication::processEvents();
    }
    lat.Report(state);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_StartToFirstPaint)->Iterations(20)->Unit(benchmark::kMillisecond);

// The unit is played here on a pseudo-terminal: it notes when the first byte
// of each request arrives and answers every request at once.
void BM_ClickToFirstByte(benchmark::State& state) {
    const std::string dir = bench_support::MakeConfigDir();
    testing_support::PtyPort port(dir, 1);
    const int master = port.master();

    TfmMain window;
    window.show();
    window.FormActivate(); // opens COM1 (the default port)
    window.tmPoll->stop(); // only the clicks' frames on the line
    QApplication::processEvents();

    bench_support::AnsweringUnit unit(master);

    QWidget* area = window.Image14;
    const QPoint centre(area->width() / 2, area->height() / 2);
    bench_support::Latencies lat;
    for (auto _ : state) {
        unit.Reset();
        const auto t0 = Clock::now();
        QMouseEvent press(QEvent::MouseButtonPress, centre, area->mapToGlobal(centre),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, centre, area->mapToGlobal(centre),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(area, &press);
        QApplication::sendEvent(area, &release); // the exchange is queued, its frame sent
        while (!unit.FirstByteAt())
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        lat.Add(*unit.FirstByteAt() - t0);
    }
    lat.Report(state);
    window.hide();
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ClickToFirstByte)->Iterations(100)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QLocale::setDefault(QLocale::c());
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
