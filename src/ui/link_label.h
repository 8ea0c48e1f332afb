#pragma once
// A label that acts as a link: green, underlined, a hand cursor, and reached
// by the keyboard as well as the mouse, with a focus frame when it takes
// the keys.

#include <QLabel>

namespace tessellon {

// Around the text, room for the focus frame.
inline constexpr int kLinkMargin = 1;

class LinkLabel final : public QLabel {
    Q_OBJECT
public:
    // `font` is shown underlined.
    LinkLabel(const char* name, QFont font, QWidget* parent);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace tessellon
