#pragma once
// A label that acts as a link: green, underlined, a hand cursor, and reached
// by the keyboard as well as the mouse.

#include <QLabel>

namespace tessellon {

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
};

}  // namespace tessellon
