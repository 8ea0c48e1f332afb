#pragma once
// The Map Combiner's window: a project, an output and its format, the zoom
// and crop choices, a GeoTIFF's layout, compression and quality, and a
// Combine button; the combination runs on a thread of its own
// so the window stays live, with a progress bar and the result below. The
// output follows the rules of control/combine_output: a relative name lands
// in the task's folder, and a file that is there is replaced only after a
// question.

#include <QDialog>
#include <memory>
#include <optional>
#include <string>

#include "desktop.h"
#include "output/map_combiner.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace tessellon {

struct CombineReports;
template <typename Reports>
class WindowJob;
using CombineJob = WindowJob<CombineReports>;

class CombinerForm final : public QDialog {
    Q_OBJECT
public:
    // `configuredOutputName` is the configuration's DefaultOutputName;
    // `blankFolder` holds the blank images, as for the task reader.
    CombinerForm(Desktop& desktop, std::string configuredOutputName, std::string blankFolder,
                 QWidget* parent = nullptr);
    // Stops a combination under way and waits for the row it is on; no
    // output is left.
    ~CombinerForm() override;

    // Escape and the close button: a combination under way stops as the
    // window closes.
    void reject() override;

    // Shows `path` as the project and proposes the default output beside it.
    void SetProject(const QString& path);

private:
    void BrowseClick();
    void CombineClick();
    std::optional<ImageFormat> ChosenFormat() const;
    // The GeoTIFF's choices go to `options`; they take effect only for a
    // TIFF output, and the quality only for a lossy compression.
    void TakeTiffChoices(CombineOptions& options) const;
    // Offers the GeoTIFF choices while the output is a TIFF.
    void EnableTiffChoices();
    // The zoom chosen, or the task's deepest; none when the task cannot be
    // read.
    std::optional<int> ChosenZoom() const;
    std::string DefaultOutput() const;
    // Puts the default output into the output field.
    void ProposeOutput();
    // Proposes the default again after the zoom or format changed, unless
    // the user typed an output of their own.
    void FollowChoices();
    // Shows the combination's progress, and its result once it has ended.
    void ShowReports(const CombineReports& reports);

    Desktop& desktop_;
    std::string configuredOutputName_;
    std::string blankFolder_;
    std::unique_ptr<CombineJob> job_;
    // The deepest zoom of the project shown, when it could be read.
    std::optional<int> deepestZoom_;
    // The output the window proposed last.
    QString proposedOutput_;

    QLineEdit* projectEdit_;
    QLineEdit* outputEdit_;
    QComboBox* formatBox_;
    QCheckBox* cropBox_;
    QSpinBox* zoomBox_;
    QComboBox* layoutBox_;
    QComboBox* compressionBox_;
    QSpinBox* qualityBox_;
    QPushButton* combineButton_;
    QProgressBar* progressBar_;
    QPlainTextEdit* resultText_;
};

}  // namespace tessellon
