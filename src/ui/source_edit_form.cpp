#include "source_edit_form.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "control/source_editing.h"
#include "form_layout.h"
#include "handler_guard.h"
#include "platform/ini_file.h"

namespace tessellon {

namespace {

constexpr int kWidth = 440;
constexpr int kEditLeft = 96;
constexpr int kRowHeight = 27;
constexpr int kFirstRow = 10;
constexpr int kCheckHeight = 26;

bool IsSwitch(const SourceKeyRule& rule) {
    return rule.Kind == SourceKeyKind::Switch;
}

const std::string& Value(const SourceKeys& keys, std::string_view key) {
    static const std::string kEmpty;
    for (const auto& [name, value] : keys) {
        if (SameIniName(name, key)) {
            return value;
        }
    }
    return kEmpty;
}

}  // namespace

TfrmSourceEdit::TfrmSourceEdit(Desktop& desktop, QWidget* parent)
    : QDialog(parent), desktop_(desktop) {
    // A line for each key of the table, and below them a check box for each
    // switch.
    const auto switches = std::count_if(kSourceKeyRules.begin(), kSourceKeyRules.end(),
                                        [](const SourceKeyRule& rule) { return IsSwitch(rule); });
    const int editRows = static_cast<int>(kSourceKeyRules.size() - switches);
    const int checkTop = kFirstRow + editRows * kRowHeight + 4;
    const int errorTop = checkTop + static_cast<int>(switches) * kCheckHeight;
    const int buttonTop = errorTop + 40;
    form::MakeFixedDialog(this, "frmSourceEdit", form::Tahoma(8), "Tile source", kWidth,
                          buttonTop + 35);

    int editTop = kFirstRow;
    int nextCheckTop = checkTop;
    for (const SourceKeyRule& rule : kSourceKeyRules) {
        const QString name = QString::fromUtf8(rule.Name.data(), qsizetype(rule.Name.size()));
        const QString meaning =
            QString::fromUtf8(rule.Meaning.data(), qsizetype(rule.Meaning.size()));
        if (IsSwitch(rule)) {
            auto* check = new QCheckBox(name + ": " + meaning, this);
            check->setObjectName("Check" + name);
            check->move(kEditLeft, nextCheckTop);
            check->adjustSize();
            nextCheckTop += kCheckHeight;
            fields_.push_back(check);
            continue;
        }
        const std::string objectName = "Edit" + std::string(rule.Name);
        QLineEdit* edit =
            form::Edit(this, objectName.c_str(), kEditLeft, editTop, kWidth - kEditLeft - 8);
        edit->setPlaceholderText(QString::fromStdString(SourceKeyHint(rule)));
        edit->setToolTip(meaning);
        form::Label(this, name + ":", 8, editTop + 3, edit);
        editTop += kRowHeight;
        fields_.push_back(edit);
    }

    LabelError = new QLabel(this);
    LabelError->setObjectName("LabelError");
    LabelError->setGeometry(8, errorTop, kWidth - 16, 34);
    LabelError->setWordWrap(true);
    QPalette palette = LabelError->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    LabelError->setPalette(palette);

    QPushButton* ButtonOK = form::Button(this, "ButtonOK", "OK", {kWidth - 166, buttonTop, 75, 25});
    ButtonOK->setDefault(true);
    QPushButton* ButtonCancel =
        form::Button(this, "ButtonCancel", "Cancel", {kWidth - 83, buttonTop, 75, 25});
    ConnectHandler(desktop_, ButtonOK, &QPushButton::clicked, this, &TfrmSourceEdit::ButtonOKClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TfrmSourceEdit::Edit(const QString& caption, const SourceKeys& keys, SaveFunction save) {
    setWindowTitle(caption);
    save_ = std::move(save);
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const std::string& value = Value(keys, kSourceKeyRules[i].Name);
        if (auto* check = qobject_cast<QCheckBox*>(fields_[i])) {
            check->setChecked(value == "1");
        } else {
            static_cast<QLineEdit*>(fields_[i])->setText(QString::fromStdString(value));
        }
    }
    LabelError->clear();
    fields_.front()->setFocus();
    return exec() == QDialog::Accepted;
}

SourceKeys TfrmSourceEdit::Keys() const {
    SourceKeys keys;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        std::string value;
        if (const auto* check = qobject_cast<const QCheckBox*>(fields_[i])) {
            value = check->isChecked() ? std::string("1") : std::string();
        } else {
            value = static_cast<const QLineEdit*>(fields_[i])->text().trimmed().toStdString();
        }
        keys.emplace_back(kSourceKeyRules[i].Name, std::move(value));
    }
    return keys;
}

void TfrmSourceEdit::ButtonOKClick() {
    if (const auto refusal = save_(Keys())) {
        LabelError->setText(QString::fromStdString(*refusal));
        return;
    }
    accept();
}

}  // namespace tessellon
