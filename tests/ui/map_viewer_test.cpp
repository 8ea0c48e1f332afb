// The Map Viewer and its tile view: tiles of a task shown in the colours of
// their states, panning and zooming from the keyboard and the mouse, the
// status bar, the grid, the errors, and a provider that answers later.

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <filesystem>

#include "download/failed_list.h"
#include "map_viewer_window.h"
#include "platform/files.h"
#include "platform/message_sink.h"
#include "sample_fields.h"
#include "task/md_task.h"
#include "tile_view.h"
#include "ui_test_support.h"

namespace tessellon::test {

namespace {

class QuietMessages : public MessageSink {
public:
    void ShowMessage(const std::string&) override {}
};

// Remembers what the view asked for; the test answers when it likes.
class LaterProvider final : public TileProvider {
public:
    void Want(const std::vector<TileRequest>& tiles) override { asked.push_back(tiles); }
    void Answer(const TileRequest& tile, const TileAnswer& answer) { emit Arrived(tile, answer); }

    std::vector<std::vector<TileRequest>> asked;
};

}  // namespace

class MapViewerTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempDir> dir;
    FakeDesktop desktop;
    std::unique_ptr<MapViewerWindow> window;
    TaskParameters params;
    std::unique_ptr<MDTask> task;

    std::string BlankFolder() const { return dir->File("blankimg/"); }
    std::string Project() const { return dir->File("sample.tsln"); }

    // The sample task: 6 columns (6742..6747) by 7 rows (3101..3107) at
    // zoom 13, its tile folder empty.
    void WriteTask() {
        params = test::SampleTaskParameters(dir->Path(), "sample.tsln");
        QuietMessages messages;
        task = std::make_unique<MDTask>(&params, messages);
        task->WriteTaskFiles({});
    }

    void ShowWindow() {
        window = std::make_unique<MapViewerWindow>(desktop, BlankFolder());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    TileView* View() const { return window->View(); }

    // The pixel of the view at (fx, fy) inside tile (x, y), fractions of its edge.
    static QPoint PixelIn(const TileView* view, std::int32_t x, std::int32_t y, double fx = 0.5,
                          double fy = 0.5) {
        const QPointF at =
            (QPointF(x + fx, y + fy) - view->Centre()) * TileView::kTileSize * view->Scale() +
            QPointF(view->width() / 2.0, view->height() / 2.0);
        return at.toPoint();
    }
    static QColor ColourAt(TileView* view, QPoint pixel) {
        return view->grab().toImage().pixelColor(pixel);
    }
    static void MoveMouse(TileView* view, QPoint to, Qt::MouseButtons buttons) {
        QMouseEvent move(QEvent::MouseMove, to, view->mapToGlobal(to), Qt::NoButton, buttons, {});
        QApplication::sendEvent(view, &move);
    }
    QString Status(const char* name) const { return Child<QLabel>(window.get(), name)->text(); }

private slots:
    void init() {
        dir = std::make_unique<TempDir>();
        desktop = FakeDesktop();
        std::filesystem::create_directories(BlankFolder());
        WriteFileAtomic(BlankFolder() + "blank.png", Png(Qt::white, 8));
    }
    void cleanup() {
        window.reset();
        task.reset();
        dir.reset();
    }

    void eachStateShowsInItsOwnColour() {
        WriteTask();
        WriteFileAtomic(task->GetTilePath({task->Params->Zoom, 6743, 3102}),
                        Png(QColor(0, 128, 0)));
        WriteFileAtomic(task->GetTilePath({task->Params->Zoom, 6744, 3103}), Png(Qt::white, 8));
        WriteFileAtomic(task->GetTilePath({task->Params->Zoom, 6745, 3104}),
                        "\x89PNG but truncated");
        WriteFileAtomic(
            task->FailedFileName,
            FormatFailedRecord(task->GetTilePath({task->Params->Zoom, 6746, 3105}), "http://a") +
                "\r\n");
        ShowWindow();
        QVERIFY(window->Open(QString::fromStdString(Project())));
        QCOMPARE(window->windowTitle(), QString("Map Viewer - sample.tsln"));
        TileView* view = View();
        // A quarter of the size: the whole task in sight.
        for (int i = 0; i < 4; ++i) {
            view->ZoomOut();
        }
        QCOMPARE(view->Scale(), 0.25);
        QTRY_COMPARE(ColourAt(view, PixelIn(view, 6743, 3102)), QColor(0, 128, 0));
        QTRY_COMPARE(ColourAt(view, PixelIn(view, 6744, 3103)), LookColour(TileLook::Blank));
        QTRY_COMPARE(ColourAt(view, PixelIn(view, 6745, 3104)), LookColour(TileLook::Unreadable));
        QTRY_COMPARE(ColourAt(view, PixelIn(view, 6746, 3105)), LookColour(TileLook::Failed));
        QTRY_COMPARE(ColourAt(view, PixelIn(view, 6747, 3107)), LookColour(TileLook::Missing));
        // Beyond the task's range: no tile, no mark.
        QCOMPARE(ColourAt(view, PixelIn(view, 6748, 3107)), QColor(64, 64, 64));
        // The typed area is outlined in red: its west edge 116.3 lies inside
        // column 6742.
        const QImage shot = view->grab().toImage();
        const int y = PixelIn(view, 6742, 3104).y();
        int red = 0;
        for (int x = PixelIn(view, 6742, 3104, 0).x(); x < PixelIn(view, 6743, 3104, 0).x(); ++x) {
            red += shot.pixelColor(x, y) == QColor(220, 0, 0) ? 1 : 0;
        }
        QVERIFY(red >= 1);
    }

    // A shaped task of two zooms: the zoom menu offers both, the shape is
    // outlined rather than its bounding rectangle, and the place of its range
    // outside the shape is background, never marked missing.
    void aShapedTaskShowsItsShapeAndOnlyItsTilesAsMissing() {
        params = test::SampleTaskParameters(dir->Path(), "sample.tsln");
        MakeSampleTriangle(params, 14);
        QuietMessages messages;
        task = std::make_unique<MDTask>(&params, messages);
        task->WriteTaskFiles({});
        WriteFileAtomic(task->GetTilePath({13, 6742, 3101}), Png(QColor(0, 128, 0)));
        ShowWindow();
        QVERIFY(window->Open(QString::fromStdString(Project())));
        QCOMPARE(Status("scaleLabel"), QString("Zoom 14, scale 100%"));
        auto* menu = Child<QMenu>(window.get(), "tileZoomMenu");
        QVERIFY(menu->isEnabled());
        QCOMPARE(menu->actions().size(), 2);
        menu->actions()[0]->trigger();
        QCOMPARE(Status("scaleLabel"), QString("Zoom 13, scale 100%"));
        TileView* view = View();
        view->ZoomOut();
        view->ZoomOut();
        QTRY_COMPARE(ColourAt(view, PixelIn(view, 6742, 3101, 0.2, 0.2)), QColor(0, 128, 0));
        QTRY_COMPARE(ColourAt(view, PixelIn(view, 6742, 3103, 0.2, 0.5)),
                     LookColour(TileLook::Missing));
        QTRY_COMPARE(ColourAt(view, PixelIn(view, 6743, 3103, 0.8, 0.8)), QColor(64, 64, 64));
        QVERIFY(!view->Outline().has_value());
        // The slanted side crosses tile (6743, 3102), where no rectangle
        // would draw: from (6743.7, 3101.3) to (6742.6, 3103.7), at row
        // 3102.5 it is at column 6743.15.
        const QImage shot = view->grab().toImage();
        const int y = PixelIn(view, 6743, 3102).y();
        int red = 0;
        for (int x = PixelIn(view, 6743, 3102, 0).x(); x < PixelIn(view, 6743, 3102, 0.3).x();
             ++x) {
            red += shot.pixelColor(x, y) == QColor(220, 0, 0) ? 1 : 0;
        }
        QVERIFY(red >= 1);
    }

    void theGridDrawsTheTileEdges() {
        WriteTask();
        WriteFileAtomic(task->GetTilePath({task->Params->Zoom, 6744, 3104}), Png(Qt::white));
        ShowWindow();
        QVERIFY(window->Open(QString::fromStdString(Project())));
        TileView* view = View();
        const QPoint middle = PixelIn(view, 6744, 3104);
        QTRY_COMPARE(ColourAt(view, middle), QColor(Qt::white));
        const QPoint edge = PixelIn(view, 6744, 3104, 0, 0.5);
        QCOMPARE(ColourAt(view, edge), QColor(Qt::white));
        Child<QAction>(window.get(), "gridToggle")->trigger();
        QVERIFY(ColourAt(view, edge).lightness() < 200);
        QCOMPARE(ColourAt(view, middle), QColor(Qt::white));
        Child<QAction>(window.get(), "gridToggle")->trigger();
        QCOMPARE(ColourAt(view, edge), QColor(Qt::white));
    }

    void keysPanAndZoomWithinTheirBounds() {
        WriteTask();
        ShowWindow();
        QVERIFY(window->Open(QString::fromStdString(Project())));
        TileView* view = View();
        QCOMPARE(Status("scaleLabel"), QString("Zoom 13, scale 100%"));
        const QPointF start = view->Centre();
        QCOMPARE(start, QPointF(6745, 3104.5));
        QTest::keyClick(view, Qt::Key_Right);
        QTest::keyClick(view, Qt::Key_Down);
        QCOMPARE(view->Centre(), start + QPointF(0.25, 0.25));
        QTest::keyClick(view, Qt::Key_Left);
        QTest::keyClick(view, Qt::Key_Left);
        QCOMPARE(view->Centre(), start + QPointF(-0.25, 0.25));
        // The centre never leaves the task's range.
        for (int i = 0; i < 40; ++i) {
            QTest::keyClick(view, Qt::Key_Up);
        }
        QCOMPARE(view->Centre().y(), 3101.0);

        QTest::keyClick(view, Qt::Key_Plus);
        QCOMPARE(Status("scaleLabel"), QString("Zoom 13, scale 141%"));
        QTest::keyClick(view, Qt::Key_Minus);
        QTest::keyClick(view, Qt::Key_Minus);
        QCOMPARE(Status("scaleLabel"), QString("Zoom 13, scale 71%"));
        for (int i = 0; i < 20; ++i) {
            QTest::keyClick(view, Qt::Key_Minus);
        }
        QCOMPARE(view->Scale(), 1.0 / 16);
        for (int i = 0; i < 20; ++i) {
            Child<QAction>(window.get(), "zoomIn")->trigger();
        }
        QCOMPARE(view->Scale(), 4.0);
        Child<QAction>(window.get(), "zoomReset")->trigger();
        QCOMPARE(Status("scaleLabel"), QString("Zoom 13, scale 100%"));
    }

    void thePointerShowsItsPlaceAndDragsTheMap() {
        WriteTask();
        ShowWindow();
        QVERIFY(window->Open(QString::fromStdString(Project())));
        TileView* view = View();
        // The west edge of column 6744, the north edge of row 3104.
        const QPoint corner = PixelIn(view, 6744, 3104, 0, 0);
        MoveMouse(view, corner, Qt::NoButton);
        const QPointF point = view->PointAt(corner);
        // Within a pixel, a 256th of the tile.
        QVERIFY(std::abs(point.x() - 116.3671875) < 2e-4);
        QVERIFY(std::abs(point.y() - 39.90973623453718) < 2e-4);
        QTRY_COMPARE(Status("pointerLabel"), QString("Longitude %1, latitude %2")
                                                 .arg(point.x(), 0, 'f', 6)
                                                 .arg(point.y(), 0, 'f', 6));

        const QPointF start = view->Centre();
        QTest::mousePress(view, Qt::LeftButton, {}, corner);
        MoveMouse(view, corner + QPoint(128, 64), Qt::LeftButton);
        QTest::mouseRelease(view, Qt::LeftButton, {}, corner + QPoint(128, 64));
        QCOMPARE(view->Centre(), start - QPointF(0.5, 0.25));
        // Zooming with the wheel keeps the point under the pointer in place.
        const QPointF under = view->PointAt(corner);
        QWheelEvent wheel(corner, view->mapToGlobal(corner), {}, QPoint(0, 120), Qt::NoButton, {},
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(view, &wheel);
        QCOMPARE(view->Scale(), std::sqrt(2.0));
        QVERIFY(std::abs(view->PointAt(corner).x() - under.x()) < 1e-9);
        QVERIFY(std::abs(view->PointAt(corner).y() - under.y()) < 1e-9);
    }

    void whatCannotBeOpenedIsToldAndTheMapStays() {
        WriteTask();
        ShowWindow();
        QVERIFY(window->Open(QString::fromStdString(Project())));
        const std::string other = dir->File("other.ini");
        WriteFileAtomic(other, "[Other]\r\nKey=1\r\n");
        std::filesystem::copy_file(Project(), dir->File("moved.tsln"));

        QVERIFY(!window->Open(QString::fromStdString(dir->File("gone"))));
        QVERIFY(!window->Open(QString::fromStdString(other)));
        QVERIFY(!window->Open(QString::fromStdString(dir->File("moved.tsln"))));
        desktop.folderAnswers.push_back(QString::fromStdString(BlankFolder()));
        Child<QAction>(window.get(), "openFolder")->trigger();
        // An image the combiner wrote: what the viewer opens instead, and
        // the file dialog offers each of them.
        const std::string image = dir->File("combined.tif");
        WriteFileAtomic(image, std::string("II*\0", 4) + "and the rest of a GeoTIFF");
        desktop.fileAnswers.push_back(QString::fromStdString(image));
        Child<QAction>(window.get(), "openFile")->trigger();
        QCOMPARE(FileTypesShown(desktop.fileRequests.back().filter),
                 (QStringList{"Projects and tile containers(*.tsln *.mbtiles *.gpkg *.pmtiles "
                              "*.sqlitedb)",
                              "Projects(*.tsln)", "MBTiles(*.mbtiles)", "GeoPackage(*.gpkg)",
                              "PMTiles(*.pmtiles)", "OsmAnd SQLiteDB(*.sqlitedb)"}));
        QCOMPARE(
            desktop.messages,
            (std::vector<QString>{
                QString::fromStdString(dir->File("gone") + " does not exist."),
                QString::fromStdString(other + " is not a task project file."),
                QString::fromStdString("The tile folder " + dir->File("moved/") + " is missing."),
                QString::fromStdString("The folder " + BlankFolder() + " holds no tile files."),
                QString::fromStdString(ViewerRefusalOfImage(image)),
            }));
        QCOMPARE(window->windowTitle(), QString("Map Viewer - sample.tsln"));
        QCOMPARE(View()->Zoom(), 13);
    }

    void aFolderOffersItsZooms() {
        const std::string tiles = dir->File("tiles/");
        std::filesystem::create_directories(tiles);
        for (const char* name : {"yn_1_1_2.png", "yn_2_2_3.png", "yn_3_2_3.png"}) {
            WriteFileAtomic(tiles + name, Png(Qt::blue));
        }
        ShowWindow();
        desktop.folderAnswers.push_back(QString::fromStdString(tiles));
        Child<QAction>(window.get(), "openFolder")->trigger();
        QCOMPARE(Status("scaleLabel"), QString("Zoom 3, scale 100%"));
        auto* menu = Child<QMenu>(window.get(), "tileZoomMenu");
        QVERIFY(menu->isEnabled());
        QCOMPARE(menu->actions().size(), 2);
        QCOMPARE(menu->actions()[0]->text(), QString("2"));
        QVERIFY(menu->actions()[1]->isChecked());
        menu->actions()[0]->trigger();
        QCOMPARE(Status("scaleLabel"), QString("Zoom 2, scale 100%"));
        QCOMPARE(View()->Centre(), QPointF(1.5, 1.5));
        QTRY_COMPARE(ColourAt(View(), PixelIn(View(), 1, 1)), QColor(Qt::blue));
    }

    // A provider that answers later is asked for the tiles in sight only,
    // the middle first, and what it sends is painted when it comes.
    void onlyTheTilesInSightAreAskedFor() {
        LaterProvider provider;
        TileView view;
        view.resize(600, 400);
        view.SetProvider(&provider);
        view.ShowTiles(10, TileRange{100, 100, 414, 414});
        view.grab();
        QCOMPARE(provider.asked.size(), std::size_t{1});
        const std::vector<TileRequest>& asked = provider.asked[0];
        // 600 x 400 pixels around (257.5, 257.5): columns and rows 256..258.
        QCOMPARE(asked.size(), std::size_t{9});
        QCOMPARE(asked[0], (TileRequest{10, 257, 257, 256}));
        for (const TileRequest& tile : asked) {
            QVERIFY(tile.X >= 256 && tile.X <= 258 && tile.Y >= 256 && tile.Y <= 258);
        }
        const QPoint middle(300, 200);
        QCOMPARE(view.grab().toImage().pixelColor(middle), LookColour(TileLook::Loading));
        QImage red(256, 256, QImage::Format_ARGB32_Premultiplied);
        red.fill(Qt::red);
        provider.Answer(asked[0], {TileLook::Image, red, {}});
        QCOMPARE(view.grab().toImage().pixelColor(middle), QColor(Qt::red));
        // Nothing new is asked while the view stays.
        QCOMPARE(provider.asked.size(), std::size_t{1});

        // An overview asks for small images.
        for (int i = 0; i < 8; ++i) {
            view.ZoomOut();
        }
        view.grab();
        QCOMPARE(provider.asked.back().front().Size, 16);
        QVERIFY(provider.asked.back().size() <= std::size_t{(600 / 16 + 2) * (400 / 16 + 2)});
    }
};

TESSELLON_UI_TEST(MapViewerTest)

}  // namespace tessellon::test

#include "map_viewer_test.moc"
