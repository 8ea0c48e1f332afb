#include "main_window.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "about_form.h"
#include "control/area_choice.h"
#include "control/combine_output.h"
#include "control/last_task.h"
#include "control/project_opening.h"
#include "control/source_editing.h"
#include "control/source_list.h"
#include "convert_form.h"
#include "flt_form.h"
#include "form_layout.h"
#include "handler_guard.h"
#include "log_memo.h"
#include "mbtiles_export_form.h"
#include "options_form.h"
#include "platform/files.h"
#include "select_area_form.h"
#include "sources_form.h"
#include "task/contract_texts.h"

namespace tessellon {

namespace {

constexpr int kClientWidth = 659;
constexpr int kStatusBarHeight = 19;
constexpr int kPanelHeight = 380 - kStatusBarHeight;
constexpr int kLeftPanelWidth = 345;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

void Colour(QWidget* widget, QPalette::ColorRole role, QColor colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

// Tab enters a group of choices on the one in force, the arrows move between
// them, and the next Tab leaves them.
void TabToCheckedChoice(QButtonGroup* group) {
    const auto tabToChecked = [group] {
        for (QAbstractButton* choice : group->buttons()) {
            choice->setFocusPolicy(choice->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
        }
    };
    tabToChecked();
    QObject::connect(group, &QButtonGroup::buttonToggled, group, tabToChecked);
}

// A zoom is typed as well as stepped; what is typed counts at once, so
// that Enter starts the zoom the field shows.
void TakeTypedDigits(QSpinBox* zoom) {
    zoom->findChild<QLineEdit*>()->setReadOnly(false);
    zoom->setKeyboardTracking(true);
}

}  // namespace

TForm1::TForm1(Desktop& desktop, DownloadSettings settings, std::chrono::milliseconds timerInterval)
    : desktop_(desktop), settings_(std::move(settings)), sync_(desktop, this) {
    setObjectName("Form1");
    setFont(form::Tahoma(8));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    control_ = std::make_unique<DownloadControl>(settings_, *this, sync_);
    sourcesFileName_ = SourcesFileIn(settings_.ProgramFolder);

    // The task panel keeps its size and its controls their places; the log
    // beside it takes every pixel the window grows by.
    auto* central = new QWidget(this);
    central->setMinimumSize(kClientWidth, kPanelHeight);
    setCentralWidget(central);
    // Under both, once a run has ended, the row of next steps.
    auto* rows = new QVBoxLayout(central);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    auto* columns = new QHBoxLayout;
    columns->setSpacing(0);
    rows->addLayout(columns, 1);
    BuildTaskPanel(central);
    columns->addWidget(central->findChild<QFrame*>("TaskPanel"));

    Memo1 = new LogMemo("Memo1", central);
    columns->addWidget(Memo1, 1);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setFont(form::Tahoma(10));
    Colour(Memo1, QPalette::Base, QColor(0xFF, 0xFF, 0xE1));  // the tool-tip yellow
    Colour(Memo1, QPalette::Text, QColor(0, 128, 0));
    Memo1->setToolTip("Double click to view log in notepad");
    Memo1->SetLineLimit(static_cast<int>(kLogWindowLines), kOlderLogLinesLine);
    Memo1->ReplaceLines({kLogWindowPlaceholder});

    Memo2 = new LogMemo("Memo2", central);
    Memo2->setFont(form::Tahoma(10));
    Colour(Memo2, QPalette::Text, QColor(0, 0, 255));
    Memo2->ReplaceLines(control_->Memo2());
    Memo2->hide();

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(timerInterval);

    BuildNextSteps(central);
    rows->addWidget(nextSteps_);
    BuildMenus();
    BuildStatusBar();
    ConnectHandlers();

    frmAbout_ = new TfrmAbout(desktop_, this);
    frmConvert_ = new TfrmConvert(desktop_, {Edit1, Edit3, Edit2, Edit4}, this);
    frmOptions_ = new TfrmOptions(desktop_, settings_.ConfigFileName, this);
    frmFlt_ = new TfrmFlt(desktop_, this);
    frmSources_ = new TfrmSources(desktop_, sourcesFileName_, settings_.ConfigFileName, this,
                                  CatalogueFileIn(settings_.ProgramFolder));

    const QSize smallest(kClientWidth,
                         menuBar()->sizeHint().height() + kPanelHeight + kStatusBarHeight);
    smallestHeight_ = smallest.height();
    setMinimumSize(smallest);
    resize(smallest);
}

TForm1::~TForm1() {
    Timer1->stop();
    control_->Shutdown();
}

void TForm1::BuildTaskPanel(QWidget* central) {
    QFrame* panel = form::Panel(central, {0, 0, kLeftPanelWidth, kPanelHeight}, QFrame::Sunken);
    panel->setObjectName("TaskPanel");
    panel->setFixedWidth(kLeftPanelWidth);
    panel->setMinimumHeight(kPanelHeight);

    EditTaskName = form::Edit(panel, "EditTaskName", 71, 16, 162);
    EditTaskName->setText("newtask.tsln");
    form::Label(panel, "Task name:", 7, 18, EditTaskName);
    Button4 = form::Button(panel, "Button4", "Open task ...", {242, 14, 84, 25});

    QGroupBox* types = form::GroupBox(panel, "radio_mapstype", "Maps Type", {12, 48, 317, 48});
    radio_mapstype = new QButtonGroup(this);
    // Each choice follows the one before at a fixed gap rather than on
    // column lines, so that the list filling the rest of the row shows
    // names of some length.
    constexpr int kChoiceGap = 12;
    int nextLeft = 8;
    for (const TileLayer& layer : kTileLayers) {
        auto* radio = new QRadioButton(Q(std::string(layer.WindowLabel)), types);
        radio->move(nextLeft, 20);
        radio->adjustSize();
        nextLeft = radio->geometry().right() + kChoiceGap;
        radio_mapstype->addButton(radio, layer.WindowItem);
    }
    radio_mapstype->button(kSatelliteItem)->setChecked(true);
    // The third choice: any source of the sources file.
    RadioSource = new QRadioButton("Source:", types);
    RadioSource->setObjectName("RadioSource");
    RadioSource->move(nextLeft, 20);
    RadioSource->adjustSize();
    radio_mapstype->addButton(RadioSource, kSourceItem);
    ComboSource = new QComboBox(types);
    ComboSource->setObjectName("ComboSource");
    ComboSource->setAccessibleName("Tile source");
    const int comboLeft = RadioSource->geometry().right() + 2;
    ComboSource->setGeometry(comboLeft, 17, types->width() - 6 - comboLeft, form::kEditHeight);
    ComboSource->view()->setMinimumWidth(160);
    TabToCheckedChoice(radio_mapstype);

    QGroupBox* area = form::GroupBox(panel, nullptr, QString(), {12, 104, 318, 114});
    Edit1 = form::Edit(area, "Edit1", 79, 16, 69);
    QLabel* left = form::Label(area, "Left Longitude:", 6, 19, Edit1);
    Edit3 = form::Edit(area, "Edit3", 235, 16, 67);
    QLabel* right = form::Label(area, "Right Longitude:", 154, 19, Edit3);
    Edit2 = form::Edit(area, "Edit2", 79, 45, 69);
    QLabel* top = form::Label(area, "Top Latitude:", 6, 48, Edit2);
    Edit4 = form::Edit(area, "Edit4", 235, 45, 67);
    QLabel* bottom = form::Label(area, "Bottom Latitude:", 154, 48, Edit4);
    rectangleControls_ = {Edit1, left, Edit3, right, Edit2, top, Edit4, bottom};
    UpDown1 = form::UpDownEdit(area, "Edit5", "UpDown1", 79, 74, 65, kMinZoom, kMaxZoom, 13);
    form::Label(area, "Zoom level:", 6, 77, UpDown1);
    // Right of the zoom's arrows, never over them.
    const int selectLeft = UpDown1->geometry().right() + 1 + 4;
    ButtonSelectOnMap = form::Button(area, "ButtonSelectOnMap", "Se&lect on map...",
                                     {selectLeft, 72, 302 - selectLeft, 25});
    ButtonSelectOnMap->setAccessibleName("Select on map");

    QGroupBox* folder = form::GroupBox(panel, nullptr, QString(), {12, 220, 318, 61});
    Edit6 = form::Edit(folder, "Edit6", 79, 19, 194);
    form::Label(folder, "Path to save:", 6, 22, Edit6);
    Button1 = form::Button(folder, "Button1", "...", {276, 17, 38, 25});
    Button1->setToolTip("Click to select path");
    Button1->setAccessibleName("Select path to save");

    BuildAreaChoice(panel, area);

    LabelTotalxy = new QLabel(panel);
    LabelTotalxy->setObjectName("LabelTotalxy");
    LabelTotalxy->setGeometry(8, 321, 203, 13);

    BitBtn1 = form::Button(panel, "BitBtn1", Q(control_->ButtonCaption()), {235, 315, 78, 33});
    BitBtn1->setFont(form::Tahoma(10, true));
    BitBtn1->setDefault(true);
}

void TForm1::BuildAreaChoice(QWidget* panel, QWidget* area) {
    // In the area box, in place of the four fields.
    EditAreaFile = form::Edit(area, "EditAreaFile", 79, 16, 192);
    EditAreaFile->setPlaceholderText("GeoJSON, KML, KMZ, GPX, GeoPackage, Shapefile");
    QLabel* file = form::Label(area, "Area file:", 6, 19, EditAreaFile);
    ButtonAreaFile = form::Button(area, "ButtonAreaFile", "...", {274, 14, 28, 25});
    ButtonAreaFile->setToolTip("Click to select the area file");
    ButtonAreaFile->setAccessibleName("Select area file");
    EditBuffer = form::Edit(area, "EditBuffer", 79, 45, 69);
    EditBuffer->setAccessibleName("Buffer");
    QLabel* buffer = form::Label(area, "Buffer:", 6, 48, EditBuffer);
    QLabel* example = form::Label(area, "e.g. 2km or 500m", 154, 48);
    example->setEnabled(false);
    shapeControls_ = {EditAreaFile, file, ButtonAreaFile, EditBuffer, buffer, example};
    // Tab reaches them where the four fields are.
    setTabOrder(Edit4, EditAreaFile);
    setTabOrder(EditAreaFile, ButtonAreaFile);
    setTabOrder(ButtonAreaFile, EditBuffer);

    // Under the save folder: which area, and the highest zoom.
    constexpr int kRow = 288;
    form::Label(panel, "Area:", 14, kRow + 3);
    areaChoice_ = new QButtonGroup(this);
    RadioRectangle = new QRadioButton("Rectangle", panel);
    RadioRectangle->setObjectName("RadioRectangle");
    RadioRectangle->move(48, kRow + 1);
    RadioRectangle->adjustSize();
    RadioShape = new QRadioButton("Shape", panel);
    RadioShape->setObjectName("RadioShape");
    RadioShape->move(RadioRectangle->geometry().right() + 8, kRow + 1);
    RadioShape->adjustSize();
    areaChoice_->addButton(RadioRectangle);
    areaChoice_->addButton(RadioShape);
    RadioRectangle->setChecked(true);
    TabToCheckedChoice(areaChoice_);
    ZoomTo = form::UpDownEdit(panel, "EditZoomTo", "ZoomTo", 268 - form::kUpDownWidth, kRow, 45,
                              kMinZoom, kMaxZoom, UpDown1->value());
    for (QSpinBox* zoom : {UpDown1, ZoomTo}) {
        TakeTypedDigits(zoom);
    }
    ZoomTo->setAccessibleName("Highest zoom level");
    ZoomTo->setToolTip("The highest zoom of the task; the same as the zoom level for one zoom");
    form::Label(panel, "to zoom:", 196, kRow + 3, ZoomTo);
    zoomFrom_ = UpDown1->value();
    ShowAreaChoice();
}

void TForm1::ShowAreaChoice() {
    const bool shaped = RadioShape->isChecked();
    for (QWidget* control : rectangleControls_) {
        control->setVisible(!shaped);
    }
    for (QWidget* control : shapeControls_) {
        control->setVisible(shaped);
    }
}

void TForm1::BuildNextSteps(QWidget* central) {
    nextSteps_ = new QWidget(central);
    nextSteps_->setObjectName("NextSteps");
    nextSteps_->setAccessibleName("Next steps");
    auto* row = new QHBoxLayout(nextSteps_);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(2);
    struct Named {
        NextStep Step;
        const char* Name;
    };
    for (const Named named :
         {Named{NextStep::OpenFolder, "ButtonOpenFolder"}, Named{NextStep::View, "ButtonView"},
          Named{NextStep::Combine, "ButtonCombine"}, Named{NextStep::Export, "ButtonExport"},
          Named{NextStep::RetryFailed, "ButtonRetryFailed"}}) {
        auto* button = new QPushButton(NextStepCaption(named.Step), nextSteps_);
        button->setObjectName(named.Name);
        button->setAutoDefault(false);
        row->addWidget(button);
        stepButtons_.emplace_back(named.Step, button);
        connect(button, &QPushButton::clicked, this, [this, step = named.Step] {
            RunHandler(desktop_, this, [this, step] { TakeStep(step); });
        });
    }
    row->addStretch(1);
    nextSteps_->hide();
}

void TForm1::ShowNextSteps(const std::vector<NextStep>& steps) {
    for (const auto& [step, button] : stepButtons_) {
        button->setVisible(std::find(steps.begin(), steps.end(), step) != steps.end());
    }
    nextSteps_->setVisible(!steps.empty());
    // The row adds to the smallest height, never takes from the panel.
    const int row = steps.empty() ? 0 : nextSteps_->sizeHint().height();
    setMinimumHeight(smallestHeight_ + row);
    if (height() < minimumHeight()) {
        resize(width(), minimumHeight());
    }
}

void TForm1::TakeStep(NextStep step) {
    switch (step) {
        case NextStep::OpenFolder:
            if (const auto project = CurrentProject()) {
                desktop_.Open(QUrl::fromLocalFile(QFileInfo(Q(*project)).absolutePath()));
            }
            return;
        case NextStep::View:
            Mapviewer1Click();
            return;
        case NextStep::Combine:
            CombineImages1Click();
            return;
        case NextStep::Export:
            ExportMbtiles1Click();
            return;
        case NextStep::RetryFailed:
            control_->RetryFailedTiles();
            return;
    }
}

std::optional<std::string> TForm1::CurrentProject() const {
    if (const MDTask* task = control_->CurrentTask()) {
        return task->ProjectFileName();
    }
    const TaskFields fields = Fields();
    if (fields.SavePath.empty() || fields.TaskName.empty()) {
        return std::nullopt;
    }
    const QString project = QDir(Q(fields.SavePath)).filePath(Q(fields.TaskName));
    if (!QFileInfo(project).isFile()) {
        return std::nullopt;
    }
    return project.toStdString();
}

void TForm1::RememberFields() const {
    try {
        RememberTask(Configuration(settings_.ConfigFileName), Fields(), RadioShape->isChecked());
    } catch (const std::exception&) {
        // Only a convenience for the next start: a configuration that cannot
        // be written must not stand between the user and a download.
    }
}

void TForm1::RecallFields() {
    const auto task = RecallTask(Configuration(settings_.ConfigFileName));
    if (!task) {
        return;
    }
    TaskFields fields = task->Fields;
    if (fields.SavePath.empty()) {
        fields.SavePath = fields_.DefaultPath;
    }
    if (!task->Shape) {
        fields.AreaFile.clear();
    }
    SetFields(fields);
    // The source by its name, as the sources file lists it now.
    if (fields.MapsTypeItem == kSourceItem) {
        const auto named = std::find_if(sources_.begin(), sources_.end(), [&](const TileSource& s) {
            return s.Name() == task->SourceName;
        });
        if (named != sources_.end()) {
            ComboSource->setCurrentIndex(static_cast<int>(named - sources_.begin()));
            RadioSource->setChecked(true);
        } else {
            radio_mapstype->button(kSatelliteItem)->setChecked(true);
        }
    }
}

void TForm1::BuildMenus() {
    struct Item {
        const char* name;
        const char* caption;  // nullptr: a separator line
        void (TForm1::*handler)();
    };
    struct Menu {
        const char* name;
        const char* caption;
        std::vector<Item> items;
    };
    const std::vector<Menu> menus{
        {"File1",
         "&File",
         {{"RefreshTask1", "Refresh task...", &TForm1::RefreshTask1Click},
          {nullptr, nullptr, nullptr},
          {"Exit1", "E&xit", &TForm1::Exit1Click}}},
        {"Options1", "&Options", {{"Options2", "Options...", &TForm1::Options2Click}}},
        {"Misc1",
         "&Misc",
         {{"ConvertLongitudeorLatitudetodegreen1", kConvertMenuCaption,
           &TForm1::ConvertLongitudeorLatitudetodegreen1Click},
          {nullptr, nullptr, nullptr},
          {"Viewlogfile1", "View log file", &TForm1::Viewlogfile1Click}}},
        {"Tools1",
         "&Tools",
         {{"SelectOnMap1", "Select on map...", &TForm1::SelectOnMap1Click},
          {"Mapviewer1", "Map Viewer", &TForm1::Mapviewer1Click},
          {nullptr, nullptr, nullptr},
          {"CombineImages1", "Map Combiner", &TForm1::CombineImages1Click},
          {"ExportMbtiles1", "Export tiles...", &TForm1::ExportMbtiles1Click},
          {nullptr, nullptr, nullptr},
          {"ReDownloadfailedfiles1", "Re-Download failed images",
           &TForm1::ReDownloadfailedfiles1Click},
          {nullptr, nullptr, nullptr},
          {"TileSources1", "Tile sources...", &TForm1::TileSources1Click}}},
        {"Help1",
         "&Help",
         {{"Usermanual1", "User manual", &TForm1::Usermanual1Click},
          {"Homepage1", "Homepage", &TForm1::Homepage1Click},
          {nullptr, nullptr, nullptr},
          {"About1", "About...", &TForm1::About1Click}}},
    };
    menuBar()->setObjectName("MainMenu1");
    for (const Menu& menu : menus) {
        QMenu* popup = menuBar()->addMenu(menu.caption);
        popup->setObjectName(menu.name);
        for (const Item& item : menu.items) {
            if (item.caption == nullptr) {
                popup->addSeparator();
                continue;
            }
            QAction* action = popup->addAction(item.caption);
            action->setObjectName(item.name);
            ConnectHandler(desktop_, action, &QAction::triggered, this, item.handler);
        }
    }
    RefreshTask1 = menuBar()->findChild<QAction*>("RefreshTask1");
}

void TForm1::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName("StatusBar1");
    bar->setSizeGripEnabled(false);
    bar->setFixedHeight(kStatusBarHeight);
    auto* panel = new QLabel("Download images from web maps!", bar);
    panel->setObjectName("StatusPanel");
    bar->addWidget(panel, 1);
    progress_ = new QProgressBar(bar);
    progress_->setObjectName("ProgressBar");
    progress_->setAccessibleName("Download progress");
    progress_->setFixedWidth(260);
    progress_->setMaximumHeight(kStatusBarHeight - 4);
    bar->addPermanentWidget(progress_);
    progress_->hide();
}

void TForm1::ConnectHandlers() {
    ConnectHandler(desktop_, BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
    // Start and Stop both begin with S; the caption stays as the control
    // words it.
    auto* altS = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_S), this);
    connect(altS, &QShortcut::activated, BitBtn1, &QPushButton::click);
    ConnectHandler(desktop_, Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    ConnectHandler(desktop_, ButtonSelectOnMap, &QPushButton::clicked, this,
                   &TForm1::SelectOnMap1Click);
    ConnectHandler(desktop_, ButtonAreaFile, &QPushButton::clicked, this,
                   &TForm1::ButtonAreaFileClick);
    connect(RadioShape, &QRadioButton::toggled, this, &TForm1::ShowAreaChoice);
    // A task of one zoom stays one as the zoom level moves.
    connect(UpDown1, &QSpinBox::valueChanged, this, [this](int zoom) {
        ZoomTo->setValue(ZoomToAfter(zoomFrom_, zoom, ZoomTo->value()));
        zoomFrom_ = zoom;
    });
    ConnectHandler(desktop_, Button4, &QPushButton::clicked, this,
                   &TForm1::LoadParametersfromprojectfilel1Click);
    ConnectHandler(desktop_, Memo1, &LogMemo::doubleClicked, this, &TForm1::Viewlogfile1Click);
    ConnectHandler(desktop_, Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    // Picking a source from the list means downloading from it.
    connect(ComboSource, &QComboBox::activated, RadioSource,
            [this] { RadioSource->setChecked(true); });
}

TaskFields TForm1::Fields() const {
    TaskFields fields;
    fields.TaskName = EditTaskName->text().toStdString();
    fields.MapsTypeItem = radio_mapstype->checkedId();
    fields.LeftLongitude = Edit1->text().toStdString();
    fields.RightLongitude = Edit3->text().toStdString();
    fields.TopLatitude = Edit2->text().toStdString();
    fields.BottomLatitude = Edit4->text().toStdString();
    fields.Zoom = std::to_string(UpDown1->value());
    fields.ZoomTo = ZoomToText(UpDown1->value(), ZoomTo->value());
    if (RadioShape->isChecked()) {
        fields.AreaFile = EditAreaFile->text().toStdString();
        fields.Buffer = EditBuffer->text().toStdString();
    }
    fields.SavePath = Edit6->text().toStdString();
    if (RadioSource->isChecked()) {
        fields.Source = ChosenSource();
    }
    return fields;
}

void TForm1::SetFields(const TaskFields& fields) {
    EditTaskName->setText(Q(fields.TaskName));
    taskSource_ = fields.Source;
    RefreshSources(taskSource_ ? taskSource_ : ChosenSource());
    if (taskSource_) {
        RadioSource->setChecked(true);
    } else {
        radio_mapstype->button(fields.MapsTypeItem)->setChecked(true);
    }
    Edit1->setText(Q(fields.LeftLongitude));
    Edit3->setText(Q(fields.RightLongitude));
    Edit2->setText(Q(fields.TopLatitude));
    Edit4->setText(Q(fields.BottomLatitude));
    UpDown1->setValue(std::stoi(fields.Zoom));
    ZoomTo->setValue(fields.ZoomTo.empty() ? UpDown1->value() : std::stoi(fields.ZoomTo));
    EditAreaFile->setText(Q(fields.AreaFile));
    EditBuffer->setText(Q(fields.Buffer));
    (fields.AreaFile.empty() ? RadioRectangle : RadioShape)->setChecked(true);
    Edit6->setText(Q(fields.SavePath));
}

SourceChoices TForm1::RefreshSources(const std::optional<TileSource>& choose) {
    const SourceChoices choices =
        ListSourceChoices(ReadSources(sourcesFileName_, settings_.ConfigFileName,
                                      CatalogueFileIn(settings_.ProgramFolder)),
                          taskSource_, choose);
    sources_.clear();
    ComboSource->clear();
    for (const SourceEntry& entry : choices.Entries) {
        ComboSource->addItem(Q(entry.Label));
        // The list is narrow: each entry tells its whole source on hovering.
        ComboSource->setItemData(ComboSource->count() - 1, Q(entry.Description), Qt::ToolTipRole);
        sources_.push_back(entry.Source);
    }
    if (!choices.Offered()) {
        ComboSource->addItem(kNoSourcesEntry);
    }
    radio_mapstype->button(MapsTypeItemAfter(choices, radio_mapstype->checkedId()))
        ->setChecked(true);
    RadioSource->setEnabled(choices.Offered());
    ComboSource->setEnabled(choices.Offered());
    ComboSource->setToolTip(Q(choices.Refused));
    ComboSource->setCurrentIndex(static_cast<int>(choices.Chosen));
    return choices;
}

std::optional<TileSource> TForm1::ChosenSource() const {
    const int current = ComboSource->currentIndex();
    if (current < 0 || current >= static_cast<int>(sources_.size())) {
        return std::nullopt;
    }
    return sources_[static_cast<std::size_t>(current)];
}

void TForm1::UpdateProgress() {
    const DownloadProgress progress = control_->Progress();
    if (progress.Total == 0) {
        return;
    }
    // The control refuses tasks beyond the range of int.
    progress_->setRange(0, static_cast<int>(progress.Total));
    progress_->setValue(static_cast<int>(progress.Done));
    progress_->setFormat(QString("%1 of %2 tiles, %3 failed")
                             .arg(progress.Done)
                             .arg(progress.Total)
                             .arg(progress.Failed));
    progress_->show();
}

void TForm1::ShowMessage(const std::string& text) {
    desktop_.ShowMessage(this, Q(text));
}

bool TForm1::Confirm(StartQuestion, const std::string& text) {
    return desktop_.Confirm(this, Q(text));
}

bool TForm1::OfferRetryFailed(const std::string& text) {
    return desktop_.OfferChoice(this, Q(text), kRetryFailedChoice);
}

// The box's buttons are OK and the steps; the row under the log keeps them
// offered after the box is gone. The retry is the control's to start.
std::optional<NextStep> TForm1::OfferNextSteps(const RunEnding& ending) {
    ShowNextSteps(ending.Steps);
    QStringList choices{"OK"};
    for (const NextStep step : ending.Steps) {
        choices << NextStepCaption(step);
    }
    const int chosen = desktop_.AskChoice(this, Q(WindowClosingText(ending)), choices, 0);
    if (chosen < 1) {
        return std::nullopt;
    }
    const NextStep step = ending.Steps[static_cast<std::size_t>(chosen - 1)];
    if (step == NextStep::RetryFailed) {
        return step;
    }
    TakeStep(step);
    return std::nullopt;
}

void TForm1::LogReplaced(const std::vector<std::string>& lines) {
    Memo1->ReplaceLines(lines);
}

void TForm1::LogLineAdded(const std::string& line) {
    Memo1->AddLine(line);
    UpdateProgress();
}

void TForm1::FailedReplaced(const std::vector<std::string>& lines) {
    Memo2->ReplaceLines(lines);
}

void TForm1::FailedLineAdded(const std::string& line) {
    Memo2->AddLine(line);
    UpdateProgress();
}

void TForm1::StateChanged() {
    BitBtn1->setText(Q(control_->ButtonCaption()));
    BitBtn1->setDefault(!control_->Running());
    RefreshTask1->setEnabled(!control_->Running());
    LabelTotalxy->setText(Q(control_->TotalLabel()));
    if (control_->TimerEnabled()) {
        Timer1->start();
    } else {
        Timer1->stop();
    }
    UpdateProgress();
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        form::PlaceOnOwnersScreen(this);
        RunHandler(desktop_, this, [this] { FormShow(); });
    }
}

// Closing during a download stops the workers, waits for them and saves
// positions, log and failed-tile list once more.
void TForm1::CloseAsAsked() {
    closeAsked_ = true;
    close();
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (control_->Running() && !closeAsked_ &&
        desktop_.AskChoice(this, kCloseWhileRunningQuestion,
                           {kStopAndCloseChoice, kKeepDownloadingChoice}, 1) != 0) {
        event->ignore();
        return;
    }
    RememberFields();
    Timer1->stop();
    RunHandler(desktop_, this, [this] { control_->Shutdown(); });
    frmConvert_->close();
    if (frmSelectArea_ != nullptr) {
        frmSelectArea_->close();
    }
    event->accept();
}

// Enter presses the focused button, else the default button. While a
// download runs, the button is Stop, which an Enter meant for a field must
// never press: it takes only a click, Space or Alt+S.
void TForm1::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        auto* focused = qobject_cast<QPushButton*>(focusWidget());
        if (focused == nullptr) {
            focused = BitBtn1;
        }
        if (focused != BitBtn1 || !control_->Running()) {
            focused->click();
        }
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void TForm1::FormShow() {
    fields_ = ReadMainWindowFields(settings_.ProgramFolder, settings_.ConfigFileName);
    setWindowTitle(Q(fields_.Caption));
    Edit6->setText(Q(fields_.DefaultPath));
    const SourceChoices choices = RefreshSources(ChosenSource());
    radio_mapstype
        ->button(OpeningMapsTypeItem(choices,
                                     Configuration(settings_.ConfigFileName).ReadTileService(),
                                     FileExists(sourcesFileName_)))
        ->setChecked(true);
    // The last task, when one was kept, wins over the fresh choice.
    RecallFields();
    if (!fields_.ConfigProblem.empty()) {
        ShowMessage(fields_.ConfigProblem);
    }
}

void TForm1::BitBtn1Click() {
    const TaskFields fields = Fields();
    if (!control_->Running()) {
        if (const auto refusal = CheckAreaChoice(RadioShape->isChecked(), fields)) {
            ShowMessage(*refusal);
            return;
        }
        RememberFields();
        ShowNextSteps({});
    }
    control_->BitBtn1Click(fields);
}

// A message box shown by a tick lets the timer tick again underneath it;
// that tick is skipped.
void TForm1::Timer1Timer() {
    if (inTimer_) {
        return;
    }
    inTimer_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{inTimer_};
    control_->Timer1Timer();
    UpdateProgress();
}

void TForm1::Button1Click() {
    if (const auto folder = desktop_.ChooseFolder(this, "Select path to save")) {
        Edit6->setText(*folder);
    }
}

std::optional<TaskFields> TForm1::OpenProject(const QString& title) {
    const auto file = desktop_.ChooseFile(this, title, "Projects(*.tsln)", Q(fields_.DefaultPath));
    if (!file) {
        return std::nullopt;
    }
    TaskFields fields = Fields();
    LoadProjectIntoFields(file->toStdString(), fields);
    SetFields(fields);
    return fields;
}

void TForm1::LoadParametersfromprojectfilel1Click() {
    OpenProject("Open project file:");
}

// A downloaded task is chosen by its project, which fills the fields as
// "Open task ..." does; the refresh then runs behind the Stop button, with
// its lines in the log window and its counts in the closing box.
void TForm1::RefreshTask1Click() {
    if (control_->Running()) {
        return;
    }
    if (const auto fields = OpenProject("Refresh task:")) {
        control_->StartRefresh(*fields, std::nullopt);
    }
}

void TForm1::Exit1Click() {
    close();
}

void TForm1::Options2Click() {
    frmOptions_->exec();
}

void TForm1::ConvertLongitudeorLatitudetodegreen1Click() {
    frmConvert_->show();
    frmConvert_->raise();
    frmConvert_->activateWindow();
}

void TForm1::Viewlogfile1Click() {
    const ViewLogAction action = DecideViewLog(control_->CurrentTask());
    if (action.FileToOpen.empty()) {
        ShowMessage(action.Message);
        return;
    }
    desktop_.Open(QUrl::fromLocalFile(Q(action.FileToOpen)));
}

void TForm1::SelectOnMap1Click() {
    if (frmSelectArea_ == nullptr) {
        AreaControls controls{.Left = Edit1,
                              .Top = Edit2,
                              .Right = Edit3,
                              .Bottom = Edit4,
                              .Zoom = UpDown1,
                              .ZoomTo = ZoomTo,
                              .Rectangle = RadioRectangle,
                              .Shape = RadioShape,
                              .AreaFile = EditAreaFile,
                              .Buffer = EditBuffer,
                              .ChooseAreaFile = [this] { return ChooseAreaFile(); },
                              .MapsType = radio_mapstype,
                              .Source = ComboSource,
                              .Fields = [this] { return Fields(); }};
        frmSelectArea_ =
            new SelectAreaForm(controls, settings_.ConfigFileName, settings_.Pace, this);
    }
    frmSelectArea_->Open();
}

std::optional<std::string> TForm1::ChooseAreaFile() {
    const QString folder = EditAreaFile->text().isEmpty()
                               ? Edit6->text()
                               : QFileInfo(EditAreaFile->text()).absolutePath();
    const auto file = desktop_.ChooseFile(
        this,
        "Open area file:", "Areas(*.geojson *.json *.kml *.kmz *.gpx *.gpkg *.shp);;All files(*)",
        folder);
    if (!file) {
        return std::nullopt;
    }
    return file->toStdString();
}

void TForm1::ButtonAreaFileClick() {
    if (const auto file = ChooseAreaFile()) {
        EditAreaFile->setText(Q(*file));
    }
}

void TForm1::Mapviewer1Click() {
    const auto project = CurrentProject();
    desktop_.StartProgram(Q(fields_.MapViewerProgram),
                          project ? QStringList{Q(*project)} : QStringList{});
}

void TForm1::CombineImages1Click() {
    QStringList arguments;
    for (const std::string& argument : CombinerWindowArguments(CurrentProject())) {
        arguments.push_back(Q(argument));
    }
    desktop_.StartProgram(Q(fields_.MapCombinerProgram), arguments);
}

void TForm1::ReDownloadfailedfiles1Click() {
    const MDTask* task = control_->CurrentTask();
    frmFlt_->OfferList(task != nullptr ? Q(task->FailedFileName) : QString());
    frmFlt_->exec();
}

void TForm1::ExportMbtiles1Click() {
    MbtilesExportForm form(desktop_, settings_.ProgramFolder + "blankimg/", this);
    if (const auto project = CurrentProject()) {
        form.AddProject(Q(*project));
    }
    form.exec();
}

void TForm1::TileSources1Click() {
    frmSources_->exec();
    RefreshSources(ChosenSource());
}

void TForm1::Usermanual1Click() {
    const bool present = FileExists(fields_.HelpFileName);
    if (!present || !desktop_.Open(QUrl::fromLocalFile(Q(fields_.HelpFileName)))) {
        desktop_.ShowMessage(this, Q(ManualNotOpenedText(fields_.HelpFileName, present)));
    }
}

void TForm1::Homepage1Click() {
    desktop_.Open(QUrl(Q(fields_.HomePageUrl)));
}

void TForm1::About1Click() {
    frmAbout_->SetTexts(windowTitle(), Q(fields_.HomePageUrl), Q(fields_.MailLink));
    frmAbout_->exec();
}

}  // namespace tessellon
