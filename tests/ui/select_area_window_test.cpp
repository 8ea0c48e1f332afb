// The "Select on map" window against the tile server in this process: the
// rectangle and the main window's fields follow each other both ways, the
// figures follow the fields, Go to pans, tiles land in the cache folder, a
// failed tile keeps its reason, and every control is reached and named.

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <cmath>

#include "control/map_area.h"
#include "download_harness.h"
#include "geo/tile_math.h"
#include "map_tile_provider.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "select_area_form.h"
#include "task/sources_file.h"
#include "tile_view.h"
#include "ui_test_support.h"

namespace tessellon::test {

class SelectAreaWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<tileserver::TileServer> server;
    std::unique_ptr<MainWindowFixture> f;

    std::string Host() const { return "127.0.0.1:" + std::to_string(server->Port()); }

    QLineEdit* Edit(const char* name) const { return f->Find<QLineEdit>(name); }

    // The sample area, 42 tiles of the map layer at zoom 13, typed into the
    // main window.
    void TypeSample() const {
        f->window->findChildren<QRadioButton*>()[kMapItem]->setChecked(true);
        Edit("Edit1")->setText("116.3");
        Edit("Edit3")->setText("116.5");
        Edit("Edit2")->setText("40");
        Edit("Edit4")->setText("39.8");
    }

    SelectAreaForm* Open() const {
        f->Find<QPushButton>("ButtonSelectOnMap")->click();
        auto* form = f->Find<SelectAreaForm>("SelectAreaForm");
        return QTest::qWaitForWindowExposed(form) ? form : nullptr;
    }

    TileView* Map() const { return f->Find<TileView>("Map"); }
    QString Figures() const { return f->Find<QLabel>("Figures")->text(); }

    static void Drag(QWidget* widget, QPointF from, QPointF to,
                     Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::mousePress(widget, Qt::LeftButton, modifiers, from.toPoint());
        QTest::mouseMove(widget, ((from + to) / 2).toPoint());
        QTest::mouseMove(widget, to.toPoint());
        QTest::mouseRelease(widget, Qt::LeftButton, modifiers, to.toPoint());
    }

    static double Number(QLineEdit* edit) { return edit->text().toDouble(); }

private slots:
    void init() {
        server = std::make_unique<tileserver::TileServer>(ServerOptions());
        server->Start();
        f = std::make_unique<MainWindowFixture>(Pacing(kPaceScale));
        qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(f->dir.File("cache")));
        IniFile config(f->ConfigFile());
        config.WriteString("TileService", "MapHost", Host());
        config.WriteString("TileService", "SatelliteHost", Host());
        WriteFileAtomic(f->dir.File("ini/sources.ini"),
                        "[Topo]\r\nUrl=http://" + Host() +
                            "/{z}/{x}/{y}.png\r\nAttribution=(c) Topo makers\r\n");
        f->Show();
    }

    void cleanup() {
        f.reset();
        server.reset();
        qunsetenv("XDG_CACHE_HOME");
    }

    void typingTheFieldsMovesTheRectangleAndTheFiguresFollow() {
        QVERIFY(Open() != nullptr);
        QVERIFY(!Map()->Outline());
        const QString hint = Figures();
        TypeSample();
        QVERIFY(Map()->Outline());
        QCOMPARE(Map()->Outline()->Left, 116.3);
        QCOMPARE(Map()->Outline()->Right, 116.5);
        QCOMPARE(Map()->Outline()->Top, 40.0);
        QCOMPARE(Map()->Outline()->Bottom, 39.8);
        QVERIFY(Figures().startsWith("42 tiles, "));
        f->Find<QSpinBox>("UpDown1")->setValue(14);
        QVERIFY(Figures().startsWith("143 tiles, "));
        Edit("Edit3")->setText("116.4");
        QCOMPARE(Map()->Outline()->Right, 116.4);
        QVERIFY(!Figures().startsWith("143 tiles, "));
        // Left east of right is no area: no rectangle, and the hint again.
        Edit("Edit1")->setText("117");
        QVERIFY(!Map()->Outline());
        QCOMPARE(Figures(), hint);
    }

    void draggingTheRectangleWritesTheFields() {
        TypeSample();
        QVERIFY(Open() != nullptr);
        TileView* map = Map();
        const QRectF before = *map->OutlineOnScreen();
        // The window opens on the area, whole.
        QVERIFY(QRectF(map->rect()).contains(before));
        QVERIFY(before.width() > 100);

        // A corner resizes: the two sides it joins move, the others stay.
        const QPointF corner = before.bottomRight() + QPointF(40, 30);
        Drag(map, before.bottomRight(), corner);
        QCOMPARE(Edit("Edit1")->text(), QString("116.3"));
        QCOMPARE(Edit("Edit2")->text(), QString("40"));
        const QPointF dropped = map->PointAt(corner.toPoint());
        QVERIFY(std::abs(Number(Edit("Edit3")) - dropped.x()) < 1e-6);
        QVERIFY(std::abs(Number(Edit("Edit4")) - dropped.y()) < 1e-6);
        QVERIFY(Number(Edit("Edit3")) > 116.5 && Number(Edit("Edit4")) < 39.8);
        const TileRange tiles = CoveringTiles({Number(Edit("Edit1")), Number(Edit("Edit3")),
                                               Number(Edit("Edit2")), Number(Edit("Edit4"))},
                                              13);
        QVERIFY(Figures().startsWith(QString("%1 tiles, ").arg(tiles.Count())));
        QVERIFY(tiles.Count() > 42);

        // A drag inside moves the whole rectangle, keeping its size.
        const double width = Number(Edit("Edit3")) - Number(Edit("Edit1"));
        const QRectF resized = *map->OutlineOnScreen();
        Drag(map, resized.center(), resized.center() + QPointF(-60, 0));
        QVERIFY(Number(Edit("Edit1")) < 116.3);
        QVERIFY(std::abs(Number(Edit("Edit3")) - Number(Edit("Edit1")) - width) < 1e-5);

        // Shift+drag, or any drag with Draw pressed, draws a new one.
        Drag(map, QPointF(20, 20), QPointF(80, 60), Qt::ShiftModifier);
        QVERIFY(std::abs(Number(Edit("Edit1")) - map->PointAt(QPointF(20, 20)).x()) < 1e-6);
        QVERIFY(std::abs(Number(Edit("Edit2")) - map->PointAt(QPointF(20, 20)).y()) < 1e-6);
        f->Find<QPushButton>("Draw")->click();
        Drag(map, QPointF(200, 150), QPointF(150, 100));
        QVERIFY(std::abs(Number(Edit("Edit1")) - map->PointAt(QPointF(150, 100)).x()) < 1e-6);
        QVERIFY(std::abs(Number(Edit("Edit4")) - map->PointAt(QPointF(200, 150)).y()) < 1e-6);
        // The fields written are what the rectangle shows, not a rounding
        // that moved it back.
        QVERIFY(std::abs(map->Outline()->Left - Number(Edit("Edit1"))) < 1e-6);

        // Any other drag pans the map and leaves the rectangle.
        f->Find<QPushButton>("Draw")->click();
        const QString left = Edit("Edit1")->text();
        const QPointF centre = map->Centre();
        const QPointF away(map->width() - 20, map->height() - 20);
        QVERIFY(!map->OutlineOnScreen()->adjusted(-10, -10, 10, 10).contains(away));
        Drag(map, away, away - QPointF(64, 0));
        QCOMPARE(Edit("Edit1")->text(), left);
        QVERIFY(map->Centre().x() > centre.x());
    }

    // Screen readers meet a named dialog, and the window lies wholly on
    // the screen of the main window, wherever that stands.
    void theWindowIsANamedDialogWhollyOnTheMainWindowsScreen() {
        const QRect screen = f->window->screen()->availableGeometry();
        f->window->move(screen.right() - 100, screen.bottom() - 100);
        SelectAreaForm* form = Open();
        QVERIFY(form != nullptr);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(form);
        QVERIFY(accessible != nullptr);
        QCOMPARE(accessible->role(), QAccessible::Dialog);
        QCOMPARE(accessible->text(QAccessible::Name), QString("Select on map"));
        QVERIFY2(screen.contains(form->frameGeometry()),
                 qPrintable(QString("%1,%2 %3x%4")
                                .arg(form->frameGeometry().x())
                                .arg(form->frameGeometry().y())
                                .arg(form->frameGeometry().width())
                                .arg(form->frameGeometry().height())));
    }

    void goToPansThereAndSaysWhenItCannot() {
        QVERIFY(Open() != nullptr);
        auto* goTo = f->Find<QLineEdit>("GoTo");
        auto* message = f->Find<QLabel>("GoToMessage");
        const auto centre = [this] {
            return Map()->PointAt(QPointF(Map()->width(), Map()->height()) / 2);
        };
        // From the world the map zooms in to find the place on; a zoom the
        // user chose further in stays.
        QVERIFY(Map()->Zoom() < 12);
        goTo->setText("39.9, 116.4");
        QTest::keyClick(goTo, Qt::Key_Return);
        QVERIFY(std::abs(centre().x() - 116.4) < 1e-9);
        QVERIFY(std::abs(centre().y() - 39.9) < 1e-9);
        QCOMPARE(Map()->Zoom(), 12);
        Map()->ShowWorld(15, 1, 19);
        QTest::keyClick(goTo, Qt::Key_Return);
        QCOMPARE(Map()->Zoom(), 15);
        // Degrees, minutes and seconds, south and west.
        goTo->setText("33 52 12 S, 151 12 36 W");
        QTest::keyClick(goTo, Qt::Key_Return);
        QVERIFY(std::abs(centre().x() + 151.21) < 1e-5);
        QVERIFY(std::abs(centre().y() + 33.87) < 1e-5);
        QVERIFY(message->text().isEmpty());
        const QPointF there = centre();
        goTo->setText("Beijing");
        QTest::keyClick(goTo, Qt::Key_Return);
        QVERIFY(!message->text().isEmpty());
        QVERIFY(f->desktop.messages.empty());
        QCOMPARE(centre(), there);
    }

    // The map layer's tiles, then the chosen source's, with its attribution,
    // each kept in the service's own folder of the user's cache.
    void theMapShowsTheChosenServiceAndKeepsItsTiles() {
        TypeSample();
        SelectAreaForm* form = Open();
        QVERIFY(form != nullptr);
        auto* attribution = f->Find<QLabel>("Attribution");
        QVERIFY(!attribution->isVisible());
        const auto tilesIn = [this](const char* service) {
            QDirIterator files(
                QString::fromStdString(f->dir.File("cache/tessellon/tiles/")) + service,
                QDir::Files, QDirIterator::Subdirectories);
            int count = 0;
            for (; files.hasNext(); files.next()) {
                ++count;
            }
            return count;
        };
        QTRY_VERIFY(tilesIn("map") > 0);
        f->Find<QRadioButton>("RadioSource")->setChecked(true);
        QVERIFY(attribution->isVisible());
        QCOMPARE(attribution->text(), QString("(c) Topo makers"));
        const QString cache = QString::fromStdString(f->dir.File("cache/tessellon/tiles/"));
        QTRY_VERIFY(QDir(cache).entryList({"source-*"}, QDir::Dirs).size() == 1);
        const QString source = QDir(cache).entryList({"source-*"}, QDir::Dirs)[0];
        QTRY_VERIFY(tilesIn(source.toUtf8().constData()) > 0);
    }

    // A tile that cannot be had is painted as failed and its reason is the
    // tool tip over it.
    void aTileThatCannotBeHadTellsWhyOnHover() {
        TaskFields fields;
        fields.Source =
            ParseSources("[Gone]\nUrl=http://127.0.0.1:1/{z}/{x}/{y}.png\n", "1").Sources.at(0);
        MapTileProvider provider(MapService::Of(fields, Configuration(f->ConfigFile())),
                                 f->dir.File("cache/"), Pacing(kPaceScale));
        QSignalSpy arrived(&provider, &TileProvider::Arrived);
        TileView view;
        view.resize(256, 256);
        view.SetProvider(&provider);
        view.ShowWorld(1, 1, 1);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTRY_COMPARE(arrived.size(), 4);
        QCOMPARE(arrived[0][0].value<TileRequest>().Size, TileView::kTileSize);
        QCOMPARE(arrived[0][1].value<TileAnswer>().Look, TileLook::Unavailable);
        const QPoint inside(200, 200);
        QCOMPARE(view.grab().toImage().pixelColor(inside), QColor(160, 160, 160));
        QVERIFY(view.toolTip().isEmpty());
        // A move with no button held, as the pointer passing over.
        QMouseEvent move(QEvent::MouseMove, inside, view.mapToGlobal(inside), Qt::NoButton,
                         Qt::NoButton, {});
        QApplication::sendEvent(&view, &move);
        QVERIFY(!view.toolTip().isEmpty());
        QCOMPARE(view.toolTip(), arrived[0][1].value<TileAnswer>().Reason);
    }

    void everyControlIsReachedByTabAndNamed() {
        auto* button = f->Find<QPushButton>("ButtonSelectOnMap");
        QCOMPARE(AccessibleName(button), QString("Select on map"));
        QVERIFY(button->text().contains('&'));
        QVERIFY(AccessibleChildNames(f->Find<QMenu>("Tools1")).contains("Select on map..."));
        f->TriggerMenu("SelectOnMap1");
        SelectAreaForm* form = Open();
        QVERIFY(form != nullptr);
        QCOMPARE(f->window->findChildren<SelectAreaForm*>().size(), 1);
        QVERIFY(!form->isModal());
        QVERIFY(QTest::qWaitForWindowActive(form));
        const QStringList order{"GoTo", "Draw", "DrawPolygon", "Import", "Map", "Close"};
        auto* goTo = f->Find<QLineEdit>("GoTo");
        goTo->setFocus();
        for (int i = 0; i <= order.size(); ++i) {
            QWidget* focused = QApplication::focusWidget();
            QCOMPARE(focused->objectName(), order[i % order.size()]);
            QVERIFY(!AccessibleName(focused).isEmpty());
            QTest::keyClick(focused, Qt::Key_Tab);
        }
        f->Find<QPushButton>("Close")->click();
        QVERIFY(!form->isVisible());
    }
};

TESSELLON_UI_TEST(SelectAreaWindowTest)

}  // namespace tessellon::test

#include "select_area_window_test.moc"
