#pragma once
// Everything the windows ask of the desktop around them: message boxes, the
// file and folder choosers, opening a file or address with the desktop's
// default application, and starting a companion program. The windows reach
// these only through this interface, so tests can answer them.

#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

class QMessageBox;
class QWidget;

namespace tessellon {

class Desktop {
public:
    virtual ~Desktop() = default;

    // A modal box with the text and an OK button.
    virtual void ShowMessage(QWidget* parent, const QString& text) = 0;
    // A modal question with Yes and No buttons, No the default; true for Yes.
    virtual bool Confirm(QWidget* parent, const QString& text) = 0;
    // A modal box with the text, an OK button (the default) and a button
    // captioned `choice`; true when that one was pressed.
    virtual bool OfferChoice(QWidget* parent, const QString& text, const QString& choice) = 0;
    // A modal box with the text and a button for each of `choices`, in
    // order, `defaultChoice` the default; the index of the one pressed, -1
    // when the box was closed without a choice.
    virtual int AskChoice(QWidget* parent, const QString& text, const QStringList& choices,
                          int defaultChoice) = 0;
    // The chosen file, or nothing when the user cancels. `filter` in Qt's
    // form, for instance "Projects(*.tsln)".
    virtual std::optional<QString> ChooseFile(QWidget* parent, const QString& title,
                                              const QString& filter,
                                              const QString& initialFolder) = 0;
    virtual std::optional<QString> ChooseFolder(QWidget* parent, const QString& caption) = 0;
    // False when no program could be asked to open it; a failure of the
    // program asked is not seen.
    virtual bool Open(const QUrl& target) = 0;
    // Started detached with `arguments`; a program that is missing or fails
    // to start is ignored.
    virtual void StartProgram(const QString& path, const QStringList& arguments = {}) = 0;
};

// The width a window needs for the window manager to show `caption` whole
// in its title bar, beside its icon and buttons.
int CaptionWidth(const QString& caption);
// Widens a message box to CaptionWidth: a short text alone would make it
// narrower than its title.
void FitCaption(QMessageBox& box);

// The real desktop: Qt's message box and dialogs, QDesktopServices, QProcess.
class QtDesktop final : public Desktop {
public:
    void ShowMessage(QWidget* parent, const QString& text) override;
    bool Confirm(QWidget* parent, const QString& text) override;
    bool OfferChoice(QWidget* parent, const QString& text, const QString& choice) override;
    int AskChoice(QWidget* parent, const QString& text, const QStringList& choices,
                  int defaultChoice) override;
    std::optional<QString> ChooseFile(QWidget* parent, const QString& title, const QString& filter,
                                      const QString& initialFolder) override;
    std::optional<QString> ChooseFolder(QWidget* parent, const QString& caption) override;
    bool Open(const QUrl& target) override;
    void StartProgram(const QString& path, const QStringList& arguments = {}) override;
};

}  // namespace tessellon
