#pragma once
// The Map Combiner's window: a project, an output and its format, the zoom
// and crop choices and a Combine button; the combination runs on a thread of its own
// so the window stays live, with a progress bar and the result below.

#include <QDialog>
#include <optional>
#include <string>
#include <thread>

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

class CombinerForm final : public QDialog {
    Q_OBJECT
public:
    // `configuredOutputName` is the configuration's DefaultOutputName;
    // `blankFolder` holds the blank images, as for the task reader.
    CombinerForm(Desktop& desktop, std::string configuredOutputName, std::string blankFolder,
                 QWidget* parent = nullptr);
    ~CombinerForm() override;

    // Shows `path` as the project and proposes the default output beside it.
    void SetProject(const QString& path);

private:
    void BrowseClick();
    void CombineClick();
    std::optional<ImageFormat> ChosenFormat() const;
    void ShowProgress(std::int64_t done, std::int64_t total);
    void ShowResult(const QString& text);

    Desktop& desktop_;
    std::string configuredOutputName_;
    std::string blankFolder_;
    std::thread worker_;

    QLineEdit* projectEdit_;
    QLineEdit* outputEdit_;
    QComboBox* formatBox_;
    QCheckBox* cropBox_;
    QSpinBox* zoomBox_;
    QPushButton* combineButton_;
    QProgressBar* progressBar_;
    QPlainTextEdit* resultText_;
};

}  // namespace tessellon
