#pragma once
// A read-only list of text lines that grows at its end, like the log window.
// Lines that arrive between two passes of the event loop are appended in one
// go, so a burst of worker calls costs one insertion and one repaint, and the
// cost of a line does not grow with the lines already shown. With a line
// limit it keeps only the newest lines, under one line that says where the
// older ones are.

#include <QPlainTextEdit>
#include <QStringList>
#include <string>
#include <vector>

namespace tessellon {

class LogMemo final : public QPlainTextEdit {
    Q_OBJECT
public:
    LogMemo(const char* name, QWidget* parent);

    // Keeps at most `maxLines` lines from now on. The oldest go a tenth of
    // the limit at a time, so a line costs the same however many went
    // before; `olderLinesNote` then stands above the rest. A first line that
    // is the note already stays there.
    void SetLineLimit(int maxLines, const QString& olderLinesNote);

    void ReplaceLines(const std::vector<std::string>& lines);
    // Shown at the next pass of the event loop.
    void AddLine(const std::string& line);

signals:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void AppendPending();
    // Drops the oldest lines while there are more than the limit; returns
    // how many lines the text moved up by.
    int DropOldest();

    QStringList pending_;
    int maxLines_ = 0;  // 0: no limit
    QString note_;
    // The first line is the note.
    bool noted_ = false;
};

}  // namespace tessellon
