#include "log_memo.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>

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

void LogMemo::SetLineLimit(int maxLines, const QString& olderLinesNote) {
    maxLines_ = maxLines;
    note_ = olderLinesNote;
}

void LogMemo::ReplaceLines(const std::vector<std::string>& lines) {
    pending_.clear();
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::string& line : lines) {
        texts.append(QString::fromStdString(line));
    }
    noted_ = maxLines_ > 0 && !texts.isEmpty() && texts.front() == note_;
    setPlainText(texts.join(u'\n'));
    DropOldest();
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
    const int moved = DropOldest();
    if (follow) {
        bar->setValue(bar->maximum());
    } else if (moved > 0) {
        // The reader keeps the lines in view.
        bar->setValue(std::max(0, bar->value() - moved));
    }
}

int LogMemo::DropOldest() {
    QTextDocument* text = document();
    const int first = noted_ ? 1 : 0;
    const int lines = text->blockCount() - first;
    if (maxLines_ == 0 || lines <= maxLines_) {
        return 0;
    }
    // Whole blocks of a tenth of the limit: fewer than `lines`, since the
    // excess rounded up stays below it.
    const int block = std::max(1, maxLines_ / 10);
    const int drop = (lines - maxLines_ + block - 1) / block * block;
    QTextCursor cursor(text);
    cursor.setPosition(text->findBlockByNumber(first).position());
    cursor.setPosition(text->findBlockByNumber(first + drop).position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    if (noted_) {
        return drop;
    }
    cursor.insertText(note_ + u'\n');
    noted_ = true;
    return drop - 1;
}

void LogMemo::mouseDoubleClickEvent(QMouseEvent* event) {
    QPlainTextEdit::mouseDoubleClickEvent(event);
    emit doubleClicked();
}

}  // namespace tessellon
