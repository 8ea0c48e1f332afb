// Tile sources in the windows: the "Source:" choice of the main window
// downloading against the tile server in this process, opening a source
// task, and the "Tile sources" window adding, editing, removing and testing
// sources in the sources file beside the program.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include "download_harness.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "script_server.h"
#include "sources_form.h"
#include "ui_test_support.h"

namespace tessellon::test {

class SourcesWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<tileserver::TileServer> server;
    std::unique_ptr<MainWindowFixture> f;

    std::string SourcesFile() const { return f->dir.File("ini/sources.ini"); }
    std::string TileUrl(const std::string& query = "") const {
        return "http://127.0.0.1:" + std::to_string(server->Port()) + "/{z}/{x}/{y}.png" + query;
    }
    // The main window over a sources file with this text (none when empty).
    void Prepare(const std::string& sources) {
        f = std::make_unique<MainWindowFixture>(Pacing(kPaceScale));
        if (!sources.empty()) {
            WriteFileAtomic(SourcesFile(), sources);
        }
        f->Show();
    }

    // The sample area, 42 tiles at zoom 13.
    void TypeSampleArea(int zoom = 13) const {
        f->Find<QLineEdit>("Edit1")->setText("116.3");
        f->Find<QLineEdit>("Edit3")->setText("116.5");
        f->Find<QLineEdit>("Edit2")->setText("40");
        f->Find<QLineEdit>("Edit4")->setText("39.8");
        f->Find<QSpinBox>("UpDown1")->setValue(zoom);
        f->Find<QLineEdit>("Edit6")->setText(QString::fromStdString(f->dir.File("maps")));
    }

    QComboBox* Combo() const { return f->Find<QComboBox>("ComboSource"); }
    QRadioButton* Radio() const { return f->Find<QRadioButton>("RadioSource"); }
    QStringList ComboItems() const {
        QStringList items;
        for (int i = 0; i < Combo()->count(); ++i) {
            items << Combo()->itemText(i);
        }
        return items;
    }

    void OpenProject(const std::string& name, const std::string& text) const {
        const std::string path = f->dir.File(name);
        WriteFileAtomic(path, text);
        f->desktop.fileAnswers.push_back(QString::fromStdString(path));
        f->Find<QPushButton>("Button4")->click();
    }

    // Fills the edit window's fields and presses OK.
    static void FillAndSave(QWidget* edit,
                            const std::vector<std::pair<const char*, QString>>& keys) {
        for (const auto& [name, value] : keys) {
            Child<QLineEdit>(edit, name)->setText(value);
        }
        Child<QPushButton>(edit, "ButtonOK")->click();
    }

private slots:
    void init() {
        server = std::make_unique<tileserver::TileServer>(ServerOptions());
        server->Start();
    }

    void cleanup() {
        f.reset();
        server.reset();
    }

    void aChosenSourceDownloadsItsTilesAndRefusedSourcesAreNamed() {
        Prepare("[Local]\r\nUrl=" + TileUrl() +
                "\r\nWorkers=3\r\nPauseMs=0\r\n[Broken]\r\nUrl=x\r\nWorkers=9\r\n");
        QCOMPARE(ComboItems(), QStringList{"Local"});
        QVERIFY(Radio()->isEnabled());
        QVERIFY(Combo()->toolTip().contains("Source 'Broken':"));
        // Map and Satellite stay where they were, Satellite chosen.
        const auto radios = f->Find<QWidget>("radio_mapstype")->findChildren<QRadioButton*>();
        QCOMPARE(radios[0]->text(), QString("Map"));
        QCOMPARE(radios[1]->text(), QString("Satellite"));
        QVERIFY(radios[1]->isChecked());

        TypeSampleArea();
        Radio()->setChecked(true);
        f->Find<QPushButton>("BitBtn1")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!f->desktop.messages.empty(), 20000);
        QCOMPARE(f->desktop.messages.front(),
                 "Task stoped!" + QString(20, ' ') + "\nAll 42 tiles downloaded.");
        const QStringList tiles = QDir(QString::fromStdString(f->dir.File("maps/newtask")))
                                      .entryList({"tl_*_13.png"}, QDir::Files);
        QCOMPARE(tiles.size(), 42);
        const IniFile project(f->dir.File("maps/newtask.tsln"));
        QCOMPARE(project.ReadInteger("MapsType", "MapsType", 0), 5);
        QCOMPARE(project.ReadString("SOURCE", "Name", ""), std::string("Local"));
        QCOMPARE(project.ReadString("SOURCE", "Workers", ""), std::string("3"));
    }

    void aZoomOutsideTheSourcesRangeIsRefusedAtStart() {
        Prepare("[Local]\nUrl=http://127.0.0.1:9/{z}/{x}/{y}.png\nMaxZoom=12\n");
        TypeSampleArea(13);
        Combo()->activated(0);
        QVERIFY(Radio()->isChecked());
        f->Find<QPushButton>("BitBtn1")->click();
        QCOMPARE(f->desktop.messages,
                 std::vector<QString>{"Zoom level should be between 1 and 12 for source Local."});
    }

    void withoutSourcesTheChoiceIsThereButDisabled() {
        Prepare("");
        QCOMPARE(ComboItems(), QStringList{"(none)"});
        // Qt on Linux speaks a list box's choice as its name; this is the
        // name a screen reader announces it by.
        QCOMPARE(Combo()->accessibleName(), QString("Tile source"));
        QVERIFY(!Radio()->isEnabled());
        QVERIFY(!Combo()->isEnabled());
        QVERIFY(Combo()->toolTip().startsWith("No sources file"));
        // The built-in services still start.
        TypeSampleArea();
        f->Find<QLineEdit>("Edit6")->clear();
        f->Find<QPushButton>("BitBtn1")->click();
        QCOMPARE(f->desktop.messages,
                 std::vector<QString>{"Please select a path to save the images."});
    }

    void openingASourceTaskShowsTheTasksOwnSource() {
        const std::string local = "Url=http://127.0.0.1:9/{z}/{x}/{y}.png\r\n";
        Prepare("[Local]\r\n" + local + "[Other]\r\n" + local);
        Combo()->setCurrentIndex(1);
        const std::string head =
            "[MapsType]\r\nMapsType=5\r\n[AREA]\r\nLeftLongitude=1\r\nRightLongitude=2\r\n"
            "TopLatitude=4\r\nBottomLatitude=3\r\nLeft_Longitude_download=0\r\n"
            "Right_Longitude_download=2\r\nTop_Latitude_download=4\r\n"
            "Bottom_Latitude_download=2\r\n[Zoom]\r\nZoom=3\r\n[XY]\r\nMinX=4\r\nMinY=3\r\n"
            "MaxX=4\r\nMaxY=3\r\n";
        // The file lacks the task's source: it comes first, marked.
        OpenProject("old.tsln", head +
                                    "[SOURCE]\r\nName=Gone\r\nUrl=http://old.example/"
                                    "{z}/{x}/{y}.jpg\r\nUserAgent=Old/1\r\n");
        QVERIFY(Radio()->isChecked());
        QCOMPARE(ComboItems(), (QStringList{"Gone (task)", "Local", "Other"}));
        QCOMPARE(Combo()->currentIndex(), 0);
        // The same name with other keys is the task's source, not the file's.
        OpenProject("changed.tsln", head + "[SOURCE]\r\nName=Local\r\n" + local +
                                        "Workers=5\r\nUserAgent=Old/1\r\n");
        QCOMPARE(ComboItems(), (QStringList{"Local (task)", "Local", "Other"}));
        QCOMPARE(Combo()->currentIndex(), 0);
        // Reading the file again keeps the very entry chosen.
        Combo()->setCurrentIndex(1);
        QVERIFY(WithModalWindow([&] { f->TriggerMenu("TileSources1"); }, [](QWidget*) {}));
        QCOMPARE(ComboItems(), (QStringList{"Local (task)", "Local", "Other"}));
        QCOMPARE(Combo()->currentIndex(), 1);
        // A map task leaves the task's source behind.
        std::string map = head;
        map.replace(map.find("MapsType=5"), 10, "MapsType=3");
        OpenProject("map.tsln", map);
        QVERIFY(!Radio()->isChecked());
        QCOMPARE(ComboItems(), (QStringList{"Local", "Other"}));
    }

    void theSourcesWindowAddsEditsAndRemovesAndKeepsRefusedSections() {
        Prepare("; mine\r\n[Broken]\r\nUrl=x\r\n");
        TfrmSources window(f->desktop, SourcesFile(), f->ConfigFile(), nullptr);
        window.show();
        auto* list = Child<QListWidget>(&window, "ListSources");
        QCOMPARE(list->count(), 0);
        QCOMPARE(Child<QPlainTextEdit>(&window, "MemoRefused")->toPlainText(),
                 QString("Source 'Broken': Url must begin with http:// or https://."));

        QString refusal;
        QVERIFY(WithModalWindow(
            [&] { Child<QPushButton>(&window, "ButtonAdd")->click(); },
            [&](QWidget* edit) {
                FillAndSave(edit, {{"EditName", "Topo"}, {"EditUrl", "http://a/{zoom}/{x}/{y}"}});
                refusal = Child<QLabel>(edit, "LabelError")->text();
                FillAndSave(
                    edit, {{"EditUrl", QString::fromStdString(TileUrl())}, {"EditMaxZoom", "12"}});
            }));
        QCOMPARE(refusal, QString("Source 'Topo': unknown placeholder {zoom} in Url."));
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->currentItem()->text(), QString("Topo"));

        QVERIFY(WithModalWindow(
            [&] { Child<QPushButton>(&window, "ButtonEdit")->click(); },
            [&](QWidget* edit) {
                QCOMPARE(Child<QLineEdit>(edit, "EditMaxZoom")->text(), QString("12"));
                QCOMPARE(Child<QLineEdit>(edit, "EditWorkers")->text(), QString());
                Child<QCheckBox>(edit, "CheckInsecure")->setChecked(true);
                FillAndSave(edit, {{"EditName", "Relief"}});
            }));
        QCOMPARE(list->currentItem()->text(), QString("Relief"));
        QCOMPARE(ReadFileBytes(SourcesFile()),
                 "; mine\r\n[Broken]\r\nUrl=x\r\n\r\n[Relief]\r\nUrl=" + TileUrl() +
                     "\r\nMaxZoom=12\r\nInsecure=1\r\n");

        // Removing asks first; No keeps the source.
        Child<QPushButton>(&window, "ButtonRemove")->click();
        QCOMPARE(f->desktop.questions.back(), QString("Remove the tile source 'Relief'?"));
        QCOMPARE(list->count(), 1);
        f->desktop.confirmAnswers.push_back(true);
        Child<QPushButton>(&window, "ButtonRemove")->click();
        QCOMPARE(list->count(), 0);
        QCOMPARE(ReadFileBytes(SourcesFile()), std::string("; mine\r\n[Broken]\r\nUrl=x\r\n"));

        // Closing the window brings the main window's list up to date.
        WriteFileAtomic(SourcesFile(), "[Sea]\nUrl=" + TileUrl() + "\n");
        QVERIFY(WithModalWindow([&] { f->TriggerMenu("TileSources1"); }, [](QWidget*) {}));
        QCOMPARE(ComboItems(), QStringList{"Sea"});
    }

    // The catalogue's sources are listed after the user's, marked and
    // read-only: Remove leaves them, Edit saves a copy that wins by name.
    void theSourcesWindowListsTheCatalogueReadOnly() {
        Prepare("[Mine]\r\nUrl=" + TileUrl() + "\r\n");
        const std::string catalogue = f->dir.File("catalogue.ini");
        WriteFileAtomic(catalogue, "[OpenTopo]\r\nUrl=" + TileUrl() +
                                       "\r\nMaxZoom=15\r\nTerms=Free for offline use\r\n");
        TfrmSources window(f->desktop, SourcesFile(), f->ConfigFile(), nullptr, catalogue);
        window.show();
        auto* list = Child<QListWidget>(&window, "ListSources");
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(0)->text(), QString("Mine"));
        QCOMPARE(list->item(1)->text(), QString("OpenTopo (catalogue)"));
        QVERIFY(list->item(1)->font().italic());
        QVERIFY(list->item(1)->toolTip().startsWith("From the catalogue"));

        list->setCurrentRow(1);
        Child<QPushButton>(&window, "ButtonRemove")->click();
        QVERIFY(f->desktop.messages.back().contains("read-only"));
        QCOMPARE(list->count(), 2);
        QCOMPARE(ReadFileBytes(catalogue).find("[OpenTopo]"), std::size_t{0});

        QVERIFY(WithModalWindow([&] { Child<QPushButton>(&window, "ButtonEdit")->click(); },
                                [&](QWidget* edit) {
                                    QCOMPARE(Child<QLineEdit>(edit, "EditMaxZoom")->text(),
                                             QString("15"));
                                    FillAndSave(edit, {{"EditMaxZoom", "12"}});
                                }));
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(1)->text(), QString("OpenTopo"));
        QVERIFY(!list->item(1)->font().italic());
        QVERIFY(ReadFileBytes(SourcesFile()).find("[OpenTopo]") != std::string::npos);
    }

    // input limit meanwhile is refused with the reader's message, and no
    // edit window opens over it.
    void editingRefusesASourcesFileGrownPastTheLimit() {
        Prepare("[Topo]\r\nUrl=" + TileUrl() + "\r\n");
        TfrmSources window(f->desktop, SourcesFile(), f->ConfigFile(), nullptr);
        window.show();
        QCOMPARE(Child<QListWidget>(&window, "ListSources")->count(), 1);
        const std::string grown =
            "[Topo]\r\nUrl=" + TileUrl() + "\r\n;" + std::string(kInputFileLimit, 'x') + "\r\n";
        WriteFileAtomic(SourcesFile(), grown);
        QVERIFY(!WithModalWindow([&] { Child<QPushButton>(&window, "ButtonEdit")->click(); },
                                 [](QWidget*) {}));
        QCOMPARE(f->desktop.messages.back(),
                 QString::fromStdString("Cannot open file \"" + SourcesFile() +
                                        "\". Larger than 1 MiB."));
        QCOMPARE(ReadFileBytes(SourcesFile()), grown);
    }

    void aTestFetchShowsTheTileWithoutHoldingTheWindow() {
        Prepare("");
        WriteFileAtomic(SourcesFile(),
                        "[Slow]\nUrl=" + TileUrl("?fault=slow-first-byte:1000") +
                            "\nMinZoom=2\n[Missing]\nUrl=" + TileUrl("?fault=status-404") + "\n");
        TfrmSources window(f->desktop, SourcesFile(), f->ConfigFile(), nullptr);
        window.show();
        auto* test = Child<QPushButton>(&window, "ButtonTest");
        auto* result = Child<QLabel>(&window, "LabelTest");
        auto* tile = Child<QLabel>(&window, "ImageTile");

        QElapsedTimer clock;
        clock.start();
        test->click();
        QVERIFY(clock.elapsed() < 600);
        QVERIFY(!test->isEnabled());
        QVERIFY(result->text().startsWith("Fetching http://127.0.0.1:"));
        QTRY_VERIFY_WITH_TIMEOUT(test->isEnabled(), 5000);
        QVERIFY2(result->text().startsWith("Check 2/0/0: ok, HTTP 200, "),
                 qPrintable(result->text()));
        QVERIFY(result->text().endsWith(" bytes, PNG"));
        QCOMPARE(tile->pixmap().width(), 252);

        Child<QListWidget>(&window, "ListSources")->setCurrentRow(1);
        test->click();
        QTRY_VERIFY_WITH_TIMEOUT(test->isEnabled(), 5000);
        QVERIFY2(result->text().startsWith("Check 1/0/0: failed, HTTP 404, "),
                 qPrintable(result->text()));
        QVERIFY(tile->pixmap().isNull());

        // Another source chosen: the pane no longer tells of the one before,
        // nor does a result that comes in after the choice.
        auto* list = Child<QListWidget>(&window, "ListSources");
        list->setCurrentRow(0);
        QVERIFY(result->text().isEmpty());
        test->click();
        QVERIFY(result->text().startsWith("Fetching "));
        list->setCurrentRow(1);
        QVERIFY(result->text().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(test->isEnabled(), 5000);
        QVERIFY(result->text().isEmpty());
        QVERIFY(tile->pixmap().isNull());
    }

    // A service's layers are read off the window's thread and listed, those
    // outside the grid greyed with the reason; the chosen one comes into the
    // edit window filled in and is saved from there.
    void aSourceComesFromAServicesDescription() {
        Prepare("");
        const std::string caps =
            ReadFileBytes(std::string(TESSELLON_SERVICE_DATA) + "wmts_rest.xml");
        const std::string reply =
            "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(caps.size()) +
            "\r\nConnection: close\r\n\r\n" + caps;
        TScriptServer service({TServerScript().ReadRequest().Sleep(300).Send(reply),
                               TServerScript().Answer("HTTP/1.1 404 Not Found\r\n"
                                                      "Content-Length: 0\r\n\r\n")});
        TfrmSources window(f->desktop, SourcesFile(), f->ConfigFile(), nullptr);
        window.show();
        bool edited = false;
        QVERIFY(WithModalWindow(
            [&] { Child<QPushButton>(&window, "ButtonImport")->click(); },
            [&](QWidget* import) {
                auto* read = Child<QPushButton>(import, "ButtonRead");
                auto* layers = Child<QListWidget>(import, "ListLayers");
                auto* ok = Child<QPushButton>(import, "ButtonOK");
                Child<QLineEdit>(import, "EditAddress")
                    ->setText(QString::fromStdString(service.Url("/WMTSCapabilities.xml")));
                QElapsedTimer clock;
                clock.start();
                read->click();
                QVERIFY(clock.elapsed() < 200);
                QVERIFY(!read->isEnabled());
                QTRY_VERIFY_WITH_TIMEOUT(read->isEnabled(), 5000);
                QCOMPARE(layers->count(), 5);
                QCOMPARE(layers->currentRow(), 0);
                QVERIFY(ok->isEnabled());
                QVERIFY(layers->item(3)->text().startsWith(
                    "Cadastre (cadastre) - cannot be chosen: no tile matrix set"));
                layers->setCurrentRow(3);
                QVERIFY(!ok->isEnabled());
                layers->setCurrentRow(2);
                QVERIFY(ok->isEnabled());
                QVERIFY(Child<QLabel>(import, "LabelService")
                            ->text()
                            .endsWith("5 layer(s), 3 in the Web Mercator grid."));
                QTimer::singleShot(100, [&] {
                    QWidget* edit = QApplication::activeModalWidget();
                    QCOMPARE(edit->objectName(), QString("frmSourceEdit"));
                    QCOMPARE(Child<QLineEdit>(edit, "EditName")->text(),
                             QString("Relief, TMS numbering"));
                    QCOMPARE(Child<QLineEdit>(edit, "EditZoomOffset")->text(), QString("-1"));
                    FillAndSave(edit, {{"EditName", "Relief"}});
                    edited = true;
                });
                ok->click();
            }));
        QTRY_VERIFY(edited);
        auto* list = Child<QListWidget>(&window, "ListSources");
        QCOMPARE(list->currentItem()->text(), QString("Relief"));
        QVERIFY(ReadFileBytes(SourcesFile()).find("ZoomOffset=-1") != std::string::npos);

        // A failed read says why in the window.
        QVERIFY(WithModalWindow(
            [&] { Child<QPushButton>(&window, "ButtonImport")->click(); },
            [&](QWidget* import) {
                Child<QLineEdit>(import, "EditAddress")
                    ->setText(QString::fromStdString(service.Url("/none")));
                Child<QPushButton>(import, "ButtonRead")->click();
                QTRY_VERIFY_WITH_TIMEOUT(
                    Child<QLabel>(import, "LabelService")->text().startsWith("Cannot fetch "),
                    5000);
                QVERIFY(!Child<QPushButton>(import, "ButtonOK")->isEnabled());
            }));
        QCOMPARE(list->count(), 1);
    }

    void theSourcesWindowNamesEveryInputAndClosesOnEscape() {
        Prepare("");
        TfrmSources window(f->desktop, SourcesFile(), f->ConfigFile(), nullptr);
        window.show();
        QCOMPARE(AccessibleName(Child<QWidget>(&window, "ListSources")), QString("Tile sources"));
        QCOMPARE(AccessibleName(Child<QWidget>(&window, "MemoRefused")),
                 QString("Refused by the sources file:"));
        QCOMPARE(AccessibleName(Child<QWidget>(&window, "ButtonTest")),
                 QString("Fetch one tile of the chosen source"));
        QVERIFY(WithModalWindow(
            [&] { Child<QPushButton>(&window, "ButtonAdd")->click(); },
            [](QWidget* edit) {
                QCOMPARE(AccessibleName(Child<QWidget>(edit, "EditUrl")), QString("Url:"));
                QCOMPARE(AccessibleName(Child<QWidget>(edit, "EditPauseMs")), QString("PauseMs:"));
                QCOMPARE(edit->focusWidget(), Child<QWidget>(edit, "EditName"));
                // An empty field shows what it stands for: the reader's default.
                QCOMPARE(Child<QLineEdit>(edit, "EditWorkers")->placeholderText(), QString("2"));
                QCOMPARE(Child<QLineEdit>(edit, "EditPauseMs")->placeholderText(), QString("1000"));
                QCOMPARE(Child<QLineEdit>(edit, "EditMaxZoom")->placeholderText(), QString("19"));
                QCOMPARE(Child<QLineEdit>(edit, "EditUserAgent")->placeholderText(),
                         QString("Tessellon/<version>"));
                QCOMPARE(Child<QCheckBox>(edit, "CheckInsecure")->text(),
                         QString("Insecure: accept a certificate that does not verify"));
            }));
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!window.isVisible());
    }
};

TESSELLON_UI_TEST(SourcesWindowTest)

}  // namespace tessellon::test

#include "sources_window_test.moc"
