#pragma once
// What the window tests share: a desktop whose boxes and dialogs the test
// answers, a main window over a fresh folder, and registration of the test
// classes in the one test program.

#include <QColor>
#include <QObject>
#include <QString>
#include <QUrl>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "desktop.h"
#include "download/pacing.h"
#include "main_window.h"
#include "temp_dir.h"

class QWidget;

namespace tessellon::test {

class FakeDesktop final : public Desktop {
public:
    struct FileRequest {
        QString title;
        QString filter;
        QString initialFolder;
    };

    void ShowMessage(QWidget* parent, const QString& text) override;
    bool Confirm(QWidget* parent, const QString& text) override;
    // Shown as a message too; the choice is recorded with it.
    bool OfferChoice(QWidget* parent, const QString& text, const QString& choice) override;
    // Shown as a message too; answered by caption from choiceCaptions,
    // else with the default.
    int AskChoice(QWidget* parent, const QString& text, const QStringList& choices,
                  int defaultChoice) override;
    std::optional<QString> ChooseFile(QWidget* parent, const QString& title, const QString& filter,
                                      const QString& initialFolder) override;
    std::optional<QString> ChooseFolder(QWidget* parent, const QString& caption) override;
    bool Open(const QUrl& target) override {
        opened.push_back(target);
        return openSucceeds;
    }
    void StartProgram(const QString& path, const QStringList& arguments = {}) override {
        started.push_back(path);
        startedArguments.push_back(arguments);
    }

    std::vector<QString> messages;
    std::vector<QString> questions;
    // Answers for the next questions, in order; none left means No.
    std::deque<bool> confirmAnswers;
    // The choices offered beside OK, and whether each is pressed next (none
    // left means OK).
    std::vector<QString> offeredChoices;
    std::deque<bool> choiceAnswers;
    // The buttons of each AskChoice box, and the captions to press next
    // (none left, or one the box lacks: its default).
    std::vector<QStringList> askedChoices;
    std::deque<QString> choiceCaptions;
    // Answers for the next choosers, in order; none left means cancel.
    std::deque<QString> fileAnswers;
    std::deque<QString> folderAnswers;
    std::vector<FileRequest> fileRequests;
    std::vector<QString> folderCaptions;
    std::vector<QUrl> opened;
    // What Open answers: false as when no browser can be started.
    bool openSucceeds = true;
    std::vector<QString> started;
    std::vector<QStringList> startedArguments;
};

// A named child; a missing one ends the test with an error.
template <typename T>
T* Child(const QObject* parent, const char* name) {
    T* child = parent->findChild<T*>(name);
    if (child == nullptr) {
        throw std::runtime_error(std::string("no child named ") + name);
    }
    return child;
}

// A PNG of `size` x `size` pixels of one colour.
std::string Png(QColor colour, int size = 256);

// The name a screen reader gets for `object`.
QString AccessibleName(QObject* object);
// The names of its accessible children, as a screen reader lists a menu.
QStringList AccessibleChildNames(QObject* object);

// The file types that Qt's own file dialog lists for a `filter` as the
// windows pass it to Desktop::ChooseFile.
QStringList FileTypesShown(const QString& filter);

// Runs `action`, which opens a modal window; `inspect` gets that window while
// it is up, and then the window is closed as by its close button. False when
// no modal window came up.
bool WithModalWindow(const std::function<void()>& action,
                     const std::function<void(QWidget*)>& inspect);

// A main window over a fresh folder that is the user's home, the program
// folder and the configuration's folder at once. Not shown yet, so a test
// can write the configuration first.
class MainWindowFixture {
public:
    explicit MainWindowFixture(Pacing pace = {},
                               std::chrono::milliseconds tick = std::chrono::milliseconds(10));

    std::string ConfigFile() const { return dir.File("ini/config.ini"); }
    // Shows the window, which reads the configuration.
    void Show();
    template <typename T>
    T* Find(const char* name) const {
        return Child<T>(window.get(), name);
    }
    // Triggers the menu item with this object name.
    void TriggerMenu(const char* name) const;
    // Closes the window and makes a new one over the same folder, as the
    // program's next start does; not shown yet.
    void Reopen();

    TempDir dir;
    DownloadSettings settings;
    std::chrono::milliseconds tickInterval;
    FakeDesktop desktop;
    std::unique_ptr<TForm1> window;
};

using UiTestFactory = std::function<std::unique_ptr<QObject>()>;
int RegisterUiTest(UiTestFactory factory);

}  // namespace tessellon::test

#define TESSELLON_UI_TEST(Class)                  \
    [[maybe_unused]] static const int Class##Id = \
        tessellon::test::RegisterUiTest([] { return std::make_unique<Class>(); });
