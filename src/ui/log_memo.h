#pragma once
// A read-only list of text lines that grows at its end, like the log window.
// Lines that arrive between two passes of the event loop are appended in one
// go, so a burst of worker calls costs one insertion and one repaint, and the
// cost of a line does not grow with the lines already shown.

#include <QPlainTextEdit>
#include <QStringList>
#include <string>
#include <vector>

namespace tessellon {

class LogMemo final : public QPlainTextEdit {
    Q_OBJECT
public:
    LogMemo(const char* name, QWidget* parent);

    void ReplaceLines(const std::vector<std::string>& lines);
    // Shown at the next pass of the event loop.
    void AddLine(const std::string& line);

signals:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void AppendPending();

    QStringList pending_;
};

}  // namespace tessellon
