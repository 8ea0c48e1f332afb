#pragma once
// The "Export to MBTiles" window: a list of project files, the MBTiles file
// to write, the map's name and whether blank tiles go in. The export runs on
// a thread of its own while the window shows its progress, then the line
// for each project or the reason the file was refused.

#include <QDialog>
#include <memory>
#include <string>

#include "desktop.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace tessellon {

class MbtilesExportRun;

class MbtilesExportForm final : public QDialog {
    Q_OBJECT
public:
    // `blankFolder` holds the blank images, as the program's blankimg/ does.
    MbtilesExportForm(Desktop& desktop, std::string blankFolder, QWidget* parent);
    // Waits for an export under way: it is one transaction, and ends soon.
    ~MbtilesExportForm() override;

    // Escape and the close button do nothing while an export runs.
    void reject() override;

private:
    void AddProjectClick();
    void RemoveProjectClick();
    void ChooseOutputClick();
    void ExportClick();
    // Shows the run's progress, and its result once it has ended.
    void TakeReports();

    Desktop& desktop_;
    std::string blankFolder_;
    QListWidget* ProjectList;
    QLineEdit* OutputFile;
    QLineEdit* MapName;
    QCheckBox* WithBlanks;
    QPushButton* ExportButton;
    QProgressBar* ExportProgress;
    QPlainTextEdit* ResultText;
    std::unique_ptr<MbtilesExportRun> run_;
};

}  // namespace tessellon
