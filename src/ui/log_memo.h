#pragma once
// A read-only list of text lines that grows at its end, like the log window:
// appending costs the same however many lines it holds, and a double click
// is reported.

#include <QPlainTextEdit>
#include <string>
#include <vector>

namespace tessellon {

class LogMemo final : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LogMemo(const char* name, QWidget* parent);

    void ReplaceLines(const std::vector<std::string>& lines);
    void AddLine(const std::string& line);
    // The lines as shown, for the tests and the benchmark.
    int LineCount() const;

signals:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

}  // namespace tessellon
