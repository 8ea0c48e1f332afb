// The main window's form, menus, caption, zoom field, accessible names and
// the menu actions that open files, addresses, programs and other windows.

#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTest>

#include "control/main_window_fields.h"
#include "form_layout.h"
#include "platform/files.h"
#include "ui_test_support.h"

namespace tessellon::test {

class MainWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> f;

    QString Text(const char* edit) const { return f->Find<QLineEdit>(edit)->text(); }

    std::string WriteProject(const std::string& name, const std::string& text) {
        const std::string path = f->dir.File(name);
        WriteFileAtomic(path, text);
        return path;
    }

private slots:
    void init() { f = std::make_unique<MainWindowFixture>(); }
    void cleanup() { f.reset(); }

    // Every visible control of the window, leaves only: a spin box's own
    // field and the group boxes that hold controls are not counted.
    static std::vector<QWidget*> Controls(QWidget* window) {
        std::vector<QWidget*> controls;
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            const bool control =
                qobject_cast<QLabel*>(widget) || qobject_cast<QPushButton*>(widget) ||
                qobject_cast<QRadioButton*>(widget) || qobject_cast<QComboBox*>(widget) ||
                qobject_cast<QSpinBox*>(widget) || qobject_cast<QPlainTextEdit*>(widget) ||
                (qobject_cast<QLineEdit*>(widget) &&
                 !qobject_cast<QSpinBox*>(widget->parentWidget()) &&
                 !qobject_cast<QComboBox*>(widget->parentWidget()));
            if (control && widget->isVisibleTo(window) &&
                widget->parentWidget() != window->findChild<QStatusBar*>() &&
                !widget->parentWidget()->inherits("QMenuBar")) {
                controls.push_back(widget);
            }
        }
        return controls;
    }

    static void VerifyNoOverlap(QWidget* window, const char* when) {
        const std::vector<QWidget*> controls = Controls(window);
        QVERIFY(controls.size() >= 25);
        for (std::size_t i = 0; i < controls.size(); ++i) {
            const QRect a(controls[i]->mapTo(window, QPoint(0, 0)), controls[i]->size());
            QVERIFY2(window->rect().contains(a),
                     qPrintable(controls[i]->objectName() + " " + when));
            for (std::size_t j = i + 1; j < controls.size(); ++j) {
                const QRect b(controls[j]->mapTo(window, QPoint(0, 0)), controls[j]->size());
                const QString pair =
                    QString("%1 '%2' and %3 '%4' %5")
                        .arg(controls[i]->metaObject()->className(), controls[i]->objectName(),
                             controls[j]->metaObject()->className(), controls[j]->objectName(),
                             when);
                QVERIFY2(!a.intersects(b), qPrintable(pair));
            }
        }
    }

    void noTwoControlsOverlapAtTheSmallestOrALargeSize() {
        WriteFileAtomic(f->dir.File("ini/sources.ini"),
                        "[TopoTMS]\r\nUrl=http://127.0.0.1/{z}/{x}/{y}.png\r\n");
        f->Show();
        VerifyNoOverlap(f->window.get(), "at the smallest size");
        f->Find<QRadioButton>("RadioShape")->setChecked(true);
        VerifyNoOverlap(f->window.get(), "with the shape's fields");
        f->Find<QRadioButton>("RadioRectangle")->setChecked(true);
        f->window->resize(1400, 900);
        QTRY_COMPARE(f->window->size(), QSize(1400, 900));
        VerifyNoOverlap(f->window.get(), "at 1400 x 900");
        // The row of next steps, every step offered, under panel and log.
        f->window->OfferNextSteps({"Task stoped!\nAll 1 tiles downloaded.",
                                   {NextStep::OpenFolder, NextStep::View, NextStep::Combine,
                                    NextStep::Export, NextStep::RetryFailed},
                                   false});
        QVERIFY(f->Find<QWidget>("ButtonRetryFailed")->isVisible());
        f->window->resize(f->window->minimumSize());
        QTRY_COMPARE(f->window->size(), f->window->minimumSize());
        VerifyNoOverlap(f->window.get(), "with the next steps at the smallest size");
        QCOMPARE(f->Find<QWidget>("TaskPanel")->size(), QSize(345, 361));
    }

    // The list names a source of seven letters whole, as it does the
    // built-in choices' names beside it.
    void theSourceListIsWideEnoughForItsNames() {
        WriteFileAtomic(f->dir.File("ini/sources.ini"),
                        "[TopoTMS]\r\nUrl=http://127.0.0.1/{z}/{x}/{y}.png\r\n");
        f->Show();
        auto* list = f->Find<QComboBox>("ComboSource");
        QCOMPARE(list->currentText(), QString("TopoTMS"));
        QStyleOptionComboBox option;
        option.initFrom(list);
        option.editable = false;
        const QRect field = list->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                          QStyle::SC_ComboBoxEditField, list);
        QVERIFY2(list->fontMetrics().horizontalAdvance("TopoTMS") <= field.width(),
                 qPrintable(QString::number(field.width())));
    }

    // However far the window grows, the task panel stays as it is drawn and
    // the log gets every extra pixel.
    void theLogGetsEveryPixelTheWindowGrowsBy() {
        f->Show();
        const QSize smallest = f->window->size();
        const QRect log = f->Find<QWidget>("Memo1")->geometry();
        const QRect start = f->Find<QWidget>("BitBtn1")->geometry();
        f->window->resize(smallest + QSize(500, 300));
        QTRY_COMPARE(f->window->size(), smallest + QSize(500, 300));
        QCOMPARE(f->Find<QWidget>("Memo1")->geometry(), log.adjusted(0, 0, 500, 300));
        QCOMPARE(f->Find<QWidget>("BitBtn1")->geometry(), start);
        QCOMPARE(f->Find<QWidget>("TaskPanel")->width(), 345);
        f->window->resize(100, 100);
        QTRY_COMPARE(f->window->size(), smallest);
    }

    // A closed window's task, layer or source, area, zooms and folder are
    // the next start's.
    void theLastTaskIsOfferedAtTheNextStart() {
        WriteFileAtomic(f->dir.File("ini/sources.ini"),
                        "[Topo]\r\nUrl=http://127.0.0.1/{z}/{x}/{y}.png\r\n"
                        "[TopoTMS]\r\nUrl=http://127.0.0.1/tms/{z}/{x}/{y}.png\r\n");
        f->Show();
        f->Find<QLineEdit>("EditTaskName")->setText("alps.tsln");
        f->Find<QLineEdit>("Edit1")->setText("10 30 E");
        f->Find<QLineEdit>("Edit3")->setText("11");
        f->Find<QLineEdit>("Edit2")->setText("47.5");
        f->Find<QLineEdit>("Edit4")->setText("47");
        f->Find<QSpinBox>("UpDown1")->setValue(12);
        f->Find<QSpinBox>("ZoomTo")->setValue(15);
        f->Find<QLineEdit>("Edit6")->setText(QString::fromStdString(f->dir.File("alps")));
        f->Find<QComboBox>("ComboSource")->setCurrentIndex(1);
        f->Find<QRadioButton>("RadioSource")->setChecked(true);
        f->Reopen();
        f->Show();
        QCOMPARE(Text("EditTaskName"), QString("alps.tsln"));
        QCOMPARE(Text("Edit1"), QString("10 30 E"));
        QCOMPARE(Text("Edit3"), QString("11"));
        QCOMPARE(Text("Edit2"), QString("47.5"));
        QCOMPARE(Text("Edit4"), QString("47"));
        QCOMPARE(f->Find<QSpinBox>("UpDown1")->value(), 12);
        QCOMPARE(f->Find<QSpinBox>("ZoomTo")->value(), 15);
        QCOMPARE(Text("Edit6"), QString::fromStdString(f->dir.File("alps")));
        QVERIFY(f->Find<QRadioButton>("RadioSource")->isChecked());
        QCOMPARE(f->Find<QComboBox>("ComboSource")->currentText(), QString("TopoTMS"));
        QVERIFY(f->Find<QRadioButton>("RadioRectangle")->isChecked());

        // A source the file no longer has falls back to the satellite layer.
        WriteFileAtomic(f->dir.File("ini/sources.ini"),
                        "[Topo]\r\nUrl=http://127.0.0.1/{z}/{x}/{y}.png\r\n");
        f->Reopen();
        f->Show();
        QCOMPARE(Text("EditTaskName"), QString("alps.tsln"));
        QVERIFY(f->Find<QRadioButton>("RadioSource")->isChecked() == false);
    }

    void theFormKeepsItsControlsWhereTheyWereDrawn() {
        f->Show();
        struct Placed {
            const char* name;
            QRect geometry;
        };
        for (const Placed& placed : {
                 Placed{"EditTaskName", {71, 16, 162, 21}},
                 Placed{"Button4", {242, 14, 84, 25}},
                 Placed{"radio_mapstype", {12, 48, 317, 48}},
                 Placed{"Edit1", {79, 16, 69, 21}},
                 Placed{"Edit3", {235, 16, 67, 21}},
                 Placed{"Edit2", {79, 45, 69, 21}},
                 Placed{"Edit4", {235, 45, 67, 21}},
                 Placed{"UpDown1", {79, 74, 65 + 17, 21}},
                 Placed{"Edit6", {79, 19, 194, 21}},
                 Placed{"LabelTotalxy", {8, 321, 203, 13}},
                 Placed{"BitBtn1", {235, 315, 78, 33}},
                 Placed{"Memo1", {345, 0, 314, 361}},
             }) {
            QCOMPARE(f->Find<QWidget>(placed.name)->geometry(), placed.geometry);
        }
        QCOMPARE(f->Find<QPushButton>("Button1")->size(), QSize(38, 25));
        QCOMPARE(f->window->centralWidget()->size(), QSize(659, 361));
        QCOMPARE(f->window->statusBar()->height(), 19);
        // The window opens at its smallest size and may grow.
        QCOMPARE(f->window->minimumSize(), f->window->size());
        QVERIFY(f->window->windowFlags() & Qt::WindowMaximizeButtonHint);

        QCOMPARE(Text("EditTaskName"), QString("newtask.tsln"));
        for (const char* empty : {"Edit1", "Edit2", "Edit3", "Edit4"}) {
            QCOMPARE(Text(empty), QString());
        }
        const auto radios = f->Find<QGroupBox>("radio_mapstype")->findChildren<QRadioButton*>();
        QCOMPARE(radios.size(), 3);
        QCOMPARE(radios[0]->text(), QString("Map"));
        QCOMPARE(radios[1]->text(), QString("Satellite"));
        QCOMPARE(radios[2]->text(), QString("Source:"));
        QVERIFY(radios[1]->isChecked());
        QCOMPARE(f->Find<QGroupBox>("radio_mapstype")->title(), QString("Maps Type"));

        auto* start = f->Find<QPushButton>("BitBtn1");
        QCOMPARE(start->text(), QString("Start"));
        QVERIFY(start->font().bold());
        QCOMPARE(start->font().pointSizeF(), 10.0);
        QCOMPARE(f->window->font().pointSizeF(), 8.0);
        QCOMPARE(f->Find<QPushButton>("Button1")->toolTip(), QString("Click to select path"));
        QCOMPARE(f->Find<QLabel>("LabelTotalxy")->text(), QString());
        QCOMPARE(f->Find<QLabel>("StatusPanel")->text(), QString("Download images from web maps!"));
    }

    void theLogWindowIsPaleYellowWithGreenTextAndTheFailedListIsHidden() {
        f->Show();
        auto* memo1 = f->Find<QPlainTextEdit>("Memo1");
        QCOMPARE(memo1->toPlainText(), QString("[log window]"));
        QVERIFY(memo1->isReadOnly());
        QCOMPARE(memo1->toolTip(), QString("Double click to view log in notepad"));
        QCOMPARE(memo1->palette().color(QPalette::Base), QColor(0xFF, 0xFF, 0xE1));
        QCOMPARE(memo1->palette().color(QPalette::Text), QColor(0, 128, 0));
        QCOMPARE(memo1->font().pointSizeF(), 10.0);
        QCOMPARE(memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

        auto* memo2 = f->Find<QPlainTextEdit>("Memo2");
        QVERIFY(!memo2->isVisible());
        QVERIFY(memo2->isReadOnly());
        QCOMPARE(memo2->toPlainText(), QString("[Failed tile inforamtion window]"));
        QCOMPARE(memo2->palette().color(QPalette::Text), QColor(0, 0, 255));
    }

    void theMenusCarryTheirCaptionsAndAccessKeysInOrder() {
        QStringList shown;
        for (QAction* menu : f->window->menuBar()->actions()) {
            shown << menu->text();
            for (QAction* item : menu->menu()->actions()) {
                shown << "  " + (item->isSeparator() ? QString("-") : item->text());
            }
        }
        const QStringList expected{
            "&File",
            "  Refresh task...",
            "  -",
            "  E&xit",
            "&Options",
            "  Options...",
            "&Misc",
            "  Convert \"Degrees,Minutes,Seconds\"  to \"Degrees\"...",
            "  -",
            "  View log file",
            "&Tools",
            "  Select on map...",
            "  Map Viewer",
            "  -",
            "  Map Combiner",
            "  Export tiles...",
            "  -",
            "  Re-Download failed images",
            "  -",
            "  Tile sources...",
            "&Help",
            "  User manual",
            "  Homepage",
            "  -",
            "  About...",
        };
        QCOMPARE(shown, expected);
    }

    void theCaptionCarriesTheDefaultVersionWithoutAConfiguration() {
        f->Show();
        QCOMPARE(f->window->windowTitle(), QString("Tessellon 5.23"));
        QCOMPARE(Text("Edit6"), QString::fromStdString(f->dir.File("orvanta")));
        QVERIFY(!FileExists(f->ConfigFile()));
        QVERIFY(f->desktop.messages.empty());
    }

    // As the command line does for its default configuration, the window
    // tells why a configuration that is there cannot be read; it then goes
    // on with the defaults and leaves the file as it is.
    void aConfigurationTooLargeOrNoRegularFileIsToldAndTheDefaultsApply() {
        const std::string large =
            "[IniParas]\r\nVersion=6.0\r\n;" + std::string(kInputFileLimit, 'x') + "\r\n";
        WriteFileAtomic(f->ConfigFile(), large);
        f->Show();
        QCOMPARE(f->desktop.messages,
                 std::vector<QString>{QString::fromStdString(
                     "Cannot open file \"" + f->ConfigFile() + "\". Larger than 1 MiB.")});
        QCOMPARE(f->window->windowTitle(), QString("Tessellon 5.23"));
        QCOMPARE(ReadFileBytes(f->ConfigFile()), large);

        f = std::make_unique<MainWindowFixture>();
        QCOMPARE(::mkfifo(f->ConfigFile().c_str(), 0600), 0);
        f->Show();
        QCOMPARE(f->desktop.messages,
                 std::vector<QString>{QString::fromStdString(
                     "Cannot open file \"" + f->ConfigFile() + "\". Not a regular file.")});
        QCOMPARE(f->window->windowTitle(), QString("Tessellon 5.23"));
    }

    void theCaptionAndSaveFolderComeFromTheConfiguration() {
        WriteFileAtomic(f->ConfigFile(), "[IniParas]\r\nVersion=6.0\r\nDefaultPath=/srv/tiles\r\n");
        f->Show();
        QCOMPARE(f->window->windowTitle(), QString("Tessellon 6.0"));
        QCOMPARE(Text("Edit6"), QString("/srv/tiles"));
    }

    // A fresh installation opens on the catalogue's first source; a host
    // set for the built-in services keeps the satellite layer.
    void aFreshInstallationOpensOnTheCataloguesFirstSource() {
        WriteFileAtomic(f->dir.File("sources.ini"),
                        "[OpenTopo]\r\nUrl=https://a.example.org/{z}/{x}/{y}.png\r\n"
                        "[Aerial]\r\nUrl=https://b.example.org/{z}/{x}/{y}.jpg\r\n");
        f->Show();
        const auto radios = f->Find<QGroupBox>("radio_mapstype")->findChildren<QRadioButton*>();
        QVERIFY(radios[2]->isChecked());
        QCOMPARE(f->Find<QComboBox>("ComboSource")->currentText(), QString("OpenTopo"));

        f = std::make_unique<MainWindowFixture>();
        WriteFileAtomic(f->dir.File("sources.ini"),
                        "[OpenTopo]\r\nUrl=https://a.example.org/{z}/{x}/{y}.png\r\n");
        WriteFileAtomic(f->ConfigFile(), "[TileService]\r\nMapHost=tiles.example.org\r\n");
        f->Show();
        QVERIFY(
            f->Find<QGroupBox>("radio_mapstype")->findChildren<QRadioButton*>()[1]->isChecked());
    }

    // With whatever face stands in for the forms' own, a label keeps clear
    // of its field and of the frame at its left, in every window.
    void labelsKeepClearOfTheirFieldsAndFrames() {
        f->Show();
        int checked = 0;
        for (QLabel* label : f->window->findChildren<QLabel*>()) {
            QWidget* field = label->buddy();
            if (field == nullptr) {
                continue;
            }
            const QRect text = label->geometry();
            const QPoint fieldAt = field->mapTo(label->parentWidget(), QPoint(0, 0));
            const QString name = label->text() + " in " + label->window()->objectName();
            QVERIFY2(text.left() >= form::kLabelMinLeft, qPrintable(name));
            if (std::abs(fieldAt.y() - text.y()) < field->height() && fieldAt.x() > text.x()) {
                QVERIFY2(text.right() + form::kLabelGap < fieldAt.x(), qPrintable(name));
                QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= text.width(),
                         qPrintable(name));
                ++checked;
            }
        }
        QVERIFY(checked >= 10);
    }

    // Tab from "Open task ..." enters the box on the choice in force, and
    // Tab again leaves the box's choices for the fields.
    void tabIntoMapsTypeLandsOnTheCheckedChoice() {
        WriteFileAtomic(f->dir.File("ini/sources.ini"),
                        "[Topo]\r\nUrl=http://127.0.0.1/{z}/{x}/{y}.png\r\n");
        f->Show();
        QVERIFY(QTest::qWaitForWindowActive(f->window.get()));
        const QList<QRadioButton*> radios =
            f->Find<QWidget>("radio_mapstype")->findChildren<QRadioButton*>();
        for (QRadioButton* checked : radios) {
            checked->setChecked(true);
            f->Find<QPushButton>("Button4")->setFocus();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), checked);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QVERIFY(!radios.contains(QApplication::focusWidget()));
        }
        radios[0]->setChecked(true);
        radios[0]->setFocus();
        QTest::keyClick(radios[0], Qt::Key_Right);
        QCOMPARE(QApplication::focusWidget(), radios[1]);
        QVERIFY(radios[1]->isChecked());
    }

    void theZoomTakesTypedDigitsAndStopsAtOneAndNineteen() {
        f->Show();
        auto* upDown = f->Find<QSpinBox>("UpDown1");
        auto* zoom = f->Find<QLineEdit>("Edit5");
        QCOMPARE(zoom->text(), QString("13"));
        QVERIFY(!zoom->isReadOnly());
        zoom->setFocus();
        zoom->selectAll();
        QTest::keyClicks(zoom, "15");
        QCOMPARE(upDown->value(), 15);
        // A task of one zoom stays one while the digits are typed.
        QCOMPARE(f->Find<QSpinBox>("ZoomTo")->value(), 15);
        zoom->selectAll();
        QTest::keyClicks(zoom, "25x");
        QVERIFY(upDown->value() <= 19);
        upDown->setValue(13);
        QTest::keyClick(upDown, Qt::Key_Up);
        QCOMPARE(zoom->text(), QString("14"));
        upDown->stepBy(100);
        QCOMPARE(zoom->text(), QString("19"));
        QTest::keyClick(upDown, Qt::Key_Up);
        QCOMPARE(zoom->text(), QString("19"));
        upDown->stepBy(-100);
        QTest::keyClick(upDown, Qt::Key_Down);
        QCOMPARE(zoom->text(), QString("1"));
    }

    void everyInputIsNamedByItsLabelAndEveryButtonByItsCaption() {
        f->Show();
        struct Named {
            const char* object;
            const char* name;
        };
        for (const Named& named : {
                 Named{"EditTaskName", "Task name:"},
                 Named{"Edit1", "Left Longitude:"},
                 Named{"Edit3", "Right Longitude:"},
                 Named{"Edit2", "Top Latitude:"},
                 Named{"Edit4", "Bottom Latitude:"},
                 Named{"UpDown1", "Zoom level:"},
                 Named{"Edit6", "Path to save:"},
                 Named{"Button4", "Open task ..."},
                 Named{"BitBtn1", "Start"},
                 Named{"Button1", "Select path to save"},
                 Named{"radio_mapstype", "Maps Type"},
                 Named{"RadioSource", "Source:"},
             }) {
            QCOMPARE(AccessibleName(f->Find<QWidget>(named.object)), QString(named.name));
        }
        QCOMPARE(AccessibleChildNames(f->window->menuBar()),
                 (QStringList{"File", "Options", "Misc", "Tools", "Help"}));
        QCOMPARE(AccessibleChildNames(f->Find<QMenu>("Misc1")),
                 (QStringList{"Convert \"Degrees,Minutes,Seconds\"  to \"Degrees\"...", "",
                              "View log file"}));
    }

    void openingAProjectFillsTheFieldsAsWritten() {
        f->Show();
        const std::string path = WriteProject(
            "orvanta.tsln",
            "[MapsType]\r\nMapsType=3\r\n[AREA]\r\nLeftLongitude=116.3\r\nRightLongitude=116.50\r\n"
            "TopLatitude=40\r\nBottomLatitude=39,8\r\nLeft_Longitude_download=1\r\n"
            "Right_Longitude_download=2\r\nTop_Latitude_download=3\r\n"
            "Bottom_Latitude_download=4\r\n[Zoom]\r\nZoom=17\r\n[XY]\r\nMinX=1\r\n"
            "MinY=2\r\nMaxX=3\r\nMaxY=4\r\n");
        f->desktop.fileAnswers.push_back(QString::fromStdString(path));
        f->Find<QPushButton>("Button4")->click();

        QCOMPARE(f->desktop.fileRequests.size(), size_t{1});
        QCOMPARE(f->desktop.fileRequests[0].title, QString("Open project file:"));
        QCOMPARE(FileTypesShown(f->desktop.fileRequests[0].filter),
                 QStringList{"Projects(*.tsln)"});
        QCOMPARE(f->desktop.fileRequests[0].initialFolder,
                 QString::fromStdString(f->dir.File("orvanta")));
        QCOMPARE(Text("Edit1"), QString("116.3"));
        QCOMPARE(Text("Edit3"), QString("116.50"));
        QCOMPARE(Text("Edit2"), QString("40"));
        QCOMPARE(Text("Edit4"), QString("39,8"));
        QCOMPARE(Text("Edit6"), QString::fromStdString(f->dir.Path()));
        QCOMPARE(Text("EditTaskName"), QString("orvanta.tsln"));
        QCOMPARE(Text("Edit5"), QString("17"));
        QVERIFY(
            f->Find<QGroupBox>("radio_mapstype")->findChildren<QRadioButton*>()[0]->isChecked());
    }

    void aFileWithoutATasksKeysIsRefusedAndChangesNoField() {
        f->Show();
        f->Find<QLineEdit>("Edit1")->setText("1.5");
        const std::string path = WriteProject("bare.tsln", "[MapsType]\r\nMapsType=7\r\n");
        f->desktop.fileAnswers.push_back(QString::fromStdString(path));
        f->Find<QPushButton>("Button4")->click();
        QCOMPARE(
            f->desktop.messages,
            std::vector<QString>{QString::fromStdString(path + " is not a task project file.")});
        QCOMPARE(Text("Edit1"), QString("1.5"));
        QCOMPARE(Text("EditTaskName"), QString("newtask.tsln"));
        QCOMPARE(ReadFileBytes(path), std::string("[MapsType]\r\nMapsType=7\r\n"));
    }

    void aCancelledChooserChangesNothing() {
        f->Show();
        f->Find<QLineEdit>("Edit1")->setText("1.5");
        f->Find<QPushButton>("Button4")->click();
        f->Find<QPushButton>("Button1")->click();
        QCOMPARE(f->desktop.folderCaptions, std::vector<QString>{"Select path to save"});
        QCOMPARE(Text("Edit1"), QString("1.5"));
        QCOMPARE(Text("Edit6"), QString::fromStdString(f->dir.File("orvanta")));
        QCOMPARE(Text("EditTaskName"), QString("newtask.tsln"));

        f->desktop.folderAnswers.push_back("/srv/maps");
        f->Find<QPushButton>("Button1")->click();
        QCOMPARE(Text("Edit6"), QString("/srv/maps"));
    }

    void viewingTheLogBeforeAnyStartSaysSo() {
        f->Show();
        f->TriggerMenu("Viewlogfile1");
        QTest::mouseDClick(f->Find<QPlainTextEdit>("Memo1")->viewport(), Qt::LeftButton);
        const QString message = "No task running now." + QString(18, ' ');
        QCOMPARE(f->desktop.messages, (std::vector<QString>{message, message}));
        QVERIFY(f->desktop.opened.empty());
    }

    void theHelpMenuAndToolsOpenTheirTargets() {
        QVERIFY(CreateDirectoryOneLevel(f->dir.File("help")));
        WriteFileAtomic(f->dir.File("help/help.html"), "<html></html>");
        f->Show();
        f->TriggerMenu("Mapviewer1");
        f->TriggerMenu("CombineImages1");
        QCOMPARE(f->desktop.started,
                 (std::vector<QString>{QString::fromStdString(f->dir.File("mapviewer")),
                                       QString::fromStdString(f->dir.File("combiner"))}));
        f->TriggerMenu("Usermanual1");
        f->TriggerMenu("Homepage1");
        QCOMPARE(f->desktop.opened.size(), size_t{2});
        QCOMPARE(f->desktop.opened[0],
                 QUrl::fromLocalFile(QString::fromStdString(f->dir.File("help/help.html"))));
        QCOMPARE(f->desktop.opened[1].scheme(), QString("https"));
        QVERIFY(f->desktop.messages.empty());
    }

    // Without a browser, or without the file, the user manual item says
    // where the manual is.
    void theUserManualSaysWhereItIsWhenItCannotBeShown() {
        const std::string help = f->dir.File("help/help.html");
        f->Show();
        f->TriggerMenu("Usermanual1");
        QVERIFY(f->desktop.opened.empty());
        QCOMPARE(f->desktop.messages.back(),
                 QString::fromStdString(ManualNotOpenedText(help, false)));
        QVERIFY(CreateDirectoryOneLevel(f->dir.File("help")));
        WriteFileAtomic(help, "<html></html>");
        f->desktop.openSucceeds = false;
        f->TriggerMenu("Usermanual1");
        QCOMPARE(f->desktop.opened.size(), size_t{1});
        QCOMPARE(f->desktop.messages.back(),
                 QString::fromStdString(ManualNotOpenedText(help, true)));
    }

    void theMenusOpenTheModalWindowsAndTheConverterWithoutWaiting() {
        f->Show();
        for (const auto& [item, window] :
             {std::pair{"Options2", "frmOptions"}, std::pair{"ReDownloadfailedfiles1", "frmFlt"},
              std::pair{"About1", "frmAbout"}, std::pair{"TileSources1", "frmSources"},
              std::pair{"ExportMbtiles1", "frmMbtilesExport"}}) {
            QString seen;
            QVERIFY(WithModalWindow([&] { f->TriggerMenu(item); },
                                    [&](QWidget* modal) { seen = modal->objectName(); }));
            QCOMPARE(seen, QString(window));
        }
        f->TriggerMenu("ConvertLongitudeorLatitudetodegreen1");
        auto* converter = f->Find<QWidget>("frmConvert");
        QVERIFY(converter->isVisible());
        QVERIFY(!converter->isModal());
        QVERIFY(converter->windowFlags() & Qt::WindowStaysOnTopHint);
        f->window->close();
        QVERIFY(!converter->isVisible());
    }
};

TESSELLON_UI_TEST(MainWindowTest)

}  // namespace tessellon::test

#include "main_window_test.moc"
