#include "flt_form.h"

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QPushButton>

#include "form_layout.h"
#include "handler_guard.h"

namespace tessellon {

namespace {

constexpr int kWidth = 703;
constexpr int kHeight = 453;
constexpr int kPanel1Height = 57;

}  // namespace

TfrmFlt::TfrmFlt(Desktop& desktop, QWidget* parent) : QDialog(parent), desktop_(desktop) {
    form::MakeFixedDialog(this, "frmFlt", form::MsSansSerifPixels(11), "Re-Download failed files",
                          kWidth, kHeight);

    QFrame* Panel1 = form::Panel(this, {0, 0, kWidth, kPanel1Height}, QFrame::Raised);
    QPushButton* Button1 =
        form::Button(Panel1, "Button1", "Open *.ftl file and download...", {16, 16, 201, 25});
    QFrame* Panel2 =
        form::Panel(this, {0, kPanel1Height, kWidth, kHeight - kPanel1Height}, QFrame::Raised);
    Memo1 = new QPlainTextEdit(Panel2);
    Memo1->setObjectName("Memo1");
    Memo1->setAccessibleName("Re-download log");
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setFont(form::MsSansSerifPixels(13));
    Memo1->setGeometry(Panel2->contentsRect());

    ConnectHandler(desktop_, Button1, &QPushButton::clicked, this, &TfrmFlt::Button1Click);
}

void TfrmFlt::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    form::CentreOnScreen(this);
    Memo1->clear();
}

// The run blocks the main thread, as it always has: the window and the main
// window take no input until it ends.
void TfrmFlt::Button1Click() {
    const auto file = desktop_.ChooseFile(this, "Open ftl file:", "Projects(*.ftl) (*.ftl)", {});
    if (!file) {
        return;
    }
    Memo1->clear();
    RunRedownload(file->toStdString(), *this);
}

void TfrmFlt::AddLine(const std::string& line) {
    Memo1->appendPlainText(QString::fromStdString(line));
}

void TfrmFlt::ServePendingOnce() {
    QCoreApplication::processEvents();
}

}  // namespace tessellon
