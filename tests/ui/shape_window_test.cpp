// Shaped areas and ranges of zooms through the windows: the main window's
// choice between the four fields and a shape, a polygon drawn corner by
// corner in "Select on map" becoming the task's area file with the figures of
// its cover, and a shaped task of two zooms started, stopped, continued and
// opened again from the main window, against the tile server in this
// process.

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

#include "area/area_copy.h"
#include "area/area_file.h"
#include "control/area_choice.h"
#include "download_harness.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "select_area_form.h"
#include "shape_layer.h"
#include "tile_view.h"
#include "ui_test_support.h"

namespace tessellon::test {

using namespace std::chrono_literals;

class ShapeWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<tileserver::TileServer> server;
    std::unique_ptr<MainWindowFixture> f;

    void Prepare(Pacing pace = Pacing(kPaceScale)) {
        server = std::make_unique<tileserver::TileServer>(ServerOptions());
        server->Start();
        f = std::make_unique<MainWindowFixture>(pace);
        qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(f->dir.File("cache")));
        IniFile config(f->ConfigFile());
        const std::string host = "127.0.0.1:" + std::to_string(server->Port());
        config.WriteString("TileService", "MapHost", host);
        config.WriteString("TileService", "SatelliteHost", host);
        f->Show();
        f->window->findChildren<QRadioButton*>()[kMapItem]->setChecked(true);
        Edit("Edit6")->setText(QString::fromStdString(f->dir.File("maps")));
    }

    QLineEdit* Edit(const char* name) const { return f->Find<QLineEdit>(name); }
    QSpinBox* Spin(const char* name) const { return f->Find<QSpinBox>(name); }
    QRadioButton* Radio(const char* name) const { return f->Find<QRadioButton>(name); }
    QPushButton* Start() const { return f->Find<QPushButton>("BitBtn1"); }
    QString Figures() const { return f->Find<QLabel>("Figures")->text(); }

    // A triangle inside the sample rectangle, written as an area file.
    std::string TriangleFile() const {
        const std::string path = f->dir.File("triangle.geojson");
        WriteFileAtomic(path,
                        R"({"type": "Polygon", "coordinates": [[[116.3, 39.8], [116.5, 39.8], )"
                        R"([116.3, 40], [116.3, 39.8]]]})");
        return path;
    }

    SelectAreaForm* OpenMap() const {
        f->Find<QPushButton>("ButtonSelectOnMap")->click();
        auto* form = f->Find<SelectAreaForm>("SelectAreaForm");
        return QTest::qWaitForWindowExposed(form) ? form : nullptr;
    }

    // The tiles a task of that file over those zooms has.
    static std::int64_t CoverCount(const std::string& file, int from, int to) {
        return TileCover::OfShape(ReadAreaShape(file, std::nullopt), from, to).Count();
    }

private slots:
    void cleanup() {
        f.reset();
        server.reset();
        qunsetenv("XDG_CACHE_HOME");
    }

    void theAreaIsTheFourFieldsOrAShapeAndTheHighestZoomFollows() {
        Prepare();
        QVERIFY(Radio("RadioRectangle")->isChecked());
        QVERIFY(Edit("Edit1")->isVisible() && !Edit("EditAreaFile")->isVisible());
        QCOMPARE(Spin("ZoomTo")->value(), 13);
        Spin("UpDown1")->setValue(15);
        QCOMPARE(Spin("ZoomTo")->value(), 15);  // one zoom stays one
        Spin("ZoomTo")->setValue(17);
        Spin("UpDown1")->setValue(14);
        QCOMPARE(Spin("ZoomTo")->value(), 17);  // a range keeps its top

        Radio("RadioShape")->setChecked(true);
        QVERIFY(!Edit("Edit1")->isVisible() && Edit("EditAreaFile")->isVisible());
        QVERIFY(Edit("EditBuffer")->isVisible());
        // Tab goes from the file to its chooser and the buffer, then on to
        // the zoom level, as it went from the four fields.
        QVERIFY(QTest::qWaitForWindowActive(f->window.get()));
        Edit("EditAreaFile")->setFocus();
        QTest::keyClick(Edit("EditAreaFile"), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QString("ButtonAreaFile"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), Edit("EditBuffer"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() == Spin("UpDown1") ||
                QApplication::focusWidget() == Edit("Edit5"));

        // A shape without its file starts nothing.
        Start()->click();
        QCOMPARE(f->desktop.messages,
                 std::vector<QString>{"Please choose the area file, or draw the area on the map."});
        QCOMPARE(Start()->text(), QString("Start"));

        f->desktop.fileAnswers = {QString::fromStdString(TriangleFile())};
        f->Find<QPushButton>("ButtonAreaFile")->click();
        QCOMPARE(Edit("EditAreaFile")->text(), QString::fromStdString(TriangleFile()));
        QVERIFY(f->desktop.fileRequests.back().filter.contains("*.gpx"));
    }

    // Corners clicked on the map, the last one double-clicked: the polygon is
    // kept beside the task and becomes its area, the map shades its cover at
    // the zoom level and the figures count the whole range.
    void aPolygonDrawnOnTheMapBecomesTheArea() {
        Prepare();
        Edit("Edit1")->setText("116.3");
        Edit("Edit3")->setText("116.5");
        Edit("Edit2")->setText("40");
        Edit("Edit4")->setText("39.8");
        Spin("ZoomTo")->setValue(14);
        QVERIFY(OpenMap() != nullptr);
        auto* map = f->Find<TileView>("Map");
        auto* layer = f->Find<ShapeLayer>("ShapeLayer");
        auto* draw = f->Find<QPushButton>("DrawPolygon");
        const QRectF rectangle = *map->OutlineOnScreen();

        draw->click();
        QVERIFY(layer->Drawing());
        QTest::mouseClick(layer, Qt::LeftButton, {}, rectangle.bottomLeft().toPoint());
        QTest::mouseClick(layer, Qt::LeftButton, {}, rectangle.bottomRight().toPoint());
        // A corner taken back, and one clicked after it.
        QTest::mouseClick(layer, Qt::LeftButton, {}, rectangle.center().toPoint());
        QTest::keyClick(layer, Qt::Key_Backspace);
        QCOMPARE(layer->Corners().size(), 2u);
        // A double-click: its first click, then what the second press
        // becomes.
        QTest::mouseClick(layer, Qt::LeftButton, {}, rectangle.topLeft().toPoint());
        QTest::mouseDClick(layer, Qt::LeftButton, {}, rectangle.topLeft().toPoint());
        QVERIFY(!layer->Drawing());
        QVERIFY(!draw->isChecked());

        const std::string drawn = f->dir.File("maps/newtask_drawn.geojson");
        QVERIFY2(FileExists(drawn), qPrintable(f->Find<QLabel>("GoToMessage")->text()));
        QVERIFY(Radio("RadioShape")->isChecked());
        QCOMPARE(Edit("EditAreaFile")->text(), QString::fromStdString(drawn));
        const GeoShape shape = ReadAreaCopy(drawn);
        QCOMPARE(shape.Polygons.size(), 1u);
        QCOMPARE(shape.Polygons[0].Outer.size(), 3u);
        QVERIFY(!map->Outline());

        const std::int64_t count = CoverCount(drawn, 13, 14);
        QVERIFY(count < TileCover::OfRectangle({116.3, 116.5, 40, 39.8}, 13, 14).Count());
        QVERIFY2(Figures().startsWith(QString("%1 tiles, ").arg(count)), qPrintable(Figures()));
        // Shaded: the cover at the zoom level, whatever the highest zoom.
        QCOMPARE(layer->Tiles().Count(), CoverCount(drawn, 13, 13));
        Spin("ZoomTo")->setValue(13);
        QVERIFY2(Figures().startsWith(QString("%1 tiles, ").arg(CoverCount(drawn, 13, 13))),
                 qPrintable(Figures()));
        Spin("UpDown1")->setValue(14);
        QCOMPARE(layer->Tiles().Count(), CoverCount(drawn, 14, 14));
        QCOMPARE(layer->Tiles().MinZoom(), 14);

        // Two corners make no area: nothing changes but the message.
        draw->click();
        QTest::mouseClick(layer, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseClick(layer, Qt::LeftButton, {}, QPoint(50, 10));
        QTest::keyClick(layer, Qt::Key_Return);
        QCOMPARE(f->Find<QLabel>("GoToMessage")->text(),
                 QString("Click at least three corners to draw an area."));
        QCOMPARE(Edit("EditAreaFile")->text(), QString::fromStdString(drawn));
        // Escape drops a drawing.
        draw->click();
        QTest::mouseClick(layer, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::keyClick(layer, Qt::Key_Escape);
        QVERIFY(!layer->Drawing() && !draw->isChecked());

        // An imported file is the area in its turn; a line needs a buffer.
        const std::string track = f->dir.File("track.geojson");
        WriteFileAtomic(track, R"({"type": "LineString", "coordinates": [[116.3, 39.8], )"
                               R"([116.5, 40]]})");
        f->desktop.fileAnswers = {QString::fromStdString(track)};
        f->Find<QPushButton>("Import")->click();
        QCOMPARE(Edit("EditAreaFile")->text(), QString::fromStdString(track));
        QVERIFY2(Figures().contains("buffer distance"), qPrintable(Figures()));
        QCOMPARE(layer->Tiles().Count(), 0);
        Edit("EditBuffer")->setText("500m");
        QVERIFY(layer->Tiles().Count() > 0);
        QVERIFY2(Figures().startsWith(QString("%1 tiles, ").arg(layer->Tiles().Count())),
                 qPrintable(Figures()));

        // A rectangle drawn on the map makes the area a rectangle again.
        f->Find<QPushButton>("Draw")->click();
        QTest::mousePress(map, Qt::LeftButton, {}, QPoint(100, 100));
        QTest::mouseMove(map, QPoint(150, 150));
        QTest::mouseRelease(map, Qt::LeftButton, {}, QPoint(200, 200));
        QVERIFY(Radio("RadioRectangle")->isChecked());
        QVERIFY(map->Outline());
        // Shape chosen without a file: the map says what it needs.
        Edit("EditAreaFile")->clear();
        Radio("RadioShape")->setChecked(true);
        QVERIFY(!map->Outline());
        QCOMPARE(Figures(), QString("Please choose the area file, or draw the area on the map."));
    }

    // A shaped task of two zooms: stopped, started again it continues to
    // the end; opened again, it fills the shape and the zooms.
    void aShapedTaskOfTwoZoomsStartsContinuesAndOpens() {
        Pacing pace(kPaceScale);
        pace.AfterTile = 40ms;
        Prepare(pace);
        const std::string file = TriangleFile();
        Edit("EditTaskName")->setText("corridor");
        Radio("RadioShape")->setChecked(true);
        Edit("EditAreaFile")->setText(QString::fromStdString(file));
        Spin("ZoomTo")->setValue(14);
        const std::int64_t count = CoverCount(file, 13, 14);

        Start()->click();
        QCOMPARE(Start()->text(), QString("Stop"));
        QCOMPARE(f->Find<QLabel>("LabelTotalxy")->text(), QString("Total images: %1").arg(count));
        QTest::qWait(200);
        Start()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!f->desktop.messages.empty(), 5000);
        QVERIFY2(f->desktop.messages[0].contains("Stopped after "),
                 qPrintable(f->desktop.messages[0]));
        QCOMPARE(Start()->text(), QString("Start"));
        const std::string maps = f->dir.File("maps/");
        QVERIFY(FileExists(maps + "corridor_area.geojson"));

        Start()->click();
        QTRY_COMPARE_WITH_TIMEOUT(f->desktop.messages.size(), 2u, 20000);
        QVERIFY2(f->desktop.messages[1].endsWith(QString("All %1 tiles downloaded.").arg(count)),
                 qPrintable(f->desktop.messages[1]));
        QCOMPARE(QDir(QString::fromStdString(maps + "corridor")).entryList(QDir::Files).size(),
                 count);

        // Opened again into fresh fields.
        Radio("RadioRectangle")->setChecked(true);
        Spin("UpDown1")->setValue(5);
        f->desktop.fileAnswers = {QString::fromStdString(maps + "corridor.tsln")};
        f->Find<QPushButton>("Button4")->click();
        QVERIFY(Radio("RadioShape")->isChecked());
        QCOMPARE(Edit("EditAreaFile")->text(),
                 QString::fromStdString(maps + "corridor_area.geojson"));
        QCOMPARE(Edit("EditBuffer")->text(), QString());
        QCOMPARE(Spin("UpDown1")->value(), 13);
        QCOMPARE(Spin("ZoomTo")->value(), 14);
        QCOMPARE(Edit("EditTaskName")->text(), QString("corridor.tsln"));
    }
};

TESSELLON_UI_TEST(ShapeWindowTest)

}  // namespace tessellon::test

#include "shape_window_test.moc"
