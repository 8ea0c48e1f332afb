#pragma once
// The converter TfrmConvert: degrees, minutes and seconds to decimal
// degrees. Not modal, it stays on top of the other windows.

#include <QDialog>

#include "desktop.h"

class QLineEdit;

namespace tessellon {

class TfrmConvert final : public QDialog {
    Q_OBJECT
public:
    TfrmConvert(Desktop& desktop, QWidget* parent);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Button1Click();

    Desktop& desktop_;
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QLineEdit* Edit3;
    QLineEdit* Edit4;
};

}  // namespace tessellon
