#include "form_layout.h"

#include <QApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>

#include "control/window_placement.h"

namespace tessellon::form {

namespace {

// The forms were drawn in Tahoma and MS Sans Serif; where those are missing,
// faces of similar width keep the labels within their places.
void SubstituteMissingFaces() {
    static const bool done = [] {
        const QStringList standIns{"Liberation Sans", "Arimo", "DejaVu Sans Condensed",
                                   "DejaVu Sans"};
        QFont::insertSubstitutions("Tahoma", standIns);
        QFont::insertSubstitutions("MS Sans Serif", standIns);
        return true;
    }();
    (void)done;
}

QFont Face(const QString& family) {
    SubstituteMissingFaces();
    QFont font(family);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

}  // namespace

QFont Tahoma(qreal points, bool bold) {
    QFont font = Face("Tahoma");
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QFont MsSansSerif(qreal points) {
    QFont font = Face("MS Sans Serif");
    font.setPointSizeF(points);
    return font;
}

QFont MsSansSerifPixels(int pixels) {
    QFont font = Face("MS Sans Serif");
    font.setPixelSize(pixels);
    return font;
}

QLabel* Label(QWidget* parent, const QString& text, int left, int top, QWidget* buddy) {
    auto* label = new QLabel(text, parent);
    label->move(left, top);
    label->adjustSize();
    if (buddy == nullptr) {
        return label;
    }
    label->setBuddy(buddy);
    // A stand-in face a little wider than the original must not run the
    // label into its field: it moves left, as far as it stays clear of the
    // frame around it, and what still does not fit is set a little narrower.
    const bool sameRow = std::abs(buddy->y() - top) < buddy->height();
    if (!sameRow || buddy->x() <= left) {
        return label;
    }
    const int room = buddy->x() - kLabelGap - std::min(left, kLabelMinLeft);
    if (label->width() > room) {
        QFont narrower = label->font();
        narrower.setStretch(std::max(int(QFont::ExtraCondensed), 100 * room / label->width() - 1));
        label->setFont(narrower);
        label->adjustSize();
    }
    const int overlap = label->geometry().right() + kLabelGap - buddy->x() + 1;
    if (overlap > 0) {
        label->move(std::max(std::min(left, kLabelMinLeft), left - overlap), top);
    }
    return label;
}

QLineEdit* Edit(QWidget* parent, const char* name, int left, int top, int width) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setGeometry(left, top, width, kEditHeight);
    return edit;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    return button;
}

QFrame* Panel(QWidget* parent, QRect geometry, QFrame::Shadow bevel) {
    auto* panel = new QFrame(parent);
    panel->setFrameStyle(QFrame::Panel | bevel);
    panel->setGeometry(geometry);
    return panel;
}

QGroupBox* GroupBox(QWidget* parent, const char* name, const QString& title, QRect geometry) {
    auto* box = new QGroupBox(title, parent);
    if (name != nullptr) {
        box->setObjectName(name);
    }
    box->setGeometry(geometry);
    return box;
}

QSpinBox* UpDownEdit(QWidget* parent, const char* editName, const char* upDownName, int left,
                     int top, int editWidth, int minimum, int maximum, int position) {
    auto* upDown = new QSpinBox(parent);
    upDown->setObjectName(upDownName);
    upDown->setRange(minimum, maximum);
    upDown->setValue(position);
    upDown->setWrapping(false);
    upDown->setGeometry(left, top, editWidth + kUpDownWidth, kEditHeight);
    auto* edit = upDown->findChild<QLineEdit*>();
    edit->setObjectName(editName);
    edit->setReadOnly(true);
    return upDown;
}

void UseProgramFont() {
    QApplication::setFont(Tahoma(8));
}

void MakeFixedDialog(QWidget* dialog, const char* objectName, const QFont& font,
                     const QString& caption, int width, int height) {
    dialog->setObjectName(objectName);
    dialog->setFont(font);
    dialog->setWindowTitle(caption);
    dialog->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint);
    dialog->setFixedSize(width, height);
}

void PlaceOnOwnersScreen(QWidget* window) {
    const QWidget* owner =
        window->parentWidget() != nullptr ? window->parentWidget()->window() : nullptr;
    const QScreen* screen = owner != nullptr && owner->screen() != nullptr ? owner->screen()
                            : window->screen() != nullptr                  ? window->screen()
                                                          : QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const auto box = [](const QRect& rect) {
        return WindowBox{rect.left(), rect.top(), rect.width(), rect.height()};
    };
    const QRect frame = window->frameGeometry();
    const QSize margins = frame.size() - window->size();
    const WindowBox placed = PlaceWindow(box(frame), box({{0, 0}, window->minimumSize() + margins}),
                                         box(screen->availableGeometry()));
    if (placed.Width != frame.width() || placed.Height != frame.height()) {
        window->resize(QSize(placed.Width, placed.Height) - margins);
    }
    window->move(placed.Left, placed.Top);
}

}  // namespace tessellon::form
