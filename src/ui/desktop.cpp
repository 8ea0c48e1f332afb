#include "desktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>

namespace tessellon {

void QtDesktop::ShowMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok,
                    parent);
    box.exec();
}

bool QtDesktop::Confirm(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, QApplication::applicationName(), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
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

void QtDesktop::Open(const QUrl& target) {
    QDesktopServices::openUrl(target);
}

void QtDesktop::StartProgram(const QString& path) {
    QProcess::startDetached(path, {});
}

}  // namespace tessellon
