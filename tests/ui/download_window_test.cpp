// Start, Stop and the timer through the main window: every message of a
// refused start, whole downloads against the tile server in this process,
// closing the window during a download, the synchronised call and the
// mailbox workers report through.

#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTextBlock>
#include <QThread>
#include <atomic>
#include <thread>
#include <vector>

#include "download_harness.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "qt_synchronizer.h"
#include "report_mailbox.h"
#include "ui_test_support.h"

namespace tessellon::test {

using namespace std::chrono_literals;

class DownloadWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<tileserver::TileServer> server;
    std::unique_ptr<MainWindowFixture> f;

    void Prepare(Pacing pace, tileserver::TileServerOptions options = ServerOptions()) {
        server = std::make_unique<tileserver::TileServer>(std::move(options));
        server->Start();
        f = std::make_unique<MainWindowFixture>(pace);
        IniFile config(f->ConfigFile());
        const std::string host = "127.0.0.1:" + std::to_string(server->Port());
        config.WriteString("TileService", "MapHost", host);
        config.WriteString("TileService", "SatelliteHost", host);
        f->Show();
    }

    // The sample area: 42 tiles of the map layer at zoom 13.
    TaskFields Sample() const {
        TaskFields fields;
        fields.MapsTypeItem = kMapItem;
        fields.LeftLongitude = "116.3";
        fields.RightLongitude = "116.5";
        fields.TopLatitude = "40";
        fields.BottomLatitude = "39.8";
        fields.SavePath = f->dir.File("maps");
        return fields;
    }

    void Type(const TaskFields& fields) const {
        f->Find<QLineEdit>("EditTaskName")->setText(QString::fromStdString(fields.TaskName));
        const auto radios = f->window->findChildren<QRadioButton*>();
        radios[fields.MapsTypeItem]->setChecked(true);
        f->Find<QLineEdit>("Edit1")->setText(QString::fromStdString(fields.LeftLongitude));
        f->Find<QLineEdit>("Edit3")->setText(QString::fromStdString(fields.RightLongitude));
        f->Find<QLineEdit>("Edit2")->setText(QString::fromStdString(fields.TopLatitude));
        f->Find<QLineEdit>("Edit4")->setText(QString::fromStdString(fields.BottomLatitude));
        f->Find<QSpinBox>("UpDown1")->setValue(std::stoi(fields.Zoom));
        f->Find<QLineEdit>("Edit6")->setText(QString::fromStdString(fields.SavePath));
    }

    // Starts the download of the sample's north-west tile alone; returns
    // the fields it typed. `answer` answers the desktop's boxes beforehand.
    TaskFields DownloadOneTile(tileserver::TileServerOptions options = ServerOptions(),
                               const std::function<void(FakeDesktop&)>& answer = {}) {
        Prepare(Pacing(kPaceScale), std::move(options));
        if (answer) {
            answer(f->desktop);
        }
        TaskFields fields = Sample();
        fields.RightLongitude = fields.LeftLongitude;
        fields.BottomLatitude = fields.TopLatitude;
        Type(fields);
        Button()->click();
        return fields;
    }

    // Starts the sample task with this pause after each tile.
    void StartSample(std::chrono::milliseconds afterTile) {
        Pacing pace(kPaceScale);
        pace.AfterTile = afterTile;
        Prepare(pace);
        Type(Sample());
        Button()->click();
    }

    QPushButton* Button() const { return f->Find<QPushButton>("BitBtn1"); }
    // The log window as shown once the event loop has had its turn.
    QString Log() const {
        QCoreApplication::processEvents();
        return f->Find<QPlainTextEdit>("Memo1")->toPlainText();
    }
    QString LogFile() const {
        return QString::fromStdString(Sample().SavePath + "/newtask_log.txt");
    }
    // The closing box: its first line as always, then how the task ended.
    static QString FinalMessage(const QString& ending) {
        return "Task stoped!" + QString(20, ' ') + "\n" + ending;
    }

private slots:
    void cleanup() {
        f.reset();
        server.reset();
    }

    void everyRefusedStartShowsItsMessageAndStaysIdle_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("no name") << "TaskName"
                                 << "" << QStringList{"Please enter a task name."};
        QTest::newRow("letters") << "LeftLongitude"
                                 << "east"
                                 << QStringList{"Left Longitude should be between -180 and 180."};
        QTest::newRow("no folder") << "SavePath"
                                   << "" << QStringList{"Please select a path to save the images."};
        QTest::newRow("left") << "LeftLongitude"
                              << "180.000001"
                              << QStringList{"Left Longitude should be between -180 and 180."};
        QTest::newRow("right") << "RightLongitude"
                               << "-181"
                               << QStringList{"Right Longitude should be between -180 and 180."};
        QTest::newRow("top") << "TopLatitude"
                             << "85.5" << QStringList{"Top Latitude should be between -85 and 85."};
        QTest::newRow("bottom") << "BottomLatitude"
                                << "-85.5"
                                << QStringList{"Bottom Latitude should be between -85 and 85."};
        QTest::newRow("left of right")
            << "LeftLongitude"
            << "116,6" << QStringList{"Left Longitude should less than Right Longitude!"};
        QTest::newRow("top over bottom")
            << "TopLatitude"
            << "39" << QStringList{"Bottom Latitude should less than Top Latitude!"};
        QTest::newRow("world at 19")
            << "World"
            << ""
            << QStringList{
                   "Too many images in this area. Choose a smaller area or a lower zoom level."};
        QTest::newRow("no parent")
            << "SavePath"
            << "missing/maps" << QStringList{"Create directory %dir%missing/maps Failed."};
        QTest::newRow("no tile folder")
            << "TileFolder"
            << ""
            << QStringList{"Create directory %dir%maps/newtask/ Failed.",
                           "Error: Create task failure."};
    }

    void everyRefusedStartShowsItsMessageAndStaysIdle() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QStringList, messages);
        Prepare({});
        const QString dir = QString::fromStdString(f->dir.Path());
        TaskFields fields = Sample();
        const std::string value = QString(text).replace("%dir%", dir).toStdString();
        if (field == "SavePath") {
            fields.SavePath = text.isEmpty() ? "" : f->dir.File(text.toStdString());
        } else if (field == "TaskName") {
            fields.TaskName = value;
        } else if (field == "LeftLongitude") {
            fields.LeftLongitude = value;
        } else if (field == "RightLongitude") {
            fields.RightLongitude = value;
        } else if (field == "TopLatitude") {
            fields.TopLatitude = value;
        } else if (field == "BottomLatitude") {
            fields.BottomLatitude = value;
        } else if (field == "World") {
            const std::string folder = fields.SavePath;
            fields = {};
            fields.TaskName = "world.tsln";
            fields.MapsTypeItem = kMapItem;
            fields.LeftLongitude = "-180";
            fields.RightLongitude = "180";
            fields.TopLatitude = "85";
            fields.BottomLatitude = "-85";
            fields.Zoom = "19";
            fields.SavePath = folder;
        } else if (field == "TileFolder") {
            QVERIFY(CreateDirectoryOneLevel(fields.SavePath));
            WriteFileAtomic(fields.SavePath + "/newtask", "in the way");
        }
        Type(fields);
        Button()->click();
        QCOMPARE(f->desktop.messages.size(), size_t(messages.size()));
        for (qsizetype i = 0; i < messages.size(); ++i) {
            QCOMPARE(f->desktop.messages[size_t(i)], QString(messages[i]).replace("%dir%", dir));
        }
        QCOMPARE(Button()->text(), QString("Start"));
        QCOMPARE(Log(), QString("[log window]"));
        QVERIFY(!f->Find<QProgressBar>("ProgressBar")->isVisible());
    }

    void enterInAFieldPressesStart() {
        Prepare({});
        TaskFields fields = Sample();
        fields.SavePath.clear();
        Type(fields);
        QTest::keyClick(f->Find<QLineEdit>("Edit1"), Qt::Key_Return);
        QCOMPARE(f->desktop.messages,
                 std::vector<QString>{"Please select a path to save the images."});
    }

    // Enter typed into a field while tiles come in is meant for the field:
    // it must not end the download, nor Enter on the Stop button itself.
    void whileADownloadRunsOnlyAClickSpaceOrAltSStopsIt() {
        StartSample(150ms);
        QVERIFY(QTest::qWaitForWindowActive(f->window.get()));
        QVERIFY(!Button()->isDefault());
        auto* edit = f->Find<QLineEdit>("Edit1");
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_Return);
        Button()->setFocus();
        QTest::keyClick(Button(), Qt::Key_Enter);
        QCOMPARE(Button()->text(), QString("Stop"));
        QVERIFY(!Log().contains("terminated by user"));

        QTest::keyClick(edit, Qt::Key_S, Qt::AltModifier);
        QVERIFY(Log().contains("Thread1will be terminated by user. please wait..."));
        QTRY_VERIFY_WITH_TIMEOUT(!f->desktop.messages.empty(), 5000);
        QCOMPARE(Button()->text(), QString("Start"));
        QVERIFY(Button()->isDefault());

        f->desktop.messages.clear();
        QTest::keyClick(edit, Qt::Key_S, Qt::AltModifier);
        QCOMPARE(Button()->text(), QString("Stop"));
        Button()->setFocus();
        QTest::keyClick(Button(), Qt::Key_Space);
        QVERIFY(Log().contains("Thread1will be terminated by user. please wait..."));
        QTRY_VERIFY_WITH_TIMEOUT(!f->desktop.messages.empty(), 5000);
    }

    // The window keeps the newest kLogWindowLines lines under one line that
    // says the older ones are in the file, whether the start handed it that
    // line or the lines came one by one.
    void theLogWindowKeepsTheNewestLinesUnderOneLineAboutTheFile() {
        f = std::make_unique<MainWindowFixture>();
        f->Show();
        auto* memo = f->Find<QPlainTextEdit>("Memo1");
        const auto line = [](std::size_t n) { return "T1:seq=" + std::to_string(n) + " OK"; };
        const auto shown = [&line](std::size_t n) { return QString::fromStdString(line(n)); };
        const auto block = [memo](int number) {
            return memo->document()->findBlockByNumber(number).text();
        };
        const QString note(kOlderLogLinesLine);
        const int limit = static_cast<int>(kLogWindowLines);

        // "[log window]" and then as many lines as the window keeps.
        std::size_t added = 0;
        for (; added < kLogWindowLines; ++added) {
            f->window->LogLineAdded(line(added));
            if (added % 1000 == 0) {
                QCoreApplication::processEvents();
            }
        }
        QCoreApplication::processEvents();
        QCOMPARE(block(0), note);
        QVERIFY(memo->document()->blockCount() <= limit + 1);
        const int lines = memo->document()->blockCount() - 1;
        QCOMPARE(block(1), shown(kLogWindowLines - static_cast<std::size_t>(lines)));
        QCOMPARE(block(lines), shown(added - 1));

        // The note stays the one line above however many more come.
        for (; added < 2 * kLogWindowLines; ++added) {
            f->window->LogLineAdded(line(added));
            if (added % 5000 == 0) {
                QCoreApplication::processEvents();
                QCOMPARE(block(0), note);
                QVERIFY(block(1) != note);
                QVERIFY(memo->document()->blockCount() <= limit + 1);
            }
        }

        // A start hands over the newest lines of a long log, note first.
        f->window->LogReplaced({kOlderLogLinesLine, "newest"});
        for (int n = 0; n < limit; ++n) {
            f->window->LogLineAdded(line(static_cast<std::size_t>(n)));
        }
        QCoreApplication::processEvents();
        QCOMPARE(block(0), note);
        QVERIFY(block(1) != note);
        QVERIFY(memo->document()->blockCount() <= limit + 1);
        QCOMPARE(block(memo->document()->blockCount() - 1),
                 shown(static_cast<std::size_t>(limit - 1)));
    }

    void aDownloadShowsItsLinesAndStopsWhenAsked() {
        StartSample(150ms);
        QCOMPARE(Button()->text(), QString("Stop"));
        QCOMPARE(f->Find<QLabel>("LabelTotalxy")->text(), QString("Total images: 42"));
        QVERIFY(!Log().startsWith("[log window]"));
        QTRY_VERIFY_WITH_TIMEOUT(Log().contains(" OK"), 5000);
        auto* progress = f->Find<QProgressBar>("ProgressBar");
        QTRY_VERIFY(progress->isVisible() && progress->value() > 0);
        QVERIFY(progress->text().contains(" of 42 tiles, 0 failed"));

        QCOMPARE(Button()->text(), QString("Stop"));
        Button()->click();
        QCOMPARE(Button()->text(), QString("Stop"));
        for (int i = 1; i <= 8; ++i) {
            QVERIFY(Log().contains(
                QString("Thread%1will be terminated by user. please wait...").arg(i)));
        }
        QTRY_VERIFY_WITH_TIMEOUT(!f->desktop.messages.empty(), 5000);
        QCOMPARE(f->desktop.messages.size(), 1u);
        QVERIFY(f->desktop.messages[0].startsWith(FinalMessage("Stopped after ")));
        QVERIFY(f->desktop.messages[0].endsWith(
            " of 42 tiles.\nStart continues the task where it stopped."));
        // A stop offers no next steps: Start continues.
        QCOMPARE(f->desktop.askedChoices.back(), QStringList{"OK"});
        QVERIFY(!f->Find<QWidget>("NextSteps")->isVisible());
        QCOMPARE(Button()->text(), QString("Start"));
        QVERIFY(Log().contains("\nTask Stoped!\n"));
        QVERIFY(Log().endsWith("Log file has been saved as " + LogFile()));
        QCOMPARE(QString::fromStdString(ReadTextLines(LogFile().toStdString()).back()),
                 "Log file has been saved as " + LogFile());

        f->TriggerMenu("Viewlogfile1");
        QCOMPARE(f->desktop.opened, std::vector<QUrl>{QUrl::fromLocalFile(LogFile())});
        std::remove(LogFile().toStdString().c_str());
        f->TriggerMenu("Viewlogfile1");
        QCOMPARE(f->desktop.messages.back(), "No logfile now." + QString(25, ' '));
    }

    void aDownloadThatRunsToItsEndShowsTheSameFinalMessage() {
        const TaskFields fields = DownloadOneTile();
        QTRY_VERIFY_WITH_TIMEOUT(!f->desktop.messages.empty(), 5000);
        QCOMPARE(f->desktop.messages,
                 std::vector<QString>(1, FinalMessage("All 1 tiles downloaded.")));
        auto* progress = f->Find<QProgressBar>("ProgressBar");
        QCOMPARE(progress->text(), QString("1 of 1 tiles, 0 failed"));
        QCOMPARE(progress->value(), progress->maximum());
        QCOMPARE(QDir(QString::fromStdString(fields.SavePath + "/newtask"))
                     .entryList(QDir::Files)
                     .size(),
                 1);
    }

    // File > Refresh task... asks for a project, fills the fields from it and
    // refreshes the task behind the Stop button: its lines and progress in
    // the window, its counts in the closing box and the log. A running task
    // leaves the item disabled.
    void refreshTaskAsksEachTileAgainAndEndsWithItsCounts() {
        const TaskFields fields = DownloadOneTile();
        QTRY_VERIFY_WITH_TIMEOUT(!f->desktop.messages.empty(), 5000);
        f->desktop.messages.clear();
        auto* refresh = f->window->findChild<QAction*>("RefreshTask1");
        QVERIFY(refresh != nullptr);
        QCOMPARE(refresh->text(), QString("Refresh task..."));
        QVERIFY(refresh->isEnabled());

        f->Find<QLineEdit>("EditTaskName")->setText("other.tsln");
        f->TriggerMenu("RefreshTask1");
        QCOMPARE(Button()->text(), QString("Start"));
        QCOMPARE(f->desktop.fileRequests.back().filter, QString("Projects(*.tsln)"));

        f->desktop.fileAnswers = {QString::fromStdString(fields.SavePath + "/newtask.tsln")};
        f->TriggerMenu("RefreshTask1");
        QCOMPARE(f->Find<QLineEdit>("EditTaskName")->text(), QString("newtask.tsln"));
        QCOMPARE(Button()->text(), QString("Stop"));
        QVERIFY(!refresh->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!f->desktop.messages.empty(), 5000);
        const QString counts(
            "Refreshed 1 tiles: 0 changed, 1 unchanged, 0 kept (not on the server).");
        QCOMPARE(f->desktop.messages, std::vector<QString>{FinalMessage(counts)});
        QVERIFY(Log().contains("\n" + counts + "\n"));
        QVERIFY(Log().contains(".png unchanged"));
        QCOMPARE(f->Find<QProgressBar>("ProgressBar")->text(), QString("1 of 1 tiles, 0 failed"));
        QCOMPARE(Button()->text(), QString("Start"));
        QVERIFY(refresh->isEnabled());
    }

    // The closing box of a download that left listed tiles blank offers to
    // retry them, and the retry fetches them; one that left none offers
    // nothing.
    void theClosingBoxOffersToRetryFailedTiles() {
        DownloadOneTile(FailingFirst(3), [](FakeDesktop& desktop) {
            desktop.choiceCaptions = {"Retry failed tiles"};
        });
        QTRY_VERIFY_WITH_TIMEOUT(f->desktop.messages.size() == 2, 5000);
        const QString list = QString::fromStdString(Sample().SavePath + "/newtask_failed.ftl");
        QCOMPARE(f->desktop.messages[0],
                 FinalMessage("1 tiles: 0 downloaded, 1 still blank (listed in " + list + ")."));
        QCOMPARE(f->desktop.askedChoices[0], (QStringList{"OK", "Open folder", "View", "Combine",
                                                          "Export", "Retry failed tiles"}));
        QCOMPARE(f->desktop.askedChoices[1],
                 (QStringList{"OK", "Open folder", "View", "Combine", "Export"}));
        QCOMPARE(f->desktop.messages[1], FinalMessage("All 1 tiles downloaded."));
        QVERIFY(Log().contains("Fetching again the 1 tiles of " + list + " that are still blank."));
        QCOMPARE(Button()->text(), QString("Start"));
    }

    // After a whole download the box and the row under the log offer the
    // next steps, each on this task: its folder, the viewer with its
    // project, the combiner's window on it, the export with its project on the list, the
    // Re-Download window's chooser on its failed-tile list.
    void aFinishedDownloadOffersItsNextStepsOnTheTask() {
        DownloadOneTile(ServerOptions(),
                        [](FakeDesktop& desktop) { desktop.choiceCaptions = {"Open folder"}; });
        QTRY_VERIFY_WITH_TIMEOUT(!f->desktop.messages.empty(), 5000);
        const QString folder = QString::fromStdString(Sample().SavePath);
        const QString project = folder + "/newtask.tsln";
        QCOMPARE(f->desktop.opened, std::vector<QUrl>{QUrl::fromLocalFile(folder)});
        auto* row = f->Find<QWidget>("NextSteps");
        QVERIFY(row->isVisible());
        QVERIFY(f->Find<QPushButton>("ButtonView")->isVisible());
        QVERIFY(!f->Find<QPushButton>("ButtonRetryFailed")->isVisible());

        f->Find<QPushButton>("ButtonView")->click();
        QCOMPARE(f->desktop.startedArguments.back(), QStringList{project});
        f->Find<QPushButton>("ButtonCombine")->click();
        QVERIFY(f->desktop.started.back().endsWith("/combiner"));
        QCOMPARE(f->desktop.startedArguments.back(), (QStringList{"--window", project}));
        QString listed;
        QVERIFY(WithModalWindow([&] { f->Find<QPushButton>("ButtonExport")->click(); },
                                [&](QWidget* window) {
                                    listed =
                                        Child<QListWidget>(window, "ProjectList")->item(0)->text();
                                }));
        QCOMPARE(listed, project);
        QVERIFY(WithModalWindow(
            [&] { f->TriggerMenu("ReDownloadfailedfiles1"); },
            [&](QWidget* window) { Child<QPushButton>(window, "Button1")->click(); }));
        QCOMPARE(f->desktop.fileRequests.back().initialFolder, folder + "/newtask_failed.ftl");

        // A new start takes the row away until it ends.
        Button()->click();
        QVERIFY(!row->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(Button()->text(), QString("Start"), 5000);
        QVERIFY(row->isVisible());
    }

    // Another task's project of that name, or more than 100,000 tiles: the
    // window asks, and No starts nothing.
    void aStartAsksBeforeReplacingAnotherTaskOrStartingAHugeOne() {
        TaskFields fields = DownloadOneTile();
        QTRY_VERIFY_WITH_TIMEOUT(!f->desktop.messages.empty(), 5000);
        const QString log = Log();

        fields.Zoom = "12";
        Type(fields);
        Button()->click();
        QCOMPARE(f->desktop.questions,
                 std::vector<QString>{"A task named newtask.tsln already exists in this folder "
                                      "with other settings. Replace it?"});
        QCOMPARE(Button()->text(), QString("Start"));
        QCOMPARE(Log(), log);

        TaskFields huge = Sample();
        huge.TaskName = "huge";
        huge.Zoom = "19";
        Type(huge);
        Button()->click();
        QCOMPARE(f->desktop.questions.size(), size_t(2));
        QVERIFY(f->desktop.questions[1].startsWith("This task has 111252 tiles: about "));
        QCOMPARE(Button()->text(), QString("Start"));
        QVERIFY(!FileExists(huge.SavePath + "/huge.tsln"));

        f->desktop.confirmAnswers = {true};
        Type(fields);
        Button()->click();
        QCOMPARE(Button()->text(), QString("Stop"));
        QTRY_COMPARE_WITH_TIMEOUT(Button()->text(), QString("Start"), 5000);
        QCOMPARE(f->desktop.questions.size(), size_t(3));
    }

    // Closing during a download asks first: the default keeps it going,
    // "Stop and close" stops and saves everything without a closing box.
    void closingTheWindowDuringADownloadAsksThenStopsAndSavesEverything() {
        StartSample(100ms);
        // The first worker's own tile, whose position the save then holds.
        QTRY_VERIFY_WITH_TIMEOUT(
            Log().contains(QRegularExpression("^T1:.* OK$", QRegularExpression::MultilineOption)),
            5000);
        QVERIFY(!f->window->close());
        const std::vector<QStringList> asked{{"Stop and close", "Keep downloading"}};
        QCOMPARE(f->desktop.askedChoices, asked);
        QVERIFY(f->desktop.messages[0].startsWith("A download is running."));
        QCOMPARE(Button()->text(), QString("Stop"));
        QVERIFY(f->window->isVisible());
        f->desktop.messages.clear();
        f->desktop.choiceCaptions = {"Stop and close"};
        QVERIFY(f->window->close());
        QCOMPARE(Button()->text(), QString("Start"));
        QCOMPARE(f->desktop.messages.size(), 1u);
        const std::vector<std::string> saved = ReadTextLines(LogFile().toStdString());
        QVERIFY(std::find(saved.begin(), saved.end(), "Task Stoped!") != saved.end());
        const IniFile project(Sample().SavePath + "/newtask.tsln");
        QVERIFY(project.ReadInteger("THREADS", "T1X", 0) > 0);
    }

    // The system's request to end (SIGTERM) closes without a question and
    // saves as "Stop and close" does, the task's fields with it.
    void anEndAskedByTheSystemStopsAndSavesWithoutAQuestion() {
        StartSample(100ms);
        QTRY_VERIFY_WITH_TIMEOUT(Log().contains(" OK"), 5000);
        f->window->CloseAsAsked();
        QVERIFY(!f->window->isVisible());
        QVERIFY(f->desktop.askedChoices.empty());
        QCOMPARE(Button()->text(), QString("Start"));
        const std::vector<std::string> saved = ReadTextLines(LogFile().toStdString());
        QVERIFY(std::find(saved.begin(), saved.end(), "Task Stoped!") != saved.end());
        QCOMPARE(IniFile(f->ConfigFile()).ReadString("LastTask", "TaskName", ""),
                 std::string("newtask.tsln"));
    }

    void workersReachTheWindowOnlyOnTheMainThread() {
        FakeDesktop desktop;
        QWidget window;
        QtSynchronizer sync(desktop, &window);
        QThread* ranOn = nullptr;
        std::atomic<bool> done{false};
        std::thread worker([&] {
            sync.Synchronize([&] { ranOn = QThread::currentThread(); });
            sync.Synchronize([] { throw std::runtime_error("Unable to write to /x"); });
            done = true;
        });
        while (!done) {
            sync.ServePending(20ms);
        }
        worker.join();
        QCOMPARE(ranOn, QThread::currentThread());
        QCOMPARE(desktop.messages, std::vector<QString>{"Unable to write to /x"});
    }

    // Workers report one way: a call waits until the window's own event loop
    // serves it, with nobody in ServePending; many reports make one delivery
    // of the latest; a mailbox the window let go of delivers nothing more.
    void workersReportThroughAMailboxTheWindowMayLetGo() {
        FakeDesktop desktop;
        QWidget window;
        QtSynchronizer sync(desktop, &window);
        std::atomic<bool> served{false};
        std::thread worker([&] { sync.Synchronize([&] { served = true; }); });
        QTRY_VERIFY(served);
        worker.join();

        std::vector<int> delivered;
        auto mailbox = std::make_unique<ReportMailbox<int>>(
            &window, [&](const int& reports) { delivered.push_back(reports); });
        std::thread reporter([&] {
            for (int i = 1; i <= 100; ++i) {
                mailbox->Report([i](int& reports) { reports = i; });
            }
        });
        reporter.join();
        QTRY_COMPARE(delivered, std::vector<int>{100});
        mailbox->Report([](int& reports) { reports = 7; });
        mailbox.reset();
        QCoreApplication::processEvents();
        QCOMPARE(delivered, std::vector<int>{100});
    }
};

TESSELLON_UI_TEST(DownloadWindowTest)

}  // namespace tessellon::test

#include "download_window_test.moc"
