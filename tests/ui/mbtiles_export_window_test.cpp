// The "Export tiles" window.

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "mbtiles_export_form.h"
#include "output/mbtiles.h"
#include "platform/files.h"
#include "platform/message_sink.h"
#include "sample_fields.h"
#include "task/md_task.h"
#include "ui_test_support.h"

namespace tessellon::test {

class MbtilesExportWindowTest : public QObject {
    Q_OBJECT

    class NoMessages : public MessageSink {
        void ShowMessage(const std::string&) override {}
    };

    std::unique_ptr<TempDir> dir;
    FakeDesktop desktop;

    // A started task of the sample area at `zoom` with its first tile on
    // disk; its project file.
    QString Project(const std::string& name, int zoom = 13) {
        TaskParameters params = test::SampleTaskParameters(dir->Path(), name + ".tsln");
        params.Zoom = zoom;
        NoMessages messages;
        const MDTask task(&params, messages);
        task.WriteTaskFiles({});
        WriteFileAtomic(task.GetTilePath({task.Params->Zoom, task.MinX, task.MinY}),
                        "a tile of " + name);
        return QString::fromStdString(dir->File(params.TaskName));
    }

    static void Click(QWidget* window, const char* name) {
        Child<QPushButton>(window, name)->click();
    }

private slots:
    void init() {
        dir = std::make_unique<TempDir>();
        desktop = FakeDesktop();
    }
    void cleanup() { dir.reset(); }

    void exportsTheListedProjectsBesideTheWindowAndTellsWhatBecameOfThem() {
        const QString area = Project("area");
        const QString other = Project("other");
        MbtilesExportForm form(desktop, dir->File("blankimg/"), nullptr);
        form.show();
        auto* list = Child<QListWidget>(&form, "ProjectList");
        auto* output = Child<QLineEdit>(&form, "OutputFile");
        desktop.fileAnswers = {area, other};
        Click(&form, "AddProject");
        QCOMPARE(output->text(), QString::fromStdString(dir->File("area.mbtiles")));
        Click(&form, "AddProject");
        QCOMPARE(desktop.fileRequests[1].initialFolder + "/", QString::fromStdString(dir->Path()));
        QCOMPARE(FileTypesShown(desktop.fileRequests[0].filter), QStringList{"Projects(*.tsln)"});
        list->setCurrentRow(1);
        Click(&form, "RemoveProject");
        QCOMPARE(list->count(), 1);
        Click(&form, "AddProject");  // cancelled
        QCOMPARE(list->count(), 1);

        Child<QLineEdit>(&form, "MapName")->setText("Area map");
        Child<QCheckBox>(&form, "WithBlanks")->setChecked(true);
        Child<QSpinBox>(&form, "BuildLower")->setValue(1);
        auto* exportButton = Child<QPushButton>(&form, "ExportButton");
        exportButton->click();
        QTRY_VERIFY(exportButton->isEnabled());
        // The one tile is no image: zoom 12 is built, and empty.
        QCOMPARE(Child<QPlainTextEdit>(&form, "ResultText")->toPlainText(),
                 area +
                     ": zoom 13, 1 tiles written (0 blank); left out: 0 failed, 41 missing.\n"
                     "Zoom 12 built from zoom 13: 0 tiles.");
        // 42 tiles, and 12 places at zoom 12.
        QCOMPARE(Child<QProgressBar>(&form, "ExportProgress")->value(), 42 + 12);
        const MbtilesReader reader(dir->File("area.mbtiles"));
        QCOMPARE(reader.Metadata().at("name"), std::string("Area map"));
        QCOMPARE(reader.Zooms(), std::vector<int>{13});
    }

    void missingInputIsAskedForAndARefusedFileIsReported() {
        MbtilesExportForm form(desktop, dir->File("blankimg/"), nullptr);
        form.show();
        Click(&form, "ExportButton");
        QCOMPARE(desktop.messages, std::vector<QString>{"Add the project files to export."});
        desktop.fileAnswers = {Project("area")};
        Click(&form, "AddProject");
        Child<QLineEdit>(&form, "OutputFile")->clear();
        Click(&form, "ExportButton");
        QCOMPARE(desktop.messages.back(),
                 QString("Name the tile container to write (.mbtiles, .gpkg, .pmtiles or "
                         ".sqlitedb)."));

        const std::string text = "no database here, only a few words of text";
        WriteFileAtomic(dir->File("notes.mbtiles"), text);
        desktop.fileAnswers = {QString::fromStdString(dir->File("notes.mbtiles"))};
        Click(&form, "ChooseOutput");
        QCOMPARE(FileTypesShown(desktop.fileRequests.back().filter),
                 (QStringList{"Tile containers(*.mbtiles *.gpkg *.pmtiles *.sqlitedb)",
                              "MBTiles(*.mbtiles)", "GeoPackage(*.gpkg)", "PMTiles(*.pmtiles)",
                              "OsmAnd SQLiteDB(*.sqlitedb)"}));
        auto* exportButton = Child<QPushButton>(&form, "ExportButton");
        exportButton->click();
        QTRY_VERIFY(exportButton->isEnabled());
        QCOMPARE(Child<QPlainTextEdit>(&form, "ResultText")->toPlainText(),
                 QString::fromStdString("The file " + dir->File("notes.mbtiles") +
                                        " is not an MBTiles file: it is no SQLite database."));
        QCOMPARE(ReadFileBytes(dir->File("notes.mbtiles")), text);
        QCOMPARE(desktop.messages.size(), size_t{2});
    }

    // Closing the window asks the export to stop and waits only for the
    // batch under way: the file a whole run would have changed is as it was.
    void closingMidExportStopsItAndLeavesTheFileAsItWas() {
        const QString area = Project("area");
        MbtilesExportForm form(desktop, dir->File("blankimg/"), nullptr);
        form.show();
        desktop.fileAnswers = {area};
        Click(&form, "AddProject");
        auto* exportButton = Child<QPushButton>(&form, "ExportButton");
        exportButton->click();
        QTRY_VERIFY(exportButton->isEnabled());
        const std::string file = dir->File("area.mbtiles");
        const std::string before = ReadFileBytes(file);

        // Some 170,000 tiles at zoom 19, ten times over: seconds of work,
        // which no busy machine gets through before the close.
        const QString big = Project("big", 19);
        auto* list = Child<QListWidget>(&form, "ProjectList");
        list->clear();
        for (int i = 0; i < 10; ++i) {
            list->addItem(big);
        }
        auto* progress = Child<QProgressBar>(&form, "ExportProgress");
        progress->setValue(0);
        exportButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(progress->value() > 0, 20000);
        form.close();
        QVERIFY(!form.isVisible());
        QVERIFY(progress->value() < progress->maximum());
        QCOMPARE(ReadFileBytes(file), before);
        QVERIFY(!FileExists(file + "-journal"));
    }
};

TESSELLON_UI_TEST(MbtilesExportWindowTest)

}  // namespace tessellon::test

#include "mbtiles_export_window_test.moc"
