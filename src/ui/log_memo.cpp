#include "log_memo.h"

namespace tessellon {

LogMemo::LogMemo(const char* name, QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName(name);
    setReadOnly(true);
    // A log of a million lines: no undo history, no wrapping, and only the
    // visible lines are laid out.
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void LogMemo::ReplaceLines(const std::vector<std::string>& lines) {
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::string& line : lines) {
        texts.append(QString::fromStdString(line));
    }
    setPlainText(texts.join(u'\n'));
}

void LogMemo::AddLine(const std::string& line) {
    appendPlainText(QString::fromStdString(line));
}

int LogMemo::LineCount() const {
    return document()->blockCount();
}

void LogMemo::mouseDoubleClickEvent(QMouseEvent* event) {
    QPlainTextEdit::mouseDoubleClickEvent(event);
    emit doubleClicked();
}

}  // namespace tessellon
