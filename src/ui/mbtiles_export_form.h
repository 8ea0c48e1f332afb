#pragma once
// The "Export tiles" window: a list of project files, the tile container to
// write (its extension picks MBTiles, GeoPackage, PMTiles or the OsmAnd
// SQLiteDB), the map's name, whether blank tiles go in and how many zooms to
// build below the projects' least. The export runs on
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
class QSpinBox;

namespace tessellon {

struct MbtilesExportReports;
template <typename Reports>
class WindowJob;
using MbtilesExportJob = WindowJob<MbtilesExportReports>;

class MbtilesExportForm final : public QDialog {
    Q_OBJECT
public:
    // `blankFolder` holds the blank images, as the program's blankimg/ does.
    MbtilesExportForm(Desktop& desktop, std::string blankFolder, QWidget* parent);
    // Stops an export under way and waits for the batch of tiles it is on;
    // the file stays as it was.
    ~MbtilesExportForm() override;

    // Puts a project on the list, as "Add..." does.
    void AddProject(const QString& project);

    // Escape and the close button: an export under way stops as the window
    // closes.
    void reject() override;

private:
    void AddProjectClick();
    void RemoveProjectClick();
    void ChooseOutputClick();
    void ExportClick();
    // Shows the export's progress, and its result once it has ended.
    void ShowReports(const MbtilesExportReports& reports);

    Desktop& desktop_;
    std::string blankFolder_;
    QListWidget* ProjectList;
    QLineEdit* OutputFile;
    QLineEdit* MapName;
    QCheckBox* WithBlanks;
    QSpinBox* BuildLower;
    QPushButton* ExportButton;
    QProgressBar* ExportProgress;
    QPlainTextEdit* ResultText;
    std::unique_ptr<MbtilesExportJob> run_;
};

}  // namespace tessellon
