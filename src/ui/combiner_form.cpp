#include "combiner_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <span>

#include "combiner_application.h"
#include "control/combine_output.h"
#include "control/configuration.h"
#include "form_layout.h"
#include "handler_guard.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "task/tile_cover.h"
#include "window_job.h"

namespace tessellon {

namespace {

QString ResultText(const std::string& output, const CombineResult& result) {
    QString text = QString("Wrote %1: %2 x %3 pixels, %4 %5 left white.")
                       .arg(QString::fromStdString(output))
                       .arg(result.Width)
                       .arg(result.Height)
                       .arg(result.Undrawn.size())
                       .arg(result.Undrawn.size() == 1 ? "tile" : "tiles");
    for (const UndrawnTile& tile : result.Undrawn) {
        text += QString("\nLeft white: tile %1,%2: %3")
                    .arg(tile.X)
                    .arg(tile.Y)
                    .arg(QString::fromStdString(tile.Reason));
    }
    for (const std::string& note : result.Notes) {
        text += "\n" + QString::fromStdString(note);
    }
    return text;
}

// The titles of a table's rows as the box's items, in the table's order.
template <typename Row>
void AddTitles(QComboBox* box, std::span<const Row> rows) {
    for (const Row& row : rows) {
        box->addItem(QString::fromUtf8(row.Title.data(), static_cast<int>(row.Title.size())));
    }
}

}  // namespace

CombinerForm::CombinerForm(Desktop& desktop, std::string configuredOutputName,
                           std::string blankFolder, QWidget* parent)
    : QDialog(parent),
      desktop_(desktop),
      configuredOutputName_(std::move(configuredOutputName)),
      blankFolder_(std::move(blankFolder)) {
    setObjectName("CombinerForm");
    setWindowTitle("Map Combiner");
    resize(560, 360);

    projectEdit_ = new QLineEdit(this);
    projectEdit_->setObjectName("ProjectEdit");
    auto* browse = new QPushButton("Browse...", this);
    browse->setObjectName("BrowseButton");
    auto* projectRow = new QHBoxLayout;
    projectRow->addWidget(projectEdit_);
    projectRow->addWidget(browse);

    outputEdit_ = new QLineEdit(this);
    outputEdit_->setObjectName("OutputEdit");
    formatBox_ = new QComboBox(this);
    formatBox_->setObjectName("FormatBox");
    // After "From the extension", the image formats in the order of their enum.
    formatBox_->addItem("From the extension");
    AddTitles(formatBox_, ImageFormatRows());
    cropBox_ = new QCheckBox("Crop to the typed area", this);
    cropBox_->setObjectName("CropBox");
    // A task of several zooms is combined at one of them.
    zoomBox_ = new QSpinBox(this);
    zoomBox_->setObjectName("ZoomBox");
    zoomBox_->setRange(0, kMaxZoom);
    zoomBox_->setSpecialValueText("The deepest");

    // In the order of TiffLayout.
    layoutBox_ = new QComboBox(this);
    layoutBox_->setObjectName("LayoutBox");
    layoutBox_->addItems({"Plain", "With overviews", "Cloud Optimized (COG)"});
    // After "By the tiles", the compressions in the order of their enum.
    compressionBox_ = new QComboBox(this);
    compressionBox_->setObjectName("CompressionBox");
    compressionBox_->addItem("By the tiles");
    AddTitles(compressionBox_, TiffCompressionRows());
    qualityBox_ = new QSpinBox(this);
    qualityBox_->setObjectName("QualityBox");
    qualityBox_->setRange(1, 100);
    qualityBox_->setValue(kDefaultTiffQuality);
    auto* tiffRow = new QHBoxLayout;
    tiffRow->addWidget(layoutBox_);
    tiffRow->addWidget(compressionBox_);
    tiffRow->addWidget(new QLabel("Quality:", this));
    tiffRow->addWidget(qualityBox_);

    auto* fields = new QFormLayout;
    fields->addRow("Project:", projectRow);
    fields->addRow("Output:", outputEdit_);
    fields->addRow("Format:", formatBox_);
    fields->addRow("Zoom:", zoomBox_);
    fields->addRow(QString(), cropBox_);
    fields->addRow("GeoTIFF:", tiffRow);

    combineButton_ = new QPushButton("Combine", this);
    combineButton_->setObjectName("CombineButton");
    combineButton_->setDefault(true);
    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName("ProgressBar");
    progressBar_->setValue(0);
    resultText_ = new QPlainTextEdit(this);
    resultText_->setObjectName("ResultText");
    resultText_->setReadOnly(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(combineButton_, 0, Qt::AlignRight);
    layout->addWidget(progressBar_);
    layout->addWidget(resultText_);

    ConnectHandler(desktop_, browse, &QPushButton::clicked, this, &CombinerForm::BrowseClick);
    ConnectHandler(desktop_, combineButton_, &QPushButton::clicked, this,
                   &CombinerForm::CombineClick);
    // The proposed name follows the zoom and the format chosen.
    connect(zoomBox_, &QSpinBox::valueChanged, this, &CombinerForm::FollowChoices);
    connect(formatBox_, &QComboBox::currentIndexChanged, this, &CombinerForm::FollowChoices);
    connect(formatBox_, &QComboBox::currentIndexChanged, this, &CombinerForm::EnableTiffChoices);
    connect(outputEdit_, &QLineEdit::textChanged, this, &CombinerForm::EnableTiffChoices);
    connect(compressionBox_, &QComboBox::currentIndexChanged, this,
            &CombinerForm::EnableTiffChoices);
    EnableTiffChoices();
}

// What a combination reports, as the window takes it on its own thread.
struct CombineReports {
    std::int64_t Done = 0;
    std::int64_t Total = 0;
    // Once ended: what was written, or why nothing was.
    std::optional<QString> Result;
};

CombinerForm::~CombinerForm() = default;

void CombinerForm::reject() {
    // The combination ends after the row under way and leaves no output.
    job_.reset();
    combineButton_->setEnabled(true);
    QDialog::reject();
}

void CombinerForm::SetProject(const QString& path) {
    projectEdit_->setText(path);
    try {
        deepestZoom_ = TaskReader(path.toStdString(), blankFolder_).Cover().MaxZoom();
    } catch (const std::exception&) {
        // Combine tells what is wrong with the task.
        deepestZoom_.reset();
    }
    ProposeOutput();
}

std::optional<int> CombinerForm::ChosenZoom() const {
    if (zoomBox_->value() != zoomBox_->minimum()) {
        return zoomBox_->value();
    }
    return deepestZoom_;
}

std::string CombinerForm::DefaultOutput() const {
    const std::optional<ImageFormat> format = ChosenFormat();
    return DefaultCombineOutput(projectEdit_->text().toStdString(), configuredOutputName_,
                                ChosenZoom(), format ? ExtensionOf(*format) : "");
}

void CombinerForm::ProposeOutput() {
    proposedOutput_ = QString::fromStdString(DefaultOutput());
    outputEdit_->setText(proposedOutput_);
}

void CombinerForm::FollowChoices() {
    // A name the user typed stays as typed.
    if (!projectEdit_->text().isEmpty() && outputEdit_->text() == proposedOutput_) {
        ProposeOutput();
    }
}

void CombinerForm::BrowseClick() {
    const std::optional<QString> chosen = desktop_.ChooseFile(
        this, "Open a project", "Projects(*.tsln)",
        QString::fromStdString(ExtractFilePath(projectEdit_->text().toStdString())));
    if (chosen) {
        SetProject(*chosen);
    }
}

std::optional<ImageFormat> CombinerForm::ChosenFormat() const {
    const int index = formatBox_->currentIndex();
    if (index <= 0) {
        return std::nullopt;
    }
    return static_cast<ImageFormat>(index - 1);
}

void CombinerForm::EnableTiffChoices() {
    const std::optional<ImageFormat> format =
        ChosenFormat() ? ChosenFormat() : ImageFormatOfPath(outputEdit_->text().toStdString());
    const bool tiff = format == ImageFormat::Tiff;
    layoutBox_->setEnabled(tiff);
    compressionBox_->setEnabled(tiff);
    CombineOptions options;
    TakeTiffChoices(options);
    qualityBox_->setEnabled(tiff && options.Quality.has_value());
}

void CombinerForm::TakeTiffChoices(CombineOptions& options) const {
    options.Layout = static_cast<TiffLayout>(layoutBox_->currentIndex());
    if (compressionBox_->currentIndex() > 0) {
        options.Compression = static_cast<TiffCompression>(compressionBox_->currentIndex() - 1);
        if (RowOf(*options.Compression).Lossy) {
            options.Quality = qualityBox_->value();
        }
    }
}

void CombinerForm::CombineClick() {
    const std::string project = projectEdit_->text().toStdString();
    CombineOptions options;
    options.OutputPath = CombineOutputPath(project, outputEdit_->text().toStdString());
    if (options.OutputPath.empty()) {
        options.OutputPath = DefaultOutput();
    }
    // Shown whole: a relative name went to the task's folder.
    if (outputEdit_->text() == proposedOutput_) {
        proposedOutput_ = QString::fromStdString(options.OutputPath);
    }
    outputEdit_->setText(QString::fromStdString(options.OutputPath));
    const std::optional<ImageFormat> format =
        ChosenFormat() ? ChosenFormat() : ImageFormatOfPath(options.OutputPath);
    if (!format) {
        desktop_.ShowMessage(this,
                             "The output's extension names no format (.png .jpg .bmp "
                             ".tif); choose one in the Format box.");
        return;
    }
    options.Format = *format;
    if (options.Format == ImageFormat::Tiff) {
        TakeTiffChoices(options);
    }
    if (zoomBox_->value() != zoomBox_->minimum()) {
        options.Zoom = zoomBox_->value();
    }
    options.Crop = cropBox_->isChecked();
    if ((FileExists(options.OutputPath) || DirectoryExists(options.OutputPath)) &&
        !desktop_.Confirm(this,
                          QString::fromStdString(ReplaceOutputQuestion(options.OutputPath)))) {
        return;
    }

    combineButton_->setEnabled(false);
    progressBar_->setValue(0);
    resultText_->setPlainText("Combining...");
    job_ = std::make_unique<CombineJob>(
        this, [this](const CombineReports& reports) { ShowReports(reports); },
        [project, options, blankFolder = blankFolder_](CombineJob& job) mutable {
            options.Stop = &job.Stop();
            QString text;
            try {
                const TaskReader task(project, blankFolder);
                const CombineResult result =
                    CombineTiles(task, options, [&job](std::int64_t done, std::int64_t total) {
                        job.Report([&](CombineReports& reports) {
                            reports.Done = done;
                            reports.Total = total;
                        });
                    });
                text = ResultText(options.OutputPath, result);
            } catch (const std::exception& error) {
                text = QString::fromStdString(error.what());
            }
            job.Report([&](CombineReports& reports) { reports.Result = text; });
        });
}

void CombinerForm::ShowReports(const CombineReports& reports) {
    if (reports.Total > 0) {
        progressBar_->setMaximum(static_cast<int>(reports.Total));
        progressBar_->setValue(static_cast<int>(reports.Done));
    }
    if (reports.Result) {
        job_.reset();
        resultText_->setPlainText(*reports.Result);
        combineButton_->setEnabled(true);
    }
}

int RunCombinerWindow(int argc, char** argv, const std::string& project) {
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName("Map Combiner");
    form::UseProgramFont();
    QtDesktop desktop;
    int status = 1;
    RunHandler(desktop, nullptr, [&] {
        const Configuration configuration(Configuration::DefaultFileName());
        CombinerForm window(desktop, configuration.Read(settings::DefaultOutputName),
                            ProgramFolder() + "blankimg/");
        if (!project.empty()) {
            window.SetProject(QString::fromStdString(project));
        }
        window.show();
        status = QApplication::exec();
    });
    return status;
}

}  // namespace tessellon
