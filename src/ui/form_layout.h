#pragma once
// The pieces every window is laid out from, at the pixel positions of its
// form: fonts of the original faces with stand-ins where they are missing,
// labels that name their input for screen readers, edits, buttons, panels,
// group boxes and an edit with an up-down control.

#include <QFont>
#include <QFrame>
#include <QRect>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QWidget;

namespace tessellon::form {

inline constexpr int kEditHeight = 21;
inline constexpr int kUpDownWidth = 17;
// The least room between a label and its field, and between a label and
// the left edge of what holds it (a group box draws its frame there).
inline constexpr int kLabelGap = 3;
inline constexpr int kLabelMinLeft = 5;

QFont Tahoma(qreal points, bool bold = false);
QFont MsSansSerif(qreal points);
QFont MsSansSerifPixels(int pixels);

// The face of the main window for every window and message box.
void UseProgramFont();

// A label sized to its text at `left`, `top`; with a `buddy`, the label's
// text is that input's accessible name.
QLabel* Label(QWidget* parent, const QString& text, int left, int top, QWidget* buddy = nullptr);
QLineEdit* Edit(QWidget* parent, const char* name, int left, int top, int width);
QPushButton* Button(QWidget* parent, const char* name, const QString& caption, QRect geometry);
QFrame* Panel(QWidget* parent, QRect geometry, QFrame::Shadow bevel);
QGroupBox* GroupBox(QWidget* parent, const char* name, const QString& title, QRect geometry);

// An edit that cannot be typed into, driven by its up-down control within
// `minimum`..`maximum` without wrapping around. The spin box is the up-down
// control (`upDownName`) and its text field the edit (`editName`), which
// keeps the given width; the arrows sit beside it.
QSpinBox* UpDownEdit(QWidget* parent, const char* editName, const char* upDownName, int left,
                     int top, int editWidth, int minimum, int maximum, int position);

// A dialog of the program: its object name and font, and a client area fixed
// at `width` x `height` with a title and a close button only.
void MakeFixedDialog(QWidget* dialog, const char* objectName, const QFont& font,
                     const QString& caption, int width, int height);
// Centres a shown window on the screen of the window that owns it (its
// own when it has none), wholly within the screen's free area, shrunk to it
// when larger.
void PlaceOnOwnersScreen(QWidget* window);

}  // namespace tessellon::form
