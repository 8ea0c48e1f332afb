// The Map Viewer over a task of 316 x 316 tiles (99,856 files, one PNG
// hard-linked under every name) on the offscreen platform: the time from
// opening the project to the first paint and to the middle tile drawn, then
// the time of a frame while panning, at the tiles' own size and at 1/16 (the
// overview, where some 2,700 tiles are in sight), tiles arriving meanwhile.
// Targets: first paint well under 1 s; a frame under 16 ms.
// Usage: bench_viewer SCRATCH_FOLDER

#include <unistd.h>

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "desktop.h"
#include "geo/tile_math.h"
#include "map_viewer_window.h"
#include "platform/files.h"
#include "platform/message_sink.h"
#include "task/md_task.h"
#include "tile_view.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSide = 316;
constexpr int kFrames = 300;
// Pixels the map moves between two frames: a brisk drag.
constexpr int kPanStep = 12;

double Millis(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

class StderrMessages : public tessellon::MessageSink {
public:
    void ShowMessage(const std::string& text) override {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
};

// A tile with some drawing on it, so decoding costs what a real one does.
std::string SampleTile() {
    QImage image(256, 256, QImage::Format_RGB32);
    image.fill(QColor(236, 230, 214));
    QPainter painter(&image);
    painter.setPen(QPen(QColor(120, 140, 200), 6));
    for (int i = 0; i < 256; i += 32) {
        painter.drawLine(0, i, 256, 255 - i);
    }
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

// Writes the task and its tiles; returns the project's path.
std::string WriteTask(const std::string& folder) {
    tessellon::TaskParameters params;
    params.Zoom = 13;
    params.LeftLongitude = tessellon::TileXToLongitude(4300.5, params.Zoom);
    params.RightLongitude = tessellon::TileXToLongitude(4300.5 + kSide - 1, params.Zoom);
    params.TopLatitude = tessellon::TileYToLatitude(2700.5, params.Zoom);
    params.BottomLatitude = tessellon::TileYToLatitude(2700.5 + kSide - 1, params.Zoom);
    params.MapsType = tessellon::kMapsTypeMap;
    params.SavePath = folder + "/";
    params.TaskName = "viewer.tsln";
    StderrMessages messages;
    const tessellon::MDTask task(&params, messages);
    task.WriteTaskFiles({});
    // A file takes some 65,000 names at most: a new copy when one is full.
    const std::string tile = SampleTile();
    std::string source;
    for (std::int32_t x = task.MinX; x <= task.MaxX; ++x) {
        for (std::int32_t y = task.MinY; y <= task.MaxY; ++y) {
            const std::string path = task.GetTilePath({task.Params->Zoom, x, y});
            if (source.empty() || ::link(source.c_str(), path.c_str()) != 0) {
                tessellon::WriteFileAtomic(path, tile);
                source = path;
            }
        }
    }
    return params.SavePath + params.TaskName;
}

struct Frames {
    double Mean = 0;
    // The frame that 95 of 100 are quicker than.
    double Slow = 0;
    double Worst = 0;
};

// Pans in a square, a side at a time, painting each frame; answers that
// came meanwhile are taken between frames, as the event loop would.
Frames Pan(tessellon::TileView* view) {
    std::vector<double> times;
    const QPoint steps[] = {{-kPanStep, 0}, {0, -kPanStep}, {kPanStep, 0}, {0, kPanStep}};
    for (int frame = 0; frame < kFrames; ++frame) {
        view->PanBy(steps[frame * 4 / kFrames]);
        const auto start = Clock::now();
        view->repaint();
        times.push_back(Millis(Clock::now() - start));
        QApplication::processEvents();
    }
    Frames frames;
    for (double t : times) {
        frames.Mean += t / kFrames;
    }
    std::sort(times.begin(), times.end());
    frames.Slow = times[times.size() * 95 / 100];
    frames.Worst = times.back();
    return frames;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_viewer SCRATCH_FOLDER\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const std::string project = WriteTask(argv[1]);

    tessellon::QtDesktop desktop;
    tessellon::MapViewerWindow window(desktop, std::string(argv[1]) + "/blankimg/");
    window.show();
    QApplication::processEvents();
    tessellon::TileView* view = window.View();

    const auto start = Clock::now();
    if (!window.Open(QString::fromStdString(project))) {
        return 1;
    }
    view->repaint();
    const double firstPaint = Millis(Clock::now() - start);
    const QPoint middle(view->width() / 2, view->height() / 2);
    const QColor loading = tessellon::LookColour(tessellon::TileLook::Loading);
    while (view->grab().toImage().pixelColor(middle) == loading &&
           Clock::now() - start < std::chrono::seconds(10)) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    const double middleTile = Millis(Clock::now() - start);
    std::printf("tiles=%d view=%dx%d\n", kSide * kSide, view->width(), view->height());
    std::printf("first paint: %.1f ms (target: well under 1000 ms); middle tile drawn: %.1f ms\n",
                firstPaint, middleTile);

    const Frames full = Pan(view);
    std::printf(
        "panning at 100%%: frame mean %.2f ms, 95th percentile %.2f ms, worst %.2f ms (target: "
        "under 16 ms)\n",
        full.Mean, full.Slow, full.Worst);
    for (int i = 0; i < 8; ++i) {
        view->ZoomOut();
    }
    const Frames overview = Pan(view);
    std::printf(
        "panning at 1/16: frame mean %.2f ms, 95th percentile %.2f ms, worst %.2f ms (target: "
        "under 16 ms)\n",
        overview.Mean, overview.Slow, overview.Worst);
    return 0;
}
