#include "convert_form.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "control/degrees_converter.h"
#include "form_layout.h"
#include "handler_guard.h"

namespace tessellon {

namespace {

// The hemisphere list's entries, in the order of Hemisphere.
constexpr const char* kHemispheres[] = {"N", "S", "E", "W"};

}  // namespace

TfrmConvert::TfrmConvert(Desktop& desktop, CoordinateEdits targets, QWidget* parent)
    : QDialog(parent), desktop_(desktop), targets_(targets) {
    form::MakeFixedDialog(this, "frmConvert", form::MsSansSerif(8),
                          "Convert \"Degrees,Minutes,Seconds\" to \"Degrees\"", 466, 120);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setModal(false);

    // Each field under its own label, which names it for screen readers.
    QGroupBox* input = form::GroupBox(this, nullptr, QString(), {4, 8, 236, 70});
    Edit1 = form::Edit(input, "Edit1", 8, 36, 49);
    Edit2 = form::Edit(input, "Edit2", 61, 36, 49);
    Edit3 = form::Edit(input, "Edit3", 114, 36, 49);
    ComboHemisphere = new QComboBox(input);
    ComboHemisphere->setObjectName("ComboHemisphere");
    ComboHemisphere->setAccessibleName("Hemisphere");
    ComboHemisphere->setGeometry(169, 36, 58, form::kEditHeight);
    for (const char* hemisphere : kHemispheres) {
        ComboHemisphere->addItem(hemisphere);
    }
    form::Label(input, "&Degrees:", 8, 16, Edit1);
    form::Label(input, "&Minutes:", 61, 16, Edit2);
    form::Label(input, "&Seconds:", 114, 16, Edit3);
    form::Label(input, "&Hemisphere:", 169, 16, ComboHemisphere);

    QPushButton* Button1 = form::Button(this, "Button1", "&convert", {248, 40, 72, 25});
    Button1->setDefault(true);

    QGroupBox* output = form::GroupBox(this, nullptr, QString(), {328, 8, 134, 70});
    Edit4 = form::Edit(output, "Edit4", 8, 36, 118);
    Edit4->setReadOnly(true);
    form::Label(output, "Decimal degrees:", 8, 16, Edit4);

    constexpr int kUseWidth = 112;
    ButtonUseLeft = form::Button(this, "ButtonUseLeft", "Use as &Left", {4, 88, kUseWidth, 25});
    ButtonUseRight =
        form::Button(this, "ButtonUseRight", "Use as &Right", {120, 88, kUseWidth, 25});
    ButtonUseTop = form::Button(this, "ButtonUseTop", "Use as &Top", {236, 88, kUseWidth, 25});
    ButtonUseBottom = form::Button(this, "ButtonUseBottom", "Use as &Bottom", {352, 88, 110, 25});

    ConnectHandler(desktop_, Button1, &QPushButton::clicked, this, &TfrmConvert::Button1Click);
    const auto useAs = [this](QPushButton* button, QLineEdit* target, const char* label) {
        connect(button, &QPushButton::clicked, this, [this, target, label] {
            RunHandler(desktop_, this, [this, target, label] { UseAs(target, label); });
        });
    };
    useAs(ButtonUseLeft, targets_.Left, "Left Longitude");
    useAs(ButtonUseRight, targets_.Right, "Right Longitude");
    useAs(ButtonUseTop, targets_.Top, "Top Latitude");
    useAs(ButtonUseBottom, targets_.Bottom, "Bottom Latitude");
    connect(ComboHemisphere, &QComboBox::currentIndexChanged, this, &TfrmConvert::FollowHemisphere);
    FollowHemisphere();
}

void TfrmConvert::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    form::PlaceOnOwnersScreen(this);
}

void TfrmConvert::FollowHemisphere() {
    const bool latitude = AxisOf(static_cast<Hemisphere>(ComboHemisphere->currentIndex())) ==
                          CoordinateAxis::Latitude;
    ButtonUseLeft->setEnabled(!latitude);
    ButtonUseRight->setEnabled(!latitude);
    ButtonUseTop->setEnabled(latitude);
    ButtonUseBottom->setEnabled(latitude);
}

void TfrmConvert::Button1Click() {
    std::string error;
    const auto result = ConvertInHemisphere(
        Edit1->text().toStdString(), Edit2->text().toStdString(), Edit3->text().toStdString(),
        static_cast<Hemisphere>(ComboHemisphere->currentIndex()), error);
    if (!result) {
        desktop_.ShowMessage(this, QString::fromStdString(error));
        return;
    }
    Edit4->setText(QString::fromStdString(*result));
}

// Converts first, so that what goes into the field is what the inputs say
// now, never an earlier result.
void TfrmConvert::UseAs(QLineEdit* target, const char* label) {
    const QString before = Edit4->text();
    Edit4->clear();
    Button1Click();
    if (Edit4->text().isEmpty()) {
        Edit4->setText(before);
        return;
    }
    const CoordinateAxis axis = AxisOf(static_cast<Hemisphere>(ComboHemisphere->currentIndex()));
    if (const auto refusal = UseAsRefusal(Edit4->text().toStdString(), axis, label)) {
        desktop_.ShowMessage(this, QString::fromStdString(*refusal));
        return;
    }
    target->setText(Edit4->text());
}

}  // namespace tessellon
