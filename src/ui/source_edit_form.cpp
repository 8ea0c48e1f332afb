#include "source_edit_form.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

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

// What a field takes when left empty, or how it is written.
QString Hint(std::string_view key) {
    const std::pair<std::string_view, const char*> hints[] = {
        {"Url", "https://{s}.example.org/{z}/{x}/{y}.png"},
        {"Subdomains", "abc or a,b,c"},
        {"Format", "png, jpg, webp or pbf; empty: from the Url"},
        {"MinZoom", "1"},
        {"MaxZoom", "19"},
        {"Workers", "2"},
        {"PauseMs", "1000"},
        {"UserAgent", "Tessellon/<version>"},
        {"Headers", "Name: value | Name: value"},
    };
    for (const auto& [name, hint] : hints) {
        if (name == key) {
            return hint;
        }
    }
    return {};
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
    const int editRows = static_cast<int>(kSourceFieldKeys.size()) - 1;
    const int checkTop = kFirstRow + editRows * kRowHeight + 4;
    const int errorTop = checkTop + 26;
    const int buttonTop = errorTop + 40;
    form::MakeFixedDialog(this, "frmSourceEdit", form::Tahoma(8), "Tile source", kWidth,
                          buttonTop + 35);

    for (int row = 0; row < editRows; ++row) {
        const std::string_view key = kSourceFieldKeys[static_cast<std::size_t>(row)];
        const std::string name = "Edit" + std::string(key);
        const int top = kFirstRow + row * kRowHeight;
        QLineEdit* edit = form::Edit(this, name.c_str(), kEditLeft, top, kWidth - kEditLeft - 8);
        edit->setPlaceholderText(Hint(key));
        form::Label(this, QString::fromUtf8(key.data(), qsizetype(key.size())) + ":", 8, top + 3,
                    edit);
        edits_.push_back(edit);
    }
    CheckInsecure = new QCheckBox("Insecure: accept a certificate that does not verify", this);
    CheckInsecure->setObjectName("CheckInsecure");
    CheckInsecure->move(kEditLeft, checkTop);
    CheckInsecure->adjustSize();

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
    for (std::size_t i = 0; i < edits_.size(); ++i) {
        edits_[i]->setText(QString::fromStdString(Value(keys, kSourceFieldKeys[i])));
    }
    CheckInsecure->setChecked(Value(keys, kSourceFieldKeys.back()) == "1");
    LabelError->clear();
    edits_.front()->setFocus();
    return exec() == QDialog::Accepted;
}

SourceKeys TfrmSourceEdit::Keys() const {
    SourceKeys keys;
    for (std::size_t i = 0; i < edits_.size(); ++i) {
        keys.emplace_back(kSourceFieldKeys[i], edits_[i]->text().trimmed().toStdString());
    }
    keys.emplace_back(kSourceFieldKeys.back(), CheckInsecure->isChecked() ? "1" : "");
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
