// ui_screenshots: shows each window with real content on the display it is
// given (Xvfb under `make screenshots`) and writes a PNG of each into a
// folder. The main window runs a download against a tile server in this
// process, and the Map Viewer shows the tiles it fetched, which the MBTiles
// window then exports; the map window shows the task's area over the server's
// tiles; the re-download window fetches a short failed-tile list.
// Usage: ui_screenshots OUTPUT_FOLDER

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <cstdio>

#include "about_form.h"
#include "combiner_form.h"
#include "control/main_window_fields.h"
#include "control/source_editing.h"
#include "convert_form.h"
#include "download_harness.h"
#include "flt_form.h"
#include "form_layout.h"
#include "geo/tile_math.h"
#include "map_viewer_window.h"
#include "mbtiles_export_form.h"
#include "options_form.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "platform/message_sink.h"
#include "sources_form.h"
#include "task/md_task.h"
#include "tile_view.h"
#include "ui_test_support.h"

namespace tessellon::test {
namespace {

using namespace std::chrono_literals;

class Tour {
public:
    explicit Tour(QString folder) : folder_(std::move(folder)) {
        ::setenv("HOME", home_.Path().c_str(), 1);
        // Map tiles are cached in the tour's home, never the user's.
        ::setenv("XDG_CACHE_HOME", home_.File(".cache").c_str(), 1);
        server_.Start();
    }

    void MainWindow() {
        Pacing pace;
        pace.StartOffset = 20ms;
        pace.AfterTile = 700ms;
        MainWindowFixture f(pace, 500ms);
        IniFile config(f.ConfigFile());
        config.WriteString("TileService", "MapHost", Host());
        f.Show();
        f.Find<QLineEdit>("EditTaskName")->setText("beijing.tsln");
        f.window->findChildren<QRadioButton*>()[kMapItem]->setChecked(true);
        f.Find<QLineEdit>("Edit1")->setText("116.3");
        f.Find<QLineEdit>("Edit3")->setText("116.5");
        f.Find<QLineEdit>("Edit2")->setText("40");
        f.Find<QLineEdit>("Edit4")->setText("39.8");
        f.Find<QLineEdit>("Edit6")->setText(QString::fromStdString(f.dir.File("maps")));
        f.Find<QPushButton>("BitBtn1")->click();
        QTest::qWait(2500);
        Save(f.window.get(), "main-window.png");

        f.Find<QPushButton>("BitBtn1")->click();
        if (!QTest::qWaitFor([&] { return !f.desktop.messages.empty(); }, 10000)) {
            Fail("the download did not finish");
            return;
        }
        QMessageBox box(QMessageBox::NoIcon, "Tessellon", f.desktop.messages.front(),
                        QMessageBox::Ok);
        FitCaption(box);
        Show(&box);
        Save(&box, "message-task-stopped.png");

        // A whole download of one tile: the closing box with its next steps,
        // and the row under the log that keeps them offered.
        f.Find<QLineEdit>("EditTaskName")->setText("corner.tsln");
        f.Find<QLineEdit>("Edit3")->setText("116.3");
        f.Find<QLineEdit>("Edit4")->setText("40");
        f.Find<QPushButton>("BitBtn1")->click();
        if (!QTest::qWaitFor([&] { return f.desktop.messages.size() == 2; }, 10000)) {
            Fail("the one-tile download did not finish");
            return;
        }
        QMessageBox done(QMessageBox::NoIcon, "Tessellon", f.desktop.messages.back(),
                         QMessageBox::NoButton);
        for (const QString& choice : f.desktop.askedChoices.back()) {
            done.addButton(choice, QMessageBox::AcceptRole);
        }
        FitCaption(done);
        Show(&done);
        Save(&done, "message-task-done.png");
        Save(f.window.get(), "main-window-next-steps.png");
        f.Find<QLineEdit>("EditTaskName")->setText("beijing.tsln");
        f.Find<QLineEdit>("Edit3")->setText("116.5");
        f.Find<QLineEdit>("Edit4")->setText("39.8");
        MapViewer(f.dir.File("maps/beijing.tsln"));
        SelectOnMap(f);

        // The menu whose items open the log, and the tools menu.
        for (const char* name : {"Misc1", "Tools1"}) {
            auto* menu = f.Find<QMenu>(name);
            menu->popup(f.window->mapToGlobal(QPoint(0, 0)));
            QTest::qWait(100);
            Save(menu, QString("menu-%1.png").arg(menu->title().remove('&').toLower()));
            menu->hide();
        }

        // The task just downloaded, exported to MBTiles.
        MbtilesExportForm mbtiles(desktop_, f.dir.File("blankimg/"), nullptr);
        Show(&mbtiles);
        desktop_.fileAnswers.push_back(QString::fromStdString(f.dir.File("maps/beijing.tsln")));
        Child<QPushButton>(&mbtiles, "AddProject")->click();
        Child<QLineEdit>(&mbtiles, "MapName")->setText("Beijing");
        auto* exportButton = Child<QPushButton>(&mbtiles, "ExportButton");
        exportButton->click();
        if (!QTest::qWaitFor([&] { return exportButton->isEnabled(); }, 10000)) {
            Fail("the export did not end");
        }
        Save(&mbtiles, "mbtiles-export.png");
    }

    // The viewer on the task the main window stopped: tiles fetched so far,
    // the rest marked missing, the typed area outlined, the grid on.
    void MapViewer(const std::string& project) {
        MapViewerWindow viewer(desktop_, ProgramFolder() + "blankimg/");
        viewer.resize(900, 640);
        Show(&viewer);
        if (!viewer.Open(QString::fromStdString(project))) {
            Fail("the viewer did not open the task");
            return;
        }
        for (int i = 0; i < 3; ++i) {
            viewer.View()->ZoomOut();
        }
        viewer.findChild<QAction*>("gridToggle")->trigger();
        const QPoint pointer(300, 200);
        QMouseEvent move(QEvent::MouseMove, pointer, viewer.View()->mapToGlobal(pointer),
                         Qt::NoButton, Qt::NoButton, {});
        QApplication::sendEvent(viewer.View(), &move);
        QTest::qWait(1500);
        Save(&viewer, "map-viewer.png");
    }

    // The main window's area on the map, with the zoom's tile grid over it.
    void SelectOnMap(const MainWindowFixture& f) {
        f.Find<QPushButton>("ButtonSelectOnMap")->click();
        auto* form = f.Find<QWidget>("SelectAreaForm");
        if (!QTest::qWaitForWindowExposed(form)) {
            Fail("the map window did not come up");
            return;
        }
        QTest::qWait(2000);
        Save(form, "select-on-map.png");
        form->close();
    }

    void Options() {
        const std::string config = home_.File("config.ini");
        WriteFileAtomic(
            config,
            "[IniParas]\r\nDefaultPath=/home/anna/maps\r\n[Proxy]\r\nUseProxy=1\r\n"
            "ProxyServer=proxy.example.org\r\nProxyPort=3128\r\nProxyUsername=anna\r\n");
        TfrmOptions options(desktop_, config, nullptr);
        Show(&options);
        Save(&options, "options.png");
    }

    void Converter() {
        TfrmConvert convert(desktop_, {}, nullptr);
        Show(&convert);
        Child<QLineEdit>(&convert, "Edit1")->setText("39");
        Child<QLineEdit>(&convert, "Edit2")->setText("55");
        Child<QLineEdit>(&convert, "Edit3")->setText("30");
        Child<QPushButton>(&convert, "Button1")->click();
        Save(&convert, "converter.png");
    }

    void About() {
        TfrmAbout about(desktop_, nullptr);
        about.SetTexts("Tessellon 5.23", kHomePageUrl, kMailLink);
        Show(&about);
        Save(&about, "about.png");
    }

    void Redownload() {
        const std::string url = "http://" + Host() + "/hx/tl?v=4.3&r=1&x=";
        std::vector<std::string> records;
        for (int x = 6662; x <= 6665; ++x) {
            records.push_back(home_.File("beijing/yn_" + std::to_string(x) + "_3101_13.png") + "|" +
                              url + std::to_string(x) + "&y=1010&z=14" +
                              (x == 6664 ? "&fault=status-404" : ""));
        }
        if (!CreateDirectoryOneLevel(home_.File("beijing"))) {
            qFatal("cannot create %s", home_.File("beijing").c_str());
        }
        WriteLinesAtomic(home_.File("beijing_failed.ftl"), records);
        TfrmFlt flt(desktop_, nullptr);
        Show(&flt);
        desktop_.fileAnswers.push_back(QString::fromStdString(home_.File("beijing_failed.ftl")));
        auto* open = Child<QPushButton>(&flt, "Button1");
        open->click();
        if (!QTest::qWaitFor([&] { return open->isEnabled(); }, 10000)) {
            Fail("the re-download did not end");
        }
        Save(&flt, "redownload.png");
    }

    // The main window with a source chosen, the sources window (the user's
    // sources and the catalogue's) after a test fetch, and the edit window
    // refusing a key.
    void TileSources() {
        MainWindowFixture f;
        const std::string sources = f.dir.File("ini/sources.ini");
        WriteFileAtomic(sources, "[Local relief]\r\nUrl=http://" + Host() +
                                     "/{z}/{x}/{y}.png\r\nMinZoom=2\r\nMaxZoom=17\r\n"
                                     "Attribution=Test tiles\r\n[Local quadkey]\r\nUrl=http://" +
                                     Host() +
                                     "/q/{q}.png\r\nWorkers=4\r\n[Topo]\r\nUrl="
                                     "https://{s}.tiles.example.org/{zoom}/{x}/{y}.png\r\n");
        f.Show();
        f.Find<QRadioButton>("RadioSource")->setChecked(true);
        f.Find<QLineEdit>("Edit1")->setText("116.3");
        f.Find<QLineEdit>("Edit3")->setText("116.5");
        f.Find<QLineEdit>("Edit2")->setText("40");
        f.Find<QLineEdit>("Edit4")->setText("39.8");
        Save(f.window.get(), "main-window-source.png");

        // The catalogue shipped beside the tour, as beside the program.
        TfrmSources window(f.desktop, sources, f.ConfigFile(), nullptr,
                           CatalogueFileIn(ProgramFolder()));
        Show(&window);
        auto* test = Child<QPushButton>(&window, "ButtonTest");
        test->click();
        if (!QTest::qWaitFor([&] { return test->isEnabled(); }, 10000)) {
            Fail("the test fetch did not end");
        }
        Save(&window, "tile-sources.png");

        const bool shown =
            WithModalWindow([&] { Child<QPushButton>(&window, "ButtonEdit")->click(); },
                            [&](QWidget* edit) {
                                Child<QLineEdit>(edit, "EditWorkers")->setText("12");
                                Child<QPushButton>(edit, "ButtonOK")->click();
                                QTest::qWait(100);
                                Save(edit, "tile-source-edit.png");
                            });
        if (!shown) {
            Fail("the edit window did not come up");
        }
    }

    // A task of 4 x 3 drawn tiles, one missing, combined in the window; the
    // window and the combined image.
    void Combiner() {
        TaskParameters params;
        params.Zoom = 13;
        params.LeftLongitude = TileXToLongitude(6742.5, 13);
        params.RightLongitude = TileXToLongitude(6745.5, 13);
        params.TopLatitude = TileYToLatitude(3101.5, 13);
        params.BottomLatitude = TileYToLatitude(3103.5, 13);
        params.MapsType = kMapsTypeMap;
        params.SavePath = home_.Path();
        params.TaskName = "combined.tsln";
        struct Quiet : MessageSink {
            void ShowMessage(const std::string&) override {}
        } messages;
        const MDTask task(&params, messages);
        task.WriteTaskFiles({});
        for (int y = 3101; y <= 3103; ++y) {
            for (int x = 6742; x <= 6745; ++x) {
                if (x == 6744 && y == 3102) {
                    continue;
                }
                QImage tile(256, 256, QImage::Format_RGB888);
                tile.fill(QColor::fromHsv((x * 40 + y * 70) % 360, 60, 235));
                QPainter painter(&tile);
                painter.setPen(QColor(90, 90, 90));
                painter.drawRect(0, 0, 255, 255);
                painter.drawText(tile.rect(), Qt::AlignCenter, QString("%1, %2").arg(x).arg(y));
                painter.end();
                tile.save(QString::fromStdString(task.GetTilePath({task.Params->Zoom, x, y})),
                          "PNG");
            }
        }
        CombinerForm window(desktop_, "bigmap.bmp", home_.File("blankimg/"));
        window.SetProject(QString::fromStdString(home_.File("combined.tsln")));
        Child<QComboBox>(&window, "FormatBox")->setCurrentText("PNG");
        window.SetProject(QString::fromStdString(home_.File("combined.tsln")));
        Show(&window);
        auto* combine = Child<QPushButton>(&window, "CombineButton");
        combine->click();
        if (!QTest::qWaitFor([&] { return combine->isEnabled(); }, 10000)) {
            Fail("the combination did not end");
        }
        Save(&window, "combiner.png");
        // The default name carries the task's name and zoom.
        const QStringList combined =
            QDir(QString::fromStdString(home_.Path())).entryList({"combined_bigmap_z*.png"});
        if (combined.size() != 1 ||
            !QImage(QDir(QString::fromStdString(home_.Path())).filePath(combined.front()))
                 .save(QDir(folder_).filePath("combined-map.png"))) {
            Fail("the combined image could not be copied");
        }
    }

    bool Failed() const { return failed_; }

private:
    std::string Host() const { return "127.0.0.1:" + std::to_string(server_.Port()); }

    void Show(QWidget* window) {
        window->show();
        if (!QTest::qWaitForWindowExposed(window)) {
            Fail("a window did not come up");
        }
        QTest::qWait(100);
    }

    void Fail(const char* what) {
        std::fprintf(stderr, "ui_screenshots: %s\n", what);
        failed_ = true;
    }

    void Save(QWidget* window, const QString& name) {
        const QString path = QDir(folder_).filePath(name);
        if (!window->grab().save(path)) {
            Fail("a picture could not be written");
        }
        std::printf("%s\n", qPrintable(path));
    }

    QString folder_;
    bool failed_ = false;
    TempDir home_;
    FakeDesktop desktop_;
    tileserver::TileServer server_{ServerOptions()};
};

}  // namespace
}  // namespace tessellon::test

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ui_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tessellon");
    tessellon::form::UseProgramFont();
    QDir().mkpath(argv[1]);
    tessellon::test::Tour tour(argv[1]);
    tour.MainWindow();
    tour.Options();
    tour.Converter();
    tour.About();
    tour.Redownload();
    tour.TileSources();
    tour.Combiner();
    return tour.Failed() ? 1 : 0;
}
