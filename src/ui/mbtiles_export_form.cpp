#include "mbtiles_export_form.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "handler_guard.h"
#include "output/tile_export.h"
#include "task/tile_cover.h"
#include "window_job.h"

namespace tessellon {

// What an export reports, as the window takes it on its own thread.
struct MbtilesExportReports {
    std::int64_t Done = 0;
    std::int64_t Total = 0;
    bool Ended = false;
    // Once ended: a line per project, or the reason nothing was written.
    QStringList Lines;
};

MbtilesExportForm::MbtilesExportForm(Desktop& desktop, std::string blankFolder, QWidget* parent)
    : QDialog(parent), desktop_(desktop), blankFolder_(std::move(blankFolder)) {
    setObjectName("frmMbtilesExport");
    setWindowTitle("Export tiles");
    auto* layout = new QVBoxLayout(this);

    ProjectList = new QListWidget(this);
    ProjectList->setObjectName("ProjectList");
    ProjectList->setAccessibleName("Project files");
    auto* projectButtons = new QVBoxLayout;
    auto* add = new QPushButton("&Add...", this);
    add->setObjectName("AddProject");
    auto* remove = new QPushButton("&Remove", this);
    remove->setObjectName("RemoveProject");
    projectButtons->addWidget(add);
    projectButtons->addWidget(remove);
    projectButtons->addStretch();
    auto* projects = new QHBoxLayout;
    projects->addWidget(ProjectList, 1);
    projects->addLayout(projectButtons);
    layout->addLayout(projects);

    auto* fields = new QFormLayout;
    OutputFile = new QLineEdit(this);
    OutputFile->setObjectName("OutputFile");
    OutputFile->setToolTip(
        "A .gpkg (GeoPackage), .pmtiles (PMTiles) or .sqlitedb (OsmAnd, Locus) name writes "
        "that format.");
    auto* chooseOutput = new QPushButton("...", this);
    chooseOutput->setObjectName("ChooseOutput");
    chooseOutput->setAccessibleName("Choose an existing tile container");
    auto* output = new QHBoxLayout;
    output->addWidget(OutputFile, 1);
    output->addWidget(chooseOutput);
    // A row of a layout gets no buddy by itself, and without one the "&"
    // would show.
    auto* outputLabel = new QLabel("Tile &container:", this);
    outputLabel->setBuddy(OutputFile);
    fields->addRow(outputLabel, output);
    MapName = new QLineEdit(this);
    MapName->setObjectName("MapName");
    MapName->setPlaceholderText("the file's name, or the first project's");
    fields->addRow("&Name:", MapName);
    WithBlanks = new QCheckBox("Include &blank tiles", this);
    WithBlanks->setObjectName("WithBlanks");
    fields->addRow(QString(), WithBlanks);
    BuildLower = new QSpinBox(this);
    BuildLower->setObjectName("BuildLower");
    // The export refuses more than the projects' least zoom allows.
    BuildLower->setRange(0, kMaxZoom);
    BuildLower->setSpecialValueText("none");
    BuildLower->setToolTip(
        "Zooms below the projects' least, each tile made from the four below it, without "
        "asking the server.");
    fields->addRow("Build &lower zooms:", BuildLower);
    layout->addLayout(fields);

    auto* run = new QHBoxLayout;
    ExportProgress = new QProgressBar(this);
    ExportProgress->setObjectName("ExportProgress");
    ExportProgress->setAccessibleName("Export progress");
    ExportProgress->setFormat("%v of %m tiles");
    ExportProgress->setValue(0);
    ExportButton = new QPushButton("&Export", this);
    ExportButton->setObjectName("ExportButton");
    ExportButton->setDefault(true);
    run->addWidget(ExportProgress, 1);
    run->addWidget(ExportButton);
    layout->addLayout(run);

    ResultText = new QPlainTextEdit(this);
    ResultText->setObjectName("ResultText");
    ResultText->setAccessibleName("Result");
    ResultText->setReadOnly(true);
    ResultText->setMaximumHeight(100);
    layout->addWidget(ResultText);
    resize(640, 420);

    ConnectHandler(desktop_, add, &QPushButton::clicked, this, &MbtilesExportForm::AddProjectClick);
    ConnectHandler(desktop_, remove, &QPushButton::clicked, this,
                   &MbtilesExportForm::RemoveProjectClick);
    ConnectHandler(desktop_, chooseOutput, &QPushButton::clicked, this,
                   &MbtilesExportForm::ChooseOutputClick);
    ConnectHandler(desktop_, ExportButton, &QPushButton::clicked, this,
                   &MbtilesExportForm::ExportClick);
}

MbtilesExportForm::~MbtilesExportForm() = default;

void MbtilesExportForm::reject() {
    // The export ends after the batch under way, leaving the file as it was.
    run_.reset();
    ExportButton->setEnabled(true);
    QDialog::reject();
}

void MbtilesExportForm::AddProjectClick() {
    const QString folder =
        ProjectList->count() > 0 ? QFileInfo(ProjectList->item(0)->text()).path() : QString();
    const auto project = desktop_.ChooseFile(this, "Add project", "Projects(*.tsln)", folder);
    if (project) {
        AddProject(*project);
    }
}

void MbtilesExportForm::AddProject(const QString& project) {
    ProjectList->addItem(project);
    // A first project suggests a file beside it.
    if (OutputFile->text().isEmpty()) {
        const QFileInfo info(project);
        OutputFile->setText(info.path() + "/" + info.completeBaseName() + ".mbtiles");
    }
}

void MbtilesExportForm::RemoveProjectClick() {
    delete ProjectList->currentItem();
}

void MbtilesExportForm::ChooseOutputClick() {
    const QString filter = QString::fromStdString("Tile containers(" + ContainerPatterns() + ");;" +
                                                  ContainerFileTypes());
    const auto file =
        desktop_.ChooseFile(this, "Tile container", filter, QFileInfo(OutputFile->text()).path());
    if (file) {
        OutputFile->setText(*file);
    }
}

void MbtilesExportForm::ExportClick() {
    if (run_) {
        return;
    }
    if (ProjectList->count() == 0) {
        desktop_.ShowMessage(this, "Add the project files to export.");
        return;
    }
    if (OutputFile->text().trimmed().isEmpty()) {
        desktop_.ShowMessage(this,
                             "Name the tile container to write (.mbtiles, .gpkg, .pmtiles "
                             "or .sqlitedb).");
        return;
    }
    std::vector<std::string> projects;
    for (int i = 0; i < ProjectList->count(); ++i) {
        projects.push_back(ProjectList->item(i)->text().toStdString());
    }
    TileExportOptions options;
    options.Name = MapName->text().toStdString();
    options.WithBlanks = WithBlanks->isChecked();
    options.BuildLower = BuildLower->value();
    options.BlankFolder = blankFolder_;
    ResultText->clear();
    ExportProgress->setValue(0);
    ExportButton->setEnabled(false);
    run_ = std::make_unique<MbtilesExportJob>(
        this, [this](const MbtilesExportReports& reports) { ShowReports(reports); },
        [projects = std::move(projects), file = OutputFile->text().trimmed().toStdString(),
         options = std::move(options)](MbtilesExportJob& job) mutable {
            options.Stop = &job.Stop();
            QStringList lines;
            try {
                // The extension picks the container; MBTiles by default.
                const TileExport results = ExportTiles(
                    ContainerFormatOfPath(file).value_or(ContainerFormat::Mbtiles), projects, file,
                    options, [&job](std::int64_t done, std::int64_t total) {
                        job.Report([&](MbtilesExportReports& reports) {
                            reports.Done = done;
                            reports.Total = total;
                        });
                    });
                for (const ProjectExport& result : results.Projects) {
                    for (const std::string& line : ExportSkipLines(result)) {
                        lines << QString::fromStdString(line);
                    }
                    lines << QString::fromStdString(ExportSummaryLine(result, options.WithBlanks));
                }
                if (!results.Built.empty()) {
                    lines << QString::fromStdString(BuiltZoomsLine(results.Built));
                }
            } catch (const std::exception& e) {
                // The reader's and the file's errors each name their file.
                lines << QString::fromStdString(e.what());
            }
            job.Report([&](MbtilesExportReports& reports) {
                reports.Lines = lines;
                reports.Ended = true;
            });
        });
}

void MbtilesExportForm::ShowReports(const MbtilesExportReports& reports) {
    ExportProgress->setMaximum(static_cast<int>(reports.Total));
    ExportProgress->setValue(static_cast<int>(reports.Done));
    if (!reports.Ended) {
        return;
    }
    run_.reset();
    ResultText->setPlainText(reports.Lines.join('\n'));
    ExportButton->setEnabled(true);
}

}  // namespace tessellon
