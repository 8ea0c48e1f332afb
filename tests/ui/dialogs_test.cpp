// The options, converter, About and re-download windows.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "about_form.h"
#include "control/configuration.h"
#include "convert_form.h"
#include "download_harness.h"
#include "flt_form.h"
#include "options_form.h"
#include "platform/files.h"
#include "ui_test_support.h"

namespace tessellon::test {

class DialogsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempDir> dir;
    FakeDesktop desktop;

    std::string Config() const { return dir->File("ini/config.ini"); }

    static QLineEdit* Edit(QWidget* window, const char* name) {
        return Child<QLineEdit>(window, name);
    }
    static void Click(QWidget* window, const char* name) {
        Child<QPushButton>(window, name)->click();
    }

private slots:
    void init() {
        dir = std::make_unique<TempDir>();
        ::setenv("HOME", dir->Path().c_str(), 1);
        QVERIFY(CreateDirectoryOneLevel(dir->File("ini")));
        desktop = FakeDesktop();
    }
    void cleanup() { dir.reset(); }

    void optionsShowTheirDefaultsWithoutAConfiguration() {
        TfrmOptions options(desktop, Config(), nullptr);
        options.show();
        QCOMPARE(options.windowTitle(), QString("Options"));
        QCOMPARE(options.size(), QSize(360, 430));
        QCOMPARE(Edit(&options, "Edit12")->text(), QString::fromStdString(dir->File("orvanta")));
        QVERIFY(!Child<QCheckBox>(&options, "CheckBoxUseProxy")->isChecked());
        for (const char* name :
             {"EditProxyServer", "EditProxyPort", "EditProxyUsername", "EditProxyPassword"}) {
            QCOMPARE(Edit(&options, name)->text(), QString());
        }
        // The password is not shown to whoever looks at the screen.
        QCOMPARE(Edit(&options, "EditProxyPassword")->echoMode(), QLineEdit::Password);
        struct Named {
            const char* object;
            const char* name;
        };
        for (const Named& named :
             {Named{"Edit12", "Default path to save :"},
              Named{"UpDown1", "Default threads number:"},
              Named{"EditProxyServer", "Proxy Server Name (IP)"},
              Named{"EditProxyPort", "Proxy Port"}, Named{"EditProxyUsername", "Proxy Username"},
              Named{"EditProxyPassword", "Proxy Password"},
              Named{"CheckBoxUseProxy", "Use proxy server"}, Named{"EditMapHost", "Map host"},
              Named{"EditSatelliteHost", "Satellite host"}, Named{"Button1", "OK"},
              Named{"Button2", "Cancel"}}) {
            QCOMPARE(AccessibleName(Child<QWidget>(&options, named.object)), QString(named.name));
        }
        QVERIFY(!FileExists(Config()));
    }

    void optionsOkWithoutChangesLeavesTheMainWindowsFolder() {
        const std::string before = Configuration(Config()).ReadMainWindow().DefaultPath;
        TfrmOptions options(desktop, Config(), nullptr);
        options.show();
        Click(&options, "Button1");
        QVERIFY(FileExists(Config()));
        QCOMPARE(Configuration(Config()).ReadMainWindow().DefaultPath, before);
    }

    void optionsOkWritesTheSixKeysAndCancelWritesNothing() {
        TfrmOptions options(desktop, Config(), nullptr);
        options.show();
        Edit(&options, "EditProxyServer")->setText("proxy.local");
        Click(&options, "Button2");
        QVERIFY(!options.isVisible());
        QVERIFY(!FileExists(Config()));

        options.show();
        QCOMPARE(Edit(&options, "EditProxyServer")->text(), QString());
        desktop.folderAnswers.push_back("/srv/tiles");
        Click(&options, "Button3");
        QCOMPARE(desktop.folderCaptions, std::vector<QString>{"Select path"});
        Child<QCheckBox>(&options, "CheckBoxUseProxy")->setChecked(true);
        Edit(&options, "EditProxyServer")->setText("10.1.1.1");
        Edit(&options, "EditProxyPort")->setText("3128");
        Edit(&options, "EditProxyUsername")->setText("anna");
        Edit(&options, "EditProxyPassword")->setText("pa ss");
        Child<QSpinBox>(&options, "UpDown1")->setValue(64);
        Click(&options, "Button1");
        QVERIFY(!options.isVisible());
        QCOMPARE(ReadFileBytes(Config()),
                 std::string("[IniParas]\r\nDefaultPath=/srv/tiles\r\n\r\n[Proxy]\r\nUseProxy=1\r\n"
                             "ProxyServer=10.1.1.1\r\nProxyPort=3128\r\nProxyUsername=anna\r\n"
                             "ProxyPassword=pa ss\r\n"));

        // The threads field keeps its number but never reaches the file.
        options.show();
        QCOMPARE(Edit(&options, "Edit2")->text(), QString("64"));
        Child<QSpinBox>(&options, "UpDown1")->stepBy(10);
        QCOMPARE(Edit(&options, "Edit2")->text(), QString("64"));
        Child<QCheckBox>(&options, "CheckBoxUseProxy")->setChecked(false);
        Click(&options, "Button1");
        QVERIFY(ReadFileBytes(Config()).find("UseProxy=0\r\n") != std::string::npos);
        QVERIFY(ReadFileBytes(Config()).find("Thread") == std::string::npos);
    }

    // The built-in services' hosts: shown, written when changed, and a host
    // that would break the tile URLs refused with the window left open.
    void optionsShowAndWriteTheBuiltInServicesHosts() {
        TfrmOptions options(desktop, Config(), nullptr);
        options.show();
        QCOMPARE(Edit(&options, "EditMapHost")->text(), QString("127.0.0.1:8086"));
        QCOMPARE(Edit(&options, "EditSatelliteHost")->text(), QString("127.0.0.1:8086"));
        Edit(&options, "EditMapHost")->setText("tiles.example.org/x");
        Click(&options, "Button1");
        QVERIFY(options.isVisible());
        QCOMPARE(desktop.messages.size(), std::size_t{1});
        QVERIFY(desktop.messages[0].startsWith("MapHost must be a host name or address"));
        QVERIFY(!FileExists(Config()));

        Edit(&options, "EditMapHost")->setText(" tiles.example.org:8080 ");
        Click(&options, "Button1");
        QVERIFY(!options.isVisible());
        const TileServiceSettings hosts = Configuration(Config()).ReadTileService();
        QCOMPARE(hosts.MapHost, std::string("tiles.example.org:8080"));
        QCOMPARE(hosts.SatelliteHost, std::string("127.0.0.1:8086"));
        QVERIFY(ReadFileBytes(Config()).find("SatelliteHost") == std::string::npos);
        options.show();
        QCOMPARE(Edit(&options, "EditMapHost")->text(), QString("tiles.example.org:8080"));
    }

    void anUnwritableConfigurationIsShownAndTheWindowStaysOpen() {
        const std::string unreachable = dir->File("no/such/config.ini");
        TfrmOptions options(desktop, unreachable, nullptr);
        options.show();
        Click(&options, "Button1");
        QCOMPARE(desktop.messages,
                 std::vector<QString>{QString::fromStdString("Unable to write to " + unreachable)});
        QVERIFY(options.isVisible());
    }

    // The window's wiring; the core's tests hold the whole table of cases.
    void theConverterAddsMinutesAndSecondsInSinglePrecision_data() {
        QTest::addColumn<QStringList>("input");
        QTest::addColumn<QString>("result");  // empty: "Input Error."
        QTest::newRow("single") << QStringList{"39", "55", "30"} << "39.9249992370605";
        QTest::newRow("negative") << QStringList{"-10", "30", "0"} << "-10.5";
        QTest::newRow("fractional degrees") << QStringList{"39.5", "0", "0"} << "";
        QTest::newRow("no minutes") << QStringList{"39", "", "0"} << "";
    }

    void theConverterAddsMinutesAndSecondsInSinglePrecision() {
        QFETCH(QStringList, input);
        QFETCH(QString, result);
        TfrmConvert convert(desktop, {}, nullptr);
        convert.show();
        Edit(&convert, "Edit4")->setText("before");
        Edit(&convert, "Edit1")->setText(input[0]);
        Edit(&convert, "Edit2")->setText(input[1]);
        Edit(&convert, "Edit3")->setText(input[2]);
        QTest::keyClick(Edit(&convert, "Edit3"), Qt::Key_Return);  // the default button
        if (result.isEmpty()) {
            QCOMPARE(desktop.messages, std::vector<QString>{"Input Error."});
            QCOMPARE(Edit(&convert, "Edit4")->text(), QString("before"));
        } else {
            QVERIFY(desktop.messages.empty());
            QCOMPARE(Edit(&convert, "Edit4")->text(), result);
        }
    }

    void theConverterIsNamedAndStaysOnTop() {
        TfrmConvert convert(desktop, {}, nullptr);
        QCOMPARE(convert.windowTitle(),
                 QString("Convert \"Degrees,Minutes,Seconds\" to \"Degrees\""));
        QCOMPARE(convert.size(), QSize(466, 120));
        QVERIFY(convert.windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(Edit(&convert, "Edit4")->isReadOnly());
        // Each field has a label of its own.
        QCOMPARE(AccessibleName(Edit(&convert, "Edit1")), QString("Degrees:"));
        QCOMPARE(AccessibleName(Edit(&convert, "Edit2")), QString("Minutes:"));
        QCOMPARE(AccessibleName(Edit(&convert, "Edit3")), QString("Seconds:"));
        // A list is read with its chosen entry; its name is set apart.
        QCOMPARE(Child<QComboBox>(&convert, "ComboHemisphere")->accessibleName(),
                 QString("Hemisphere"));
        QCOMPARE(AccessibleName(Edit(&convert, "Edit4")), QString("Decimal degrees:"));
        QCOMPARE(AccessibleName(Child<QPushButton>(&convert, "Button1")), QString("convert"));
    }

    // The hemisphere signs the whole angle, and "Use as" puts what the
    // inputs say now into the field of that axis, within its range.
    void theConverterPutsItsResultIntoTheMainWindowsField() {
        QLineEdit left, right, top, bottom;
        TfrmConvert convert(desktop, {&left, &right, &top, &bottom}, nullptr);
        convert.show();
        auto* hemisphere = Child<QComboBox>(&convert, "ComboHemisphere");
        QCOMPARE(hemisphere->currentText(), QString("N"));
        QVERIFY(!Child<QPushButton>(&convert, "ButtonUseLeft")->isEnabled());
        QVERIFY(Child<QPushButton>(&convert, "ButtonUseTop")->isEnabled());
        hemisphere->setCurrentIndex(hemisphere->findText("W"));
        QVERIFY(Child<QPushButton>(&convert, "ButtonUseLeft")->isEnabled());
        QVERIFY(!Child<QPushButton>(&convert, "ButtonUseBottom")->isEnabled());
        Edit(&convert, "Edit1")->setText("122");
        Edit(&convert, "Edit2")->setText("25");
        Edit(&convert, "Edit3")->setText("10");
        Click(&convert, "ButtonUseLeft");
        QCOMPARE(left.text(), QString("-122.419441223145"));
        QCOMPARE(Edit(&convert, "Edit4")->text(), QString("-122.419441223145"));
        QVERIFY(desktop.messages.empty());

        // Changed inputs are converted again before they go anywhere.
        Edit(&convert, "Edit1")->setText("190");
        Click(&convert, "ButtonUseRight");
        QCOMPARE(desktop.messages,
                 std::vector<QString>{"Right Longitude should be between -180 and 180."});
        QCOMPARE(right.text(), QString());
        Edit(&convert, "Edit1")->setText("-122");
        Click(&convert, "ButtonUseRight");
        QCOMPARE(desktop.messages.back(), QString("Give either a minus sign or S or W, not both."));
        QCOMPARE(right.text(), QString());

        hemisphere->setCurrentIndex(hemisphere->findText("N"));
        Edit(&convert, "Edit1")->setText("37");
        Edit(&convert, "Edit2")->setText("46");
        Edit(&convert, "Edit3")->setText("");
        Click(&convert, "ButtonUseTop");
        QCOMPARE(top.text(), QString("37.7666664123535"));
        QCOMPARE(left.text(), QString("-122.419441223145"));
    }

    void aboutShowsTheTextsAfreshAndOpensItsLinks() {
        TfrmAbout about(desktop, nullptr);
        about.SetTexts("Tessellon 5.23", "https://example.org/", "mailto:help@example.org");
        about.show();
        QCOMPARE(about.windowTitle(), QString("About"));
        QCOMPARE(about.size(), QSize(315, 181));
        QCOMPARE(Child<QLabel>(&about, "Label3")->text(), QString("Tessellon 5.23"));
        QCOMPARE(Child<QLabel>(&about, "Label4")->text(), QString("https://example.org/"));
        QCOMPARE(Child<QLabel>(&about, "Label7")->text(), QString("mailto:help@example.org"));
        QCOMPARE(AccessibleName(Child<QLabel>(&about, "Label4")), QString("https://example.org/"));
        QCOMPARE(Child<QPushButton>(&about, "bLater")->text(), QString("&OK"));

        QTest::mouseClick(Child<QLabel>(&about, "Label4"), Qt::LeftButton);
        QTest::keyClick(Child<QLabel>(&about, "Label7"), Qt::Key_Space);
        QCOMPARE(desktop.opened, (std::vector<QUrl>{QUrl("https://example.org/"),
                                                    QUrl("mailto:help@example.org")}));
        about.hide();
        about.SetTexts("Tessellon 6.0", "https://example.org/", "mailto:help@example.org");
        about.show();
        QCOMPARE(Child<QLabel>(&about, "Label3")->text(), QString("Tessellon 6.0"));
        Click(&about, "bLater");
        QVERIFY(!about.isVisible());
    }

    // Enter closes the window unless a link has been given the focus, which
    // then shows a frame.
    void aboutTakesEnterOnOkAndOnALinkOnlyWhenFocused() {
        TfrmAbout about(desktop, nullptr);
        about.SetTexts("Tessellon 5.23", "https://example.org/", "mailto:help@example.org");
        about.show();
        QVERIFY(QTest::qWaitForWindowActive(&about));
        auto* ok = Child<QPushButton>(&about, "bLater");
        auto* home = Child<QLabel>(&about, "Label4");
        QVERIFY(ok->isDefault());
        QCOMPARE(about.focusWidget(), ok);
        const QImage unfocused = home->grab().toImage();
        QTest::keyClick(&about, Qt::Key_Tab);
        QVERIFY(home->hasFocus());
        QVERIFY(home->grab().toImage() != unfocused);
        QTest::keyClick(home, Qt::Key_Return);
        QCOMPARE(desktop.opened, std::vector<QUrl>{QUrl("https://example.org/")});
        QVERIFY(about.isVisible());

        about.hide();
        about.show();
        QVERIFY(QTest::qWaitForWindowActive(&about));
        QCOMPARE(about.focusWidget(), ok);
        QTest::keyClick(ok, Qt::Key_Return);
        QVERIFY(!about.isVisible());
        QCOMPARE(desktop.opened.size(), std::size_t{1});
    }

    // The program's boxes, however short their text, show their caption
    // whole in the title bar.
    void messageBoxesAreAsWideAsTheirCaption() {
        QtDesktop real;
        int messageWidth = 0;
        QVERIFY(WithModalWindow([&] { real.ShowMessage(nullptr, "OK"); },
                                [&](QWidget* box) { messageWidth = box->width(); }));
        int questionWidth = 0;
        QVERIFY(WithModalWindow([&] { real.Confirm(nullptr, "Go?"); },
                                [&](QWidget* box) { questionWidth = box->width(); }));
        const int wanted = CaptionWidth(QApplication::applicationName());
        QVERIFY2(messageWidth >= wanted, qPrintable(QString::number(messageWidth)));
        QVERIFY2(questionWidth >= wanted, qPrintable(QString::number(questionWidth)));
        QVERIFY(CaptionWidth("Tessellon") > CaptionWidth("T"));
    }

    void aboutFromTheMainWindowShowsItsCaptionAndLinks() {
        MainWindowFixture f;
        f.Show();
        QStringList labels;
        QVERIFY(WithModalWindow([&] { f.TriggerMenu("About1"); },
                                [&](QWidget* about) {
                                    for (const char* name : {"Label3", "Label4", "Label7"}) {
                                        labels << Child<QLabel>(about, name)->text();
                                    }
                                }));
        QCOMPARE(labels, (QStringList{"Tessellon 5.23", kHomePageUrl, kMailLink}));
    }

    void theRedownloadWindowReportsEveryRecord() {
        tileserver::TileServer server(ServerOptions());
        server.Start();
        const std::string url =
            "http://127.0.0.1:" + std::to_string(server.Port()) + "/hx/tl?v=4.3&r=1&x=1&y=2&z=14";
        WriteLinesAtomic(dir->File("a_failed.ftl"), {dir->File("yn_1_1_14.png") + "|" + url,
                                                     dir->File("yn_1_2_14.png") + "|" + url});
        WriteLinesAtomic(dir->File("empty.ftl"), {});

        TfrmFlt flt(desktop, nullptr);
        QCOMPARE(flt.windowTitle(), QString("Re-Download failed files"));
        QCOMPARE(flt.size(), QSize(703, 453));
        flt.show();
        auto* memo = Child<QPlainTextEdit>(&flt, "Memo1");
        auto* progress = Child<QProgressBar>(&flt, "ProgressRecords");
        desktop.fileAnswers = {QString::fromStdString(dir->File("a_failed.ftl")),
                               QString::fromStdString(dir->File("empty.ftl"))};
        Click(&flt, "Button1");
        QCOMPARE(desktop.fileRequests[0].title, QString("Open ftl file:"));
        QCOMPARE(FileTypesShown(desktop.fileRequests[0].filter), QStringList{"Projects(*.ftl)"});
        const QString a = QString::fromStdString(dir->File("yn_1_1_14.png") + ":" + url + " ->OK");
        const QString b = QString::fromStdString(dir->File("yn_1_2_14.png") + ":" + url + " ->OK");
        QTRY_COMPARE(memo->toPlainText(), "Start...\n" + a + "\n" + b +
                                              "\nDownload End.\nNo listed tile is still blank.");
        QTRY_VERIFY(Child<QPushButton>(&flt, "Button1")->isEnabled());
        QVERIFY(FileExists(dir->File("yn_1_2_14.png")));
        QCOMPARE(ReadTextLines(dir->File("a_failed.ftl")).size(), std::size_t{2});
        QCOMPARE(progress->text(), QString("2 of 2 records"));
        QVERIFY(!Child<QPushButton>(&flt, "ButtonCancel")->isEnabled());

        Click(&flt, "Button1");
        QTRY_COMPARE(memo->toPlainText(), QString("No failed files records."));
        QTRY_VERIFY(Child<QPushButton>(&flt, "Button1")->isEnabled());
        QVERIFY(progress->isHidden());
        Click(&flt, "Button1");  // cancelled: the lines stay
        QCOMPARE(memo->toPlainText(), QString("No failed files records."));
        flt.hide();
        flt.show();
        QCOMPARE(memo->toPlainText(), QString());
    }

    // Every record takes a second at the server: the window answers while
    // one is under way, Cancel lets it finish and tries no other, and
    // closing asks first.
    void aRedownloadRunsBesideTheWindowAndEndsWhenAsked() {
        tileserver::TileServer server(ServerOptions());
        server.Start();
        std::vector<std::string> records;
        for (int x = 1; x <= 3; ++x) {
            records.push_back(dir->File("yn_" + std::to_string(x) + "_1_14.png") +
                              "|http://127.0.0.1:" + std::to_string(server.Port()) +
                              "/hx/tl?v=4.3&r=1&x=" + std::to_string(x) +
                              "&y=2&z=14&fault=slow-first-byte:1000");
        }
        WriteLinesAtomic(dir->File("slow_failed.ftl"), records);
        TfrmFlt flt(desktop, nullptr);
        flt.show();
        auto* memo = Child<QPlainTextEdit>(&flt, "Memo1");
        auto* progress = Child<QProgressBar>(&flt, "ProgressRecords");
        auto* cancel = Child<QPushButton>(&flt, "ButtonCancel");
        const auto run = [&] {
            desktop.fileAnswers = {QString::fromStdString(dir->File("slow_failed.ftl"))};
            Click(&flt, "Button1");
        };

        run();
        QVERIFY(!Child<QPushButton>(&flt, "Button1")->isEnabled());
        QTRY_COMPARE(progress->text(), QString("0 of 3 records"));
        QTRY_COMPARE_WITH_TIMEOUT(progress->value(), 1, 5000);
        QVERIFY(cancel->isEnabled());
        cancel->click();
        QVERIFY(!cancel->isEnabled());
        // The last line counts the record never tried: its tile is missing.
        QTRY_VERIFY_WITH_TIMEOUT(memo->toPlainText().endsWith("\nDownload End.\n1 listed tile is "
                                                              "still blank."),
                                 5000);
        const QStringList lines = memo->toPlainText().split('\n');
        QCOMPARE(lines.size(), 6);
        QCOMPARE(lines[3], QString("Cancelled after 2 of 3 records."));
        QCOMPARE(progress->text(), QString("2 of 3 records"));
        QVERIFY(FileExists(dir->File("yn_2_1_14.png")));
        QVERIFY(!FileExists(dir->File("yn_3_1_14.png")));
        QTRY_VERIFY(Child<QPushButton>(&flt, "Button1")->isEnabled());

        run();
        QTRY_COMPARE(progress->text(), QString("0 of 3 records"));
        desktop.confirmAnswers = {false};
        QVERIFY(!flt.close());
        QCOMPARE(desktop.questions.size(), std::size_t{1});
        QCOMPARE(desktop.questions[0],
                 QString("The re-download is still running. Stop it after the current record "
                         "and close the window?"));
        QVERIFY(flt.isVisible());
        desktop.confirmAnswers = {true};
        QTest::keyClick(&flt, Qt::Key_Escape);
        QVERIFY(!flt.isVisible());
        QCOMPARE(desktop.questions.size(), std::size_t{2});
        QVERIFY(!FileExists(dir->File("yn_3_1_14.png")));
        QVERIFY(Child<QPushButton>(&flt, "Button1")->isEnabled());
    }
};

TESSELLON_UI_TEST(DialogsTest)

}  // namespace tessellon::test

#include "dialogs_test.moc"
