#include "log_memo.h"

#include <QScrollBar>

namespace tessellon {

LogMemo::LogMemo(const char* name, QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName(name);
    setReadOnly(true);
    // A log of a million lines: no undo history, and no wrapping, so only the
    // lines in view are laid out.
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void LogMemo::ReplaceLines(const std::vector<std::string>& lines) {
    pending_.clear();
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::string& line : lines) {
        texts.append(QString::fromStdString(line));
    }
    setPlainText(texts.join(u'\n'));
    // Shown at its end, so the lines that follow come into view.
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void LogMemo::AddLine(const std::string& line) {
    pending_.append(QString::fromStdString(line));
    if (pending_.size() == 1) {
        QMetaObject::invokeMethod(this, &LogMemo::AppendPending, Qt::QueuedConnection);
    }
}

void LogMemo::AppendPending() {
    if (pending_.isEmpty()) {
        return;
    }
    // The view follows the new lines unless the reader has scrolled away.
    QScrollBar* bar = verticalScrollBar();
    const bool follow = bar->value() == bar->maximum();
    appendPlainText(pending_.join(u'\n'));
    pending_.clear();
    if (follow) {
        bar->setValue(bar->maximum());
    }
}

void LogMemo::mouseDoubleClickEvent(QMouseEvent* event) {
    QPlainTextEdit::mouseDoubleClickEvent(event);
    emit doubleClicked();
}

}  // namespace tessellon
