#include "convert_form.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "control/degrees_converter.h"
#include "form_layout.h"
#include "handler_guard.h"

namespace tessellon {

TfrmConvert::TfrmConvert(Desktop& desktop, QWidget* parent) : QDialog(parent), desktop_(desktop) {
    form::MakeFixedDialog(this, "frmConvert", form::MsSansSerif(8),
                          "Convert \"Degrees,Minutes,Seconds\" to \"Degrees\"", 466, 99);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setModal(false);

    QGroupBox* input = form::GroupBox(this, nullptr, QString(), {4, 13, 185, 65});
    QLabel* inputLabel = form::Label(input, "Degrees, Minutes, Seconds:", 13, 14);
    Edit1 = form::Edit(input, "Edit1", 10, 35, 49);
    Edit2 = form::Edit(input, "Edit2", 61, 35, 49);
    Edit3 = form::Edit(input, "Edit3", 112, 35, 49);
    // One visible label names three fields; each field says which part it is.
    for (auto [edit, part] :
         {std::pair{Edit1, "degrees"}, std::pair{Edit2, "minutes"}, std::pair{Edit3, "seconds"}}) {
        edit->setAccessibleName(inputLabel->text() + " " + part);
    }

    QPushButton* Button1 = form::Button(this, "Button1", "convert", {205, 40, 84, 25});
    Button1->setDefault(true);

    QGroupBox* output = form::GroupBox(this, nullptr, QString(), {300, 13, 153, 65});
    Edit4 = form::Edit(output, "Edit4", 13, 34, 121);
    Edit4->setReadOnly(true);
    form::Label(output, "Degrees:", 13, 13, Edit4);

    ConnectHandler(desktop_, Button1, &QPushButton::clicked, this, &TfrmConvert::Button1Click);
}

void TfrmConvert::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    form::CentreOnScreen(this);
}

void TfrmConvert::Button1Click() {
    const auto result = ConvertDegreesMinutesSeconds(
        Edit1->text().toStdString(), Edit2->text().toStdString(), Edit3->text().toStdString());
    if (!result) {
        desktop_.ShowMessage(this, kConverterInputError);
        return;
    }
    Edit4->setText(QString::fromStdString(*result));
}

}  // namespace tessellon
