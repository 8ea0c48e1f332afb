#pragma once
// The About window TfrmAbout: the program's name and version, its home page
// and its support address, taken from the main window at each showing.

#include <QDialog>

#include "desktop.h"

class QLabel;
class QPushButton;

namespace tessellon {

class LinkLabel;

class TfrmAbout final : public QDialog {
    Q_OBJECT
public:
    TfrmAbout(Desktop& desktop, QWidget* parent);

    // The main window's caption, HomePageUrl and MailLink, shown at the next
    // showing.
    void SetTexts(const QString& caption, const QString& homePageUrl, const QString& mailLink);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Label4Click();
    void Label7Click();

    Desktop& desktop_;
    QString caption_;
    QString homePageUrl_;
    QString mailLink_;
    QLabel* Label3;
    LinkLabel* Label4;
    LinkLabel* Label7;
    QPushButton* bLater;
};

}  // namespace tessellon
