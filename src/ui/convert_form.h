#pragma once
// The converter TfrmConvert: degrees, minutes and seconds in a hemisphere to
// decimal degrees, and the result into one of the main window's four
// coordinate fields. Not modal, it stays on top of the other windows.

#include <QDialog>

#include "desktop.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace tessellon {

// The main window's fields the result can go into.
struct CoordinateEdits {
    QLineEdit* Left = nullptr;
    QLineEdit* Right = nullptr;
    QLineEdit* Top = nullptr;
    QLineEdit* Bottom = nullptr;
};

class TfrmConvert final : public QDialog {
    Q_OBJECT
public:
    TfrmConvert(Desktop& desktop, CoordinateEdits targets, QWidget* parent);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Button1Click();
    // The result into `target`, labelled `label` in the main window, when it
    // is within that field's range.
    void UseAs(QLineEdit* target, const char* label);
    // Offers the fields of the hemisphere's axis only.
    void FollowHemisphere();

    Desktop& desktop_;
    CoordinateEdits targets_;
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QLineEdit* Edit3;
    QComboBox* ComboHemisphere;
    QLineEdit* Edit4;
    QPushButton* ButtonUseLeft;
    QPushButton* ButtonUseRight;
    QPushButton* ButtonUseTop;
    QPushButton* ButtonUseBottom;
};

}  // namespace tessellon
