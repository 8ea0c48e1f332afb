#include "flt_form.h"

#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "download/redownload.h"
#include "form_layout.h"
#include "handler_guard.h"
#include "report_mailbox.h"

namespace tessellon {

namespace {

constexpr int kWidth = 703;
constexpr int kHeight = 453;
constexpr int kPanel1Height = 57;

}  // namespace

// What a run reports, as the window takes it on its own thread.
struct RedownloadReports {
    std::vector<std::string> Lines;
    int Done = 0;
    int Total = 0;
    bool Ended = false;
};

// One run of RunRedownload on its own thread. The thread only collects its
// reports and calls `notify` to have them taken, so it never waits for the
// window; destroying the run waits for the record under way.
class RedownloadRun final : private RedownloadOutput {
public:
    RedownloadRun(const std::string& listFileName, std::function<void()> notify)
        : mailbox_(std::move(notify)) {
        thread_ = std::thread([this, listFileName] {
            RunRedownload(listFileName, *this);
            mailbox_.Report([](RedownloadReports& reports) { reports.Ended = true; });
        });
    }
    ~RedownloadRun() override {
        Cancel();
        thread_.join();
    }
    RedownloadRun(const RedownloadRun&) = delete;
    RedownloadRun& operator=(const RedownloadRun&) = delete;

    void Cancel() { cancel_ = true; }

    // The lines since the last call, the latest count, and whether it ended.
    RedownloadReports Take() {
        return mailbox_.Take([](RedownloadReports& reports) { reports.Lines.clear(); });
    }

private:
    void AddLine(const std::string& line) override {
        mailbox_.Report([&](RedownloadReports& reports) { reports.Lines.push_back(line); });
    }
    void RecordsDone(int done, int total) override {
        mailbox_.Report([&](RedownloadReports& reports) {
            reports.Done = done;
            reports.Total = total;
        });
    }
    bool CancelRequested() override { return cancel_; }

    ReportMailbox<RedownloadReports> mailbox_;
    std::atomic<bool> cancel_ = false;
    std::thread thread_;
};

TfrmFlt::TfrmFlt(Desktop& desktop, QWidget* parent) : QDialog(parent), desktop_(desktop) {
    form::MakeFixedDialog(this, "frmFlt", form::MsSansSerifPixels(11), "Re-Download failed files",
                          kWidth, kHeight);

    QFrame* Panel1 = form::Panel(this, {0, 0, kWidth, kPanel1Height}, QFrame::Raised);
    Button1 = form::Button(Panel1, "Button1", "Open *.ftl file and download...", {16, 16, 201, 25});
    ButtonCancel = form::Button(Panel1, "ButtonCancel", "Cancel", {225, 16, 75, 25});
    ButtonCancel->setEnabled(false);
    ProgressRecords = new QProgressBar(Panel1);
    ProgressRecords->setObjectName("ProgressRecords");
    ProgressRecords->setAccessibleName("Re-download progress");
    ProgressRecords->setGeometry(312, 18, kWidth - 312 - 16, 21);
    ProgressRecords->setFormat("%v of %m records");
    ProgressRecords->hide();
    QFrame* Panel2 =
        form::Panel(this, {0, kPanel1Height, kWidth, kHeight - kPanel1Height}, QFrame::Raised);
    Memo1 = new QPlainTextEdit(Panel2);
    Memo1->setObjectName("Memo1");
    Memo1->setAccessibleName("Re-download log");
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setFont(form::MsSansSerifPixels(13));
    Memo1->setGeometry(Panel2->contentsRect());

    ConnectHandler(desktop_, Button1, &QPushButton::clicked, this, &TfrmFlt::Button1Click);
    ConnectHandler(desktop_, ButtonCancel, &QPushButton::clicked, this,
                   &TfrmFlt::ButtonCancelClick);
}

TfrmFlt::~TfrmFlt() = default;

void TfrmFlt::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    form::CentreOnScreen(this);
    Memo1->clear();
    ProgressRecords->hide();
}

void TfrmFlt::reject() {
    if (run_) {
        if (!desktop_.Confirm(this,
                              "The re-download is still running. Stop it after the "
                              "current record and close the window?")) {
            return;
        }
        // Waits for the record under way, so that no run outlives the window
        // and none writes a tile file once the window says it has stopped.
        run_.reset();
        Button1->setEnabled(true);
        ButtonCancel->setEnabled(false);
    }
    QDialog::reject();
}

void TfrmFlt::Button1Click() {
    if (run_) {
        return;
    }
    const auto file = desktop_.ChooseFile(this, "Open ftl file:", "Projects(*.ftl)", {});
    if (!file) {
        return;
    }
    Memo1->clear();
    ProgressRecords->hide();
    Button1->setEnabled(false);
    ButtonCancel->setEnabled(true);
    run_ = std::make_unique<RedownloadRun>(file->toStdString(), [this] {
        QMetaObject::invokeMethod(this, &TfrmFlt::TakeReports, Qt::QueuedConnection);
    });
}

void TfrmFlt::ButtonCancelClick() {
    if (run_) {
        run_->Cancel();
        ButtonCancel->setEnabled(false);
    }
}

void TfrmFlt::TakeReports() {
    if (!run_) {
        return;
    }
    const RedownloadReports reports = run_->Take();
    for (const std::string& line : reports.Lines) {
        Memo1->appendPlainText(QString::fromStdString(line));
    }
    if (reports.Total > 0) {
        ProgressRecords->setRange(0, reports.Total);
        ProgressRecords->setValue(reports.Done);
        ProgressRecords->show();
    }
    if (reports.Ended) {
        run_.reset();
        Button1->setEnabled(true);
        ButtonCancel->setEnabled(false);
    }
}

}  // namespace tessellon
