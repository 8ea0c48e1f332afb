#include "desktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <algorithm>
#include <vector>

namespace tessellon {

int CaptionWidth(const QString& caption) {
    // Title bars set their caption larger and bolder than the windows'
    // text, and keep an icon and three buttons beside it.
    constexpr int kTitleBarExtras = 130;
    QFont title = QApplication::font();
    title.setBold(true);
    title.setPointSizeF(std::max(title.pointSizeF(), 11.0));
    return QFontMetrics(title).horizontalAdvance(caption) + kTitleBarExtras;
}

void FitCaption(QMessageBox& box) {
    // A message box lays itself out on a grid; a row below the rest holds
    // it open to the width.
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (grid != nullptr) {
        grid->addItem(new QSpacerItem(CaptionWidth(box.windowTitle()), 0), grid->rowCount(), 0, 1,
                      grid->columnCount());
    }
}

void QtDesktop::ShowMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok,
                    parent);
    FitCaption(box);
    box.exec();
}

bool QtDesktop::Confirm(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, QApplication::applicationName(), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    FitCaption(box);
    return box.exec() == QMessageBox::Yes;
}

bool QtDesktop::OfferChoice(QWidget* parent, const QString& text, const QString& choice) {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok,
                    parent);
    QPushButton* chosen = box.addButton(choice, QMessageBox::ActionRole);
    box.setDefaultButton(QMessageBox::Ok);
    FitCaption(box);
    box.exec();
    return box.clickedButton() == chosen;
}

int QtDesktop::AskChoice(QWidget* parent, const QString& text, const QStringList& choices,
                         int defaultChoice) {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text,
                    QMessageBox::NoButton, parent);
    std::vector<QPushButton*> buttons;
    for (const QString& choice : choices) {
        buttons.push_back(box.addButton(choice, QMessageBox::AcceptRole));
    }
    if (defaultChoice >= 0 && defaultChoice < std::ssize(buttons)) {
        box.setDefaultButton(buttons[static_cast<std::size_t>(defaultChoice)]);
    }
    // The close button and Escape choose nothing.
    auto* none = box.addButton(QMessageBox::Cancel);
    none->hide();
    box.setEscapeButton(none);
    FitCaption(box);
    box.exec();
    const auto pressed = std::find(buttons.begin(), buttons.end(), box.clickedButton());
    return pressed == buttons.end() ? -1 : static_cast<int>(pressed - buttons.begin());
}

std::optional<QString> QtDesktop::ChooseFile(QWidget* parent, const QString& title,
                                             const QString& filter, const QString& initialFolder) {
    const QString chosen = QFileDialog::getOpenFileName(parent, title, initialFolder, filter);
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return chosen;
}

// The browser starts in the home folder with nothing preselected and offers
// folders only.
std::optional<QString> QtDesktop::ChooseFolder(QWidget* parent, const QString& caption) {
    const QString chosen = QFileDialog::getExistingDirectory(parent, caption, QDir::homePath(),
                                                             QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return chosen;
}

bool QtDesktop::Open(const QUrl& target) {
    return QDesktopServices::openUrl(target);
}

void QtDesktop::StartProgram(const QString& path, const QStringList& arguments) {
    QProcess::startDetached(path, arguments);
}

}  // namespace tessellon
