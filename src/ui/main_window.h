#pragma once
// The main window TForm1: the task fields, the Start/Stop button over the
// download control, the log window, the menus, and the four windows it
// opens. Every rule lives in the control layer; the handlers here read the
// fields, call it, and show what comes back.

#include <QMainWindow>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "control/download_control.h"
#include "control/main_window_fields.h"
#include "control/source_list.h"
#include "desktop.h"
#include "qt_synchronizer.h"

class QAction;
class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimer;

namespace tessellon {

class LogMemo;
class TfrmAbout;
class TfrmConvert;
class TfrmFlt;
class TfrmOptions;
class TfrmSources;
class SelectAreaForm;

inline constexpr std::chrono::milliseconds kTimerInterval{1000};

class TForm1 final : public QMainWindow, public DownloadFrontEnd {
    Q_OBJECT
public:
    // A real run passes ProgramFolder(), Configuration::DefaultFileName() and
    // the default pace; tests pass their own folder, pace and tick.
    TForm1(Desktop& desktop, DownloadSettings settings,
           std::chrono::milliseconds timerInterval = kTimerInterval);
    ~TForm1() override;

    // DownloadFrontEnd: the control's messages and lines.
    void ShowMessage(const std::string& text) override;
    void LogReplaced(const std::vector<std::string>& lines) override;
    void LogLineAdded(const std::string& line) override;
    void FailedReplaced(const std::vector<std::string>& lines) override;
    void FailedLineAdded(const std::string& line) override;
    void StateChanged() override;
    bool Confirm(StartQuestion question, const std::string& text) override;
    bool OfferRetryFailed(const std::string& text) override;
    std::optional<NextStep> OfferNextSteps(const RunEnding& ending) override;

    // The system asks the program to end (SIGTERM at logout or shutdown):
    // the window closes without a question, as "Stop and close" does, so a
    // download under way stops with everything saved.
    void CloseAsAsked();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildTaskPanel(QWidget* central);
    // The shape's file and buffer in the area box, and the choice of area
    // and the highest zoom under the save folder.
    void BuildAreaChoice(QWidget* panel, QWidget* area);
    // Shows the four fields or the shape's in the area box.
    void ShowAreaChoice();
    std::optional<std::string> ChooseAreaFile();
    // The row under the panel and the log that offers the next steps after
    // a run.
    void BuildNextSteps(QWidget* central);
    void ShowNextSteps(const std::vector<NextStep>& steps);
    void TakeStep(NextStep step);
    // The project of the task at hand: the latest started, else the one the
    // fields name when it exists.
    std::optional<std::string> CurrentProject() const;
    // The fields and the area choice into [LastTask] of the configuration.
    void RememberFields() const;
    // What the configuration remembers, in the fields.
    void RecallFields();
    void BuildMenus();
    void BuildStatusBar();
    void ConnectHandlers();
    TaskFields Fields() const;
    void SetFields(const TaskFields& fields);
    // The fields of a project the user chooses, shown in the window; none
    // when the chooser is cancelled.
    std::optional<TaskFields> OpenProject(const QString& title);
    void UpdateProgress();
    // Reads the sources file again into the "Source:" list and chooses the
    // entry for `choose`.
    // Returns what the list now offers.
    SourceChoices RefreshSources(const std::optional<TileSource>& choose);
    // The entry of the "Source:" list in force, if any.
    std::optional<TileSource> ChosenSource() const;

    void FormShow();
    void BitBtn1Click();
    void Timer1Timer();
    void Button1Click();
    void LoadParametersfromprojectfilel1Click();
    void RefreshTask1Click();
    void Exit1Click();
    void Options2Click();
    void ConvertLongitudeorLatitudetodegreen1Click();
    void Viewlogfile1Click();
    void SelectOnMap1Click();
    void ButtonAreaFileClick();
    void Mapviewer1Click();
    void CombineImages1Click();
    void ExportMbtiles1Click();
    void ReDownloadfailedfiles1Click();
    void TileSources1Click();
    void Usermanual1Click();
    void Homepage1Click();
    void About1Click();

    Desktop& desktop_;
    DownloadSettings settings_;
    MainWindowFields fields_;
    bool shown_ = false;
    // The window's least height without the row of next steps.
    int smallestHeight_ = 0;
    bool inTimer_ = false;
    bool closeAsked_ = false;

    QLineEdit* EditTaskName;
    QPushButton* Button4;
    QButtonGroup* radio_mapstype;
    QRadioButton* RadioSource;
    QComboBox* ComboSource;
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QLineEdit* Edit3;
    QLineEdit* Edit4;
    QSpinBox* UpDown1;
    // The controls of the four fields, shown while the area is a rectangle.
    std::vector<QWidget*> rectangleControls_;
    // The area file's and the buffer's, shown while it is a shape.
    std::vector<QWidget*> shapeControls_;
    QLineEdit* EditAreaFile;
    QPushButton* ButtonAreaFile;
    QLineEdit* EditBuffer;
    QButtonGroup* areaChoice_;
    QRadioButton* RadioRectangle;
    QRadioButton* RadioShape;
    QSpinBox* ZoomTo;
    // The lowest zoom the highest last followed.
    int zoomFrom_ = 0;
    QPushButton* ButtonSelectOnMap;
    QLineEdit* Edit6;
    QPushButton* Button1;
    QLabel* LabelTotalxy;
    QPushButton* BitBtn1;
    LogMemo* Memo1;
    // The next steps' row and its buttons, one per NextStep.
    QWidget* nextSteps_;
    std::vector<std::pair<NextStep, QPushButton*>> stepButtons_;
    LogMemo* Memo2;
    QProgressBar* progress_;
    QTimer* Timer1;
    // File > Refresh task..., which a running task disables.
    QAction* RefreshTask1 = nullptr;

    TfrmAbout* frmAbout_;
    TfrmConvert* frmConvert_;
    TfrmOptions* frmOptions_;
    TfrmFlt* frmFlt_;
    TfrmSources* frmSources_;
    // Made when first opened: it starts the threads that fetch map tiles.
    SelectAreaForm* frmSelectArea_ = nullptr;

    std::string sourcesFileName_;
    // The entries of ComboSource, in its order.
    std::vector<TileSource> sources_;
    // The source of the task opened last, whatever the sources file says.
    std::optional<TileSource> taskSource_;

    // Declared last: the workers call through the synchroniser until the
    // control has stopped them.
    QtSynchronizer sync_;
    std::unique_ptr<DownloadControl> control_;
};

}  // namespace tessellon
