#pragma once
// The "Tile sources" window: the sources of the sources file, the sections
// it refused with the reasons, and Add, Edit, Remove, Test and From service. A test
// fetches one tile off the window's thread and shows it with its time and
// size, or what went wrong.

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "control/source_check.h"
#include "control/source_editing.h"
#include "desktop.h"
#include "task/tile_source.h"

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace tessellon {

class TfrmSourceEdit;
struct SourceTestReports;
template <typename Reports>
class WindowJob;
using SourceTestJob = WindowJob<SourceTestReports>;

class TfrmSources final : public QDialog {
    Q_OBJECT
public:
    // `catalogueFileName`: the catalogue listed after the user's sources;
    // empty for none.
    TfrmSources(Desktop& desktop, std::string sourcesFileName, std::string configFileName,
                QWidget* parent, std::string catalogueFileName = "");
    // Waits for a test still under way.
    ~TfrmSources() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void ReadList();
    void ButtonAddClick();
    void ButtonEditClick();
    void ButtonRemoveClick();
    void ButtonTestClick();
    void ButtonImportClick();
    void ShowCheck(const SourceCheck& check, const TileSource& source);
    // The source chosen in the list, or nullptr.
    const TileSource* Chosen() const;
    const ListedSource* ChosenEntry() const;
    bool EditSource(const QString& caption, const std::string& oldName, const SourceKeys& keys);

    Desktop& desktop_;
    std::string sourcesFileName_;
    std::string configFileName_;
    std::string catalogueFileName_;
    std::vector<ListedSource> sources_;

    QListWidget* ListSources;
    QPlainTextEdit* MemoRefused;
    QPushButton* ButtonTest;
    QLabel* ImageTile;
    QLabel* LabelTest;
    TfrmSourceEdit* frmSourceEdit_;

    std::unique_ptr<SourceTestJob> test_;
};

}  // namespace tessellon
