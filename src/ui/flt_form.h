#pragma once
// The re-download window TfrmFlt: fetches again the tiles of a chosen
// failed-tile list, one after the other on the main thread, and reports
// every record in its memo.

#include <QDialog>

#include "desktop.h"
#include "download/redownload.h"

class QPlainTextEdit;

namespace tessellon {

class TfrmFlt final : public QDialog, private RedownloadOutput {
    Q_OBJECT
public:
    TfrmFlt(Desktop& desktop, QWidget* parent);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Button1Click();
    void AddLine(const std::string& line) override;
    void ServePendingOnce() override;

    Desktop& desktop_;
    QPlainTextEdit* Memo1;
};

}  // namespace tessellon
