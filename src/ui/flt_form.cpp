#include "flt_form.h"

#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <vector>

#include "download/redownload.h"
#include "form_layout.h"
#include "handler_guard.h"
#include "window_job.h"

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

namespace {

// A run's lines and counts, into its job's mailbox; the job's stop request
// is the run's Cancel.
class JobOutput final : public RedownloadOutput {
public:
    explicit JobOutput(RedownloadJob& job) : job_(job) {}

    void AddLine(const std::string& line) override {
        job_.Report([&](RedownloadReports& reports) { reports.Lines.push_back(line); });
    }
    void RecordsDone(int done, int total) override {
        job_.Report([&](RedownloadReports& reports) {
            reports.Done = done;
            reports.Total = total;
        });
    }
    bool CancelRequested() override { return job_.Stop().Requested(); }

private:
    RedownloadJob& job_;
};

}  // namespace

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
    form::PlaceOnOwnersScreen(this);
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
    const auto file = desktop_.ChooseFile(this, "Open ftl file:", "Projects(*.ftl)", offeredList_);
    if (!file) {
        return;
    }
    Memo1->clear();
    ProgressRecords->hide();
    Button1->setEnabled(false);
    ButtonCancel->setEnabled(true);
    run_ = std::make_unique<RedownloadJob>(
        this, [this](const RedownloadReports& reports) { ShowReports(reports); },
        [listFileName = file->toStdString()](RedownloadJob& job) {
            JobOutput output(job);
            RunRedownload(listFileName, output);
            job.Report([](RedownloadReports& reports) { reports.Ended = true; });
        },
        // Lines are handed over once; the counts stand until replaced.
        [](RedownloadReports& reports) { reports.Lines.clear(); });
}

void TfrmFlt::ButtonCancelClick() {
    if (run_) {
        run_->RequestStop();
        ButtonCancel->setEnabled(false);
    }
}

void TfrmFlt::ShowReports(const RedownloadReports& reports) {
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
