// The Map Combiner's window over a task of 2 x 3 tiles.

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <filesystem>

#include "combiner_form.h"
#include "geo/tile_math.h"
#include "platform/files.h"
#include "platform/message_sink.h"
#include "task/md_task.h"
#include "ui_test_support.h"

namespace tessellon::test {

namespace {

class IgnoredMessages : public MessageSink {
public:
    void ShowMessage(const std::string&) override {}
};

}  // namespace

class CombinerWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempDir> dir;
    FakeDesktop desktop;

    // Columns 6742..6743, rows 3101..3103 at zoom 13 (or `columns` x `rows`
    // from there), the typed area half a tile in from each edge; one red
    // tile, the rest missing.
    std::string MakeTask(int columns = 2, int rows = 3) const {
        TaskParameters params;
        params.Zoom = 13;
        params.LeftLongitude = TileXToLongitude(6742.5, 13);
        params.RightLongitude = TileXToLongitude(6741.5 + columns, 13);
        params.TopLatitude = TileYToLatitude(3101.5, 13);
        params.BottomLatitude = TileYToLatitude(3100.5 + rows, 13);
        params.MapsType = kMapsTypeMap;
        params.SavePath = dir->Path();
        params.TaskName = "window.tsln";
        IgnoredMessages messages;
        const MDTask task(&params, messages);
        task.WriteTaskFiles({});
        QImage tile(256, 256, QImage::Format_RGB888);
        tile.fill(Qt::red);
        tile.save(QString::fromStdString(task.GetTilePath({task.Params->Zoom, 6742, 3101})), "PNG");
        return dir->File("window.tsln");
    }

    static QString Result(CombinerForm& window) {
        return Child<QPlainTextEdit>(&window, "ResultText")->toPlainText();
    }

private slots:
    void init() {
        dir = std::make_unique<TempDir>();
        desktop = FakeDesktop();
    }
    void cleanup() { dir.reset(); }

    void combinesOnAThreadAndReportsTheWhiteTiles() {
        const std::string project = MakeTask();
        CombinerForm window(desktop, "bigmap.bmp", dir->File("blankimg/"));
        window.show();
        desktop.fileAnswers.push_back(QString::fromStdString(project));
        Child<QPushButton>(&window, "BrowseButton")->click();
        QCOMPARE(desktop.fileRequests.size(), std::size_t{1});
        QCOMPARE(desktop.fileRequests[0].filter, QString("Projects(*.tsln)"));
        // Beside the project, named after the task, the configured name and
        // the deepest zoom, with the configured extension until a format is
        // chosen.
        QCOMPARE(Child<QLineEdit>(&window, "OutputEdit")->text(),
                 QString::fromStdString(dir->File("window_bigmap_z13.bmp")));

        Child<QLineEdit>(&window, "OutputEdit")
            ->setText(QString::fromStdString(dir->File("a.png")));
        Child<QCheckBox>(&window, "CropBox")->setChecked(true);
        QPushButton* combine = Child<QPushButton>(&window, "CombineButton");
        combine->click();
        QVERIFY(!combine->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(combine->isEnabled(), 20000);
        QVERIFY2(Result(window).startsWith(QString::fromStdString(
                     "Wrote " + dir->File("a.png") + ": 256 x 512 pixels, 5 tiles left white.")),
                 qPrintable(Result(window)));
        QVERIFY(Result(window).contains("Left white: tile 6743,3101: missing"));
        QProgressBar* progress = Child<QProgressBar>(&window, "ProgressBar");
        QCOMPARE(progress->value(), progress->maximum());
        const QImage image(QString::fromStdString(dir->File("a.png")));
        QCOMPARE(image.size(), QSize(256, 512));
        QCOMPARE(image.pixelColor(0, 0), QColor(Qt::red));
        QCOMPARE(image.pixelColor(200, 0), QColor(Qt::white));
    }

    void tellsFaultsInItsResultOrAsksForAFormat() {
        const std::string project = MakeTask();
        CombinerForm window(desktop, "bigmap.bmp", dir->File("blankimg/"));
        window.show();
        window.SetProject(QString::fromStdString(project));
        Child<QLineEdit>(&window, "OutputEdit")
            ->setText(QString::fromStdString(dir->File("a.gif")));
        Child<QPushButton>(&window, "CombineButton")->click();
        QCOMPARE(desktop.messages.size(), std::size_t{1});
        QVERIFY(desktop.messages[0].contains("choose one in the Format box"));

        // A chosen format gives the default output its extension.
        Child<QComboBox>(&window, "FormatBox")->setCurrentText("TIFF");
        window.SetProject(QString::fromStdString(project));
        QCOMPARE(Child<QLineEdit>(&window, "OutputEdit")->text(),
                 QString::fromStdString(dir->File("window_bigmap_z13.tif")));

        // A zoom the task has not is refused; "the deepest" is its only one.
        auto* zoom = Child<QSpinBox>(&window, "ZoomBox");
        QCOMPARE(zoom->text(), QString("The deepest"));
        zoom->setValue(14);
        QPushButton* combine = Child<QPushButton>(&window, "CombineButton");
        combine->click();
        QTRY_VERIFY_WITH_TIMEOUT(combine->isEnabled(), 20000);
        QCOMPARE(Result(window), QString("The task has no tiles at zoom 14; its zoom is 13."));
        zoom->setValue(0);

        QVERIFY(std::filesystem::remove_all(dir->File("window")) > 0);
        combine->click();
        QTRY_VERIFY_WITH_TIMEOUT(combine->isEnabled(), 20000);
        QVERIFY2(Result(window).contains("is missing"), qPrintable(Result(window)));
        QVERIFY(!FileExists(dir->File("window_bigmap_z13.tif")));
    }

    // Closing the window asks the combination to stop and waits only for
    // the row under way: the image, which a whole run would have written,
    // is not there, nor any part of it.
    void closingMidCombinationStopsItAndLeavesNoImage() {
        const std::string project = MakeTask(32, 200);
        CombinerForm window(desktop, "bigmap.png", dir->File("blankimg/"));
        window.show();
        window.SetProject(QString::fromStdString(project));
        QProgressBar* progress = Child<QProgressBar>(&window, "ProgressBar");
        Child<QPushButton>(&window, "CombineButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(progress->value() > 0, 20000);
        window.close();
        QVERIFY(!window.isVisible());
        QVERIFY(progress->value() < 200);
        QVERIFY(Child<QPushButton>(&window, "CombineButton")->isEnabled());
        QCOMPARE(Child<QLineEdit>(&window, "OutputEdit")->text(),
                 QString::fromStdString(dir->File("window_bigmap_z13.png")));
        for (const auto& entry : std::filesystem::directory_iterator(dir->Path())) {
            QVERIFY2(!entry.path().filename().string().starts_with("window_bigmap"),
                     entry.path().c_str());
        }
    }

    // A relative output goes to the task's folder, whatever the working
    // folder; a file that is there is replaced only after a Yes.
    void aRelativeOutputLandsInTheTasksFolderAndAFileThereIsAskedFor() {
        const std::string project = MakeTask();
        CombinerForm window(desktop, "bigmap.bmp", dir->File("blankimg/"));
        window.show();
        window.SetProject(QString::fromStdString(project));
        auto* output = Child<QLineEdit>(&window, "OutputEdit");
        QPushButton* combine = Child<QPushButton>(&window, "CombineButton");
        output->setText("sub/../mine.png");
        combine->click();
        QTRY_VERIFY_WITH_TIMEOUT(combine->isEnabled(), 20000);
        QCOMPARE(output->text(), QString::fromStdString(dir->File("mine.png")));
        QVERIFY2(
            Result(window).startsWith(QString::fromStdString("Wrote " + dir->File("mine.png"))),
            qPrintable(Result(window)));
        QVERIFY(desktop.questions.empty());

        WriteFileAtomic(dir->File("mine.png"), "someone's file");
        resultTextCleared(window);
        combine->click();
        QCOMPARE(desktop.questions.size(), std::size_t{1});
        QCOMPARE(desktop.questions[0],
                 QString::fromStdString(dir->File("mine.png") + " already exists. Replace it?"));
        QVERIFY(combine->isEnabled());
        QCOMPARE(Result(window), QString());
        QCOMPARE(ReadFileBytes(dir->File("mine.png")), std::string("someone's file"));

        desktop.confirmAnswers.push_back(true);
        combine->click();
        QTRY_VERIFY_WITH_TIMEOUT(combine->isEnabled(), 20000);
        QCOMPARE(desktop.questions.size(), std::size_t{2});
        QCOMPARE(QImage(QString::fromStdString(dir->File("mine.png"))).size(), QSize(512, 768));
    }

    // The proposed name follows the zoom chosen until the user types one.
    void theProposedNameFollowsTheZoomUntilOneIsTyped() {
        const std::string project = MakeTask();
        CombinerForm window(desktop, "bigmap.bmp", dir->File("blankimg/"));
        window.SetProject(QString::fromStdString(project));
        auto* output = Child<QLineEdit>(&window, "OutputEdit");
        auto* zoom = Child<QSpinBox>(&window, "ZoomBox");
        zoom->setValue(12);
        QCOMPARE(output->text(), QString::fromStdString(dir->File("window_bigmap_z12.bmp")));
        output->setText("own.bmp");
        zoom->setValue(13);
        QCOMPARE(output->text(), QString("own.bmp"));
    }

    // The GeoTIFF's choices are offered for a TIFF only, the quality for a
    // lossy compression only, and reach the file.
    void offersTheGeoTiffChoicesForATiffAndWritesACog() {
        const std::string project = MakeTask(4, 3);
        CombinerForm window(desktop, "bigmap.png", dir->File("blankimg/"));
        window.SetProject(QString::fromStdString(project));
        auto* layout = Child<QComboBox>(&window, "LayoutBox");
        auto* compression = Child<QComboBox>(&window, "CompressionBox");
        auto* quality = Child<QSpinBox>(&window, "QualityBox");
        QVERIFY(!layout->isEnabled());
        QVERIFY(!compression->isEnabled());
        Child<QLineEdit>(&window, "OutputEdit")
            ->setText(QString::fromStdString(dir->File("a.tif")));
        QVERIFY(layout->isEnabled());
        QVERIFY(!quality->isEnabled());
        compression->setCurrentText("WebP");
        QVERIFY(quality->isEnabled());
        quality->setValue(60);
        layout->setCurrentText("Cloud Optimized (COG)");

        QPushButton* combine = Child<QPushButton>(&window, "CombineButton");
        combine->click();
        QTRY_VERIFY_WITH_TIMEOUT(combine->isEnabled(), 20000);
        QVERIFY2(Result(window).startsWith("Wrote "), qPrintable(Result(window)));
        // Headers first: the first directory right after the header.
        const std::string bytes = ReadFileBytes(dir->File("a.tif"));
        QCOMPARE(bytes.substr(0, 8), std::string("II\x2a\0\x08\0\0\0", 8));
    }

private:
    static void resultTextCleared(CombinerForm& window) {
        Child<QPlainTextEdit>(&window, "ResultText")->clear();
    }
};

TESSELLON_UI_TEST(CombinerWindowTest)

}  // namespace tessellon::test

#include "combiner_window_test.moc"
