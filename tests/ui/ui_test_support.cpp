#include "ui_test_support.h"

#include <stdlib.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QFileDialog>
#include <QImage>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "platform/files.h"

namespace tessellon::test {

void FakeDesktop::ShowMessage(QWidget*, const QString& text) {
    messages.push_back(text);
}

namespace {

// The next answer; none left means No.
bool NextYes(std::deque<bool>& answers) {
    if (answers.empty()) {
        return false;
    }
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
}

std::optional<QString> NextAnswer(std::deque<QString>& answers) {
    if (answers.empty()) {
        return std::nullopt;
    }
    QString answer = answers.front();
    answers.pop_front();
    return answer;
}

}  // namespace

bool FakeDesktop::Confirm(QWidget*, const QString& text) {
    questions.push_back(text);
    return NextYes(confirmAnswers);
}

bool FakeDesktop::OfferChoice(QWidget*, const QString& text, const QString& choice) {
    messages.push_back(text);
    offeredChoices.push_back(choice);
    return NextYes(choiceAnswers);
}

int FakeDesktop::AskChoice(QWidget*, const QString& text, const QStringList& choices,
                           int defaultChoice) {
    messages.push_back(text);
    askedChoices.push_back(choices);
    const std::optional<QString> caption = NextAnswer(choiceCaptions);
    const int pressed = caption ? static_cast<int>(choices.indexOf(*caption)) : -1;
    return pressed >= 0 ? pressed : defaultChoice;
}

std::optional<QString> FakeDesktop::ChooseFile(QWidget*, const QString& title,
                                               const QString& filter,
                                               const QString& initialFolder) {
    fileRequests.push_back({title, filter, initialFolder});
    return NextAnswer(fileAnswers);
}

std::optional<QString> FakeDesktop::ChooseFolder(QWidget*, const QString& caption) {
    folderCaptions.push_back(caption);
    return NextAnswer(folderAnswers);
}

QStringList FileTypesShown(const QString& filter) {
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(filter);
    const auto* types = Child<QComboBox>(&dialog, "fileTypeCombo");
    QStringList shown;
    for (int i = 0; i < types->count(); ++i) {
        shown << types->itemText(i);
    }
    return shown;
}

std::string Png(QColor colour, int size) {
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

QString AccessibleName(QObject* object) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(object);
    return accessible != nullptr ? accessible->text(QAccessible::Name) : QString();
}

QStringList AccessibleChildNames(QObject* object) {
    QStringList names;
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(object);
    for (int i = 0; accessible != nullptr && i < accessible->childCount(); ++i) {
        names << accessible->child(i)->text(QAccessible::Name);
    }
    return names;
}

bool WithModalWindow(const std::function<void()>& action,
                     const std::function<void(QWidget*)>& inspect) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            return;
        }
        seen = true;
        inspect(modal);
        modal->close();
    });
    action();
    return seen;
}

MainWindowFixture::MainWindowFixture(Pacing pace, std::chrono::milliseconds tick)
    : tickInterval(tick) {
    ::setenv("HOME", dir.Path().c_str(), 1);
    if (!CreateDirectoryOneLevel(dir.File("ini"))) {
        qFatal("cannot create %s", dir.File("ini").c_str());
    }
    settings.ConfigFileName = ConfigFile();
    settings.ProgramFolder = dir.Path();
    settings.Pace = pace;
    settings.TimeLimits.Connect = std::chrono::seconds(2);
    settings.TimeLimits.Idle = std::chrono::seconds(2);
    settings.TimeLimits.Request = std::chrono::seconds(5);
    window = std::make_unique<TForm1>(desktop, settings, tick);
}

void MainWindowFixture::Show() {
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void MainWindowFixture::Reopen() {
    window->close();
    window = std::make_unique<TForm1>(desktop, settings, tickInterval);
}

void MainWindowFixture::TriggerMenu(const char* name) const {
    Child<QAction>(window.get(), name)->trigger();
}

}  // namespace tessellon::test
