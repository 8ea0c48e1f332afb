#include "about_form.h"

#include <QLabel>
#include <QPushButton>

#include "form_layout.h"
#include "handler_guard.h"
#include "link_label.h"

namespace tessellon {

TfrmAbout::TfrmAbout(Desktop& desktop, QWidget* parent) : QDialog(parent), desktop_(desktop) {
    form::MakeFixedDialog(this, "frmAbout", form::MsSansSerif(8), "About", 315, 181);

    QFrame* panel = form::Panel(this, {0, 0, 315, 145}, QFrame::Raised);
    panel->setFont(form::MsSansSerif(10));
    Label3 = new QLabel(panel);
    Label3->setObjectName("Label3");
    QFont underlined = form::MsSansSerif(8);
    underlined.setUnderline(true);
    Label3->setFont(underlined);
    Label3->setWordWrap(true);
    Label3->setGeometry(17, 16, 208, 13);

    Label4 = new LinkLabel("Label4", form::MsSansSerif(8), panel);
    Label4->move(100 - kLinkMargin, 92 - kLinkMargin);
    form::Label(panel, "Homepage:", 16, 89, Label4);
    Label7 = new LinkLabel("Label7", form::MsSansSerif(8), panel);
    Label7->move(100 - kLinkMargin, 112 - kLinkMargin);
    form::Label(panel, "Email:", 16, 112, Label7);

    bLater = form::Button(this, "bLater", "&OK", {232, 151, 81, 25});
    bLater->setDefault(true);

    ConnectHandler(desktop_, Label4, &LinkLabel::clicked, this, &TfrmAbout::Label4Click);
    ConnectHandler(desktop_, Label7, &LinkLabel::clicked, this, &TfrmAbout::Label7Click);
    connect(bLater, &QPushButton::clicked, this, &QDialog::accept);
}

void TfrmAbout::SetTexts(const QString& caption, const QString& homePageUrl,
                         const QString& mailLink) {
    caption_ = caption;
    homePageUrl_ = homePageUrl;
    mailLink_ = mailLink;
}

void TfrmAbout::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    form::PlaceOnOwnersScreen(this);
    Label4->setText(homePageUrl_);
    Label4->adjustSize();
    Label7->setText(mailLink_);
    Label7->adjustSize();
    Label3->setText(caption_);
    // Enter closes the window: it must not reach a link, which would take
    // it, just because the links come first in the tab order.
    bLater->setFocus();
}

void TfrmAbout::Label4Click() {
    desktop_.Open(QUrl(homePageUrl_));
}

void TfrmAbout::Label7Click() {
    desktop_.Open(QUrl(mailLink_));
}

}  // namespace tessellon
