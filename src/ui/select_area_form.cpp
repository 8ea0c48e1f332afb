#include "select_area_form.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "control/configuration.h"
#include "control/map_area.h"
#include "control/map_view.h"
#include "map_tile_provider.h"
#include "outline_editor.h"
#include "tile_view.h"

namespace tessellon {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

SelectAreaForm::SelectAreaForm(AreaControls controls, std::string configFile, const Pacing& pace,
                               QWidget* parent)
    : QWidget(parent, Qt::Window),
      controls_(std::move(controls)),
      configFile_(std::move(configFile)),
      pace_(pace) {
    setObjectName("SelectAreaForm");
    setWindowTitle(tr("Select on map"));

    goTo_ = new QLineEdit(this);
    goTo_->setObjectName("GoTo");
    goTo_->setAccessibleName(tr("Go to"));
    goTo_->setPlaceholderText(tr("lat, lon, e.g. 39.9, 116.4 or 39 54 26 N, 116 23 29 E"));
    auto* goToLabel = new QLabel(tr("&Go to:"), this);
    goToLabel->setBuddy(goTo_);
    draw_ = new QPushButton(tr("&Draw"), this);
    draw_->setObjectName("Draw");
    draw_->setAccessibleName(tr("Draw a rectangle"));
    draw_->setToolTip(tr("Dragging on the map draws a new rectangle (or hold Shift)"));
    draw_->setCheckable(true);
    goToMessage_ = new QLabel(this);
    goToMessage_->setObjectName("GoToMessage");

    view_ = new TileView(this);
    view_->setObjectName("Map");
    view_->setAccessibleName(tr("Map"));
    view_->setMinimumSize(560, 400);
    auto* editor = new OutlineEditor(view_);

    figures_ = new QLabel(this);
    figures_->setObjectName("Figures");
    attribution_ = new QLabel(this);
    attribution_->setObjectName("Attribution");
    auto* close = new QPushButton(tr("Close"), this);
    close->setObjectName("Close");
    close->setAccessibleName(tr("Close"));

    auto* top = new QHBoxLayout;
    top->addWidget(goToLabel);
    top->addWidget(goTo_, 1);
    top->addWidget(draw_);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(attribution_);
    bottom->addStretch(1);
    bottom->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(goToMessage_);
    layout->addWidget(view_, 1);
    layout->addWidget(figures_);
    layout->addLayout(bottom);
    setTabOrder(goTo_, draw_);
    setTabOrder(draw_, view_);
    setTabOrder(view_, close);

    connect(goTo_, &QLineEdit::returnPressed, this, &SelectAreaForm::GoTo);
    connect(draw_, &QPushButton::toggled, editor, &OutlineEditor::SetDrawing);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(editor, &OutlineEditor::OutlineEdited, this, &SelectAreaForm::WriteFields);
    for (QLineEdit* edit : {controls_.Left, controls_.Top, controls_.Right, controls_.Bottom}) {
        connect(edit, &QLineEdit::textChanged, this, &SelectAreaForm::FollowFields);
    }
    connect(controls_.Zoom, &QSpinBox::valueChanged, this, [this](int zoom) {
        view_->SetOutlineGrid(zoom);
        ShowFigures();
    });
    connect(controls_.MapsType, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked) {
            FollowService();
        }
    });
    connect(controls_.Source, &QComboBox::currentIndexChanged, this,
            &SelectAreaForm::FollowService);

    view_->SetOutlineGrid(controls_.Zoom->value());
    FollowService();
    FollowFields();
}

SelectAreaForm::~SelectAreaForm() {
    // The view lets go of the provider before the provider goes.
    view_->SetProvider(nullptr);
}

void SelectAreaForm::Open() {
    if (!isVisible()) {
        show();
        FitArea();
    }
    raise();
    activateWindow();
}

void SelectAreaForm::FollowService() {
    const TaskFields fields = controls_.Fields();
    MapService service = MapService::Of(fields, Configuration(configFile_));
    const std::string attribution = service.Attribution();
    attribution_->setText(Q(attribution));
    attribution_->setVisible(!attribution.empty());
    ShowFigures();
    if (service_ == service) {
        return;
    }
    const bool first = !service_;
    auto provider = std::make_unique<MapTileProvider>(service, MapTileCacheFolder(), pace_);
    view_->SetProvider(provider.get());
    provider_ = std::move(provider);
    view_->ShowWorld(first ? kWorldZoom : view_->Zoom(), service.MinZoom(), service.MaxZoom());
    service_ = std::move(service);
}

void SelectAreaForm::FollowFields() {
    if (writing_) {
        return;
    }
    view_->SetOutline(AreaOfFields(controls_.Fields()));
    ShowFigures();
}

void SelectAreaForm::ShowFigures() {
    const std::optional<TaskEstimate> estimate = EstimateFieldsTask(controls_.Fields());
    figures_->setText(estimate ? Q(EstimateText(*estimate))
                               : tr("Hold Shift and drag on the map, or press Draw, to choose "
                                    "the area."));
}

void SelectAreaForm::WriteFields(const GeoRect& area) {
    TaskFields fields = controls_.Fields();
    WriteAreaToFields(area, fields);
    writing_ = true;
    controls_.Left->setText(Q(fields.LeftLongitude));
    controls_.Top->setText(Q(fields.TopLatitude));
    controls_.Right->setText(Q(fields.RightLongitude));
    controls_.Bottom->setText(Q(fields.BottomLatitude));
    writing_ = false;
    ShowFigures();
}

void SelectAreaForm::GoTo() {
    const std::optional<GeoPoint> point = ParseGoTo(goTo_->text().toStdString());
    if (!point) {
        goToMessage_->setText(
            tr("Type a place as \"lat, lon\": 39.9, 116.4 or 39 54 26 N, 116 23 29 E."));
        return;
    }
    goToMessage_->clear();
    view_->CentreOn(point->Longitude, point->Latitude);
}

void SelectAreaForm::FitArea() {
    const std::optional<GeoRect> area = AreaOfFields(controls_.Fields());
    if (!area) {
        return;
    }
    const MapFrame frame = FrameArea(*area, view_->width(), view_->height(), service_->MinZoom(),
                                     service_->MaxZoom(), TileView::kTileSize);
    view_->ShowWorld(frame.Zoom, service_->MinZoom(), service_->MaxZoom());
    view_->CentreOn(frame.Centre.Longitude, frame.Centre.Latitude);
}

}  // namespace tessellon
