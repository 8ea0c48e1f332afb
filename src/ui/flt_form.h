#pragma once
// The re-download window TfrmFlt: fetches again the tiles of a chosen
// failed-tile list on a thread of its own, reports every record in its memo
// and counts them on a progress bar. The window stays live: Cancel ends the
// run after the record under way, and closing asks first.

#include <QDialog>
#include <memory>

#include "desktop.h"

class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace tessellon {

struct RedownloadReports;
template <typename Reports>
class WindowJob;
using RedownloadJob = WindowJob<RedownloadReports>;

class TfrmFlt final : public QDialog {
    Q_OBJECT
public:
    TfrmFlt(Desktop& desktop, QWidget* parent);
    // Waits for a run's record under way.
    ~TfrmFlt() override;

    // The failed-tile list the next "Open" proposes: the task at hand's.
    // Empty proposes none.
    void OfferList(const QString& failedList) { offeredList_ = failedList; }

    // Escape and the close button: while a run goes on, only after a Yes.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Button1Click();
    void ButtonCancelClick();
    // Shows what the run reported since the last call, and lets go of it
    // when it has ended.
    void ShowReports(const RedownloadReports& reports);

    Desktop& desktop_;
    QString offeredList_;
    QPushButton* Button1;
    QPushButton* ButtonCancel;
    QProgressBar* ProgressRecords;
    QPlainTextEdit* Memo1;
    std::unique_ptr<RedownloadJob> run_;
};

}  // namespace tessellon
