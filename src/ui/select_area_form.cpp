#include "select_area_form.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
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
#include "form_layout.h"
#include "map_tile_provider.h"
#include "outline_editor.h"
#include "shape_layer.h"
#include "tile_view.h"

namespace tessellon {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// Screen readers meet the window as a dialog with its title for a name,
// as they do the program's other windows, not as a plain pane.
QAccessibleInterface* AccessibleAsDialog(const QString& className, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr || className != SelectAreaForm::staticMetaObject.className()) {
        return nullptr;
    }
    return new QAccessibleWidget(widget, QAccessible::Dialog);
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
    static const bool accessible = [] {
        QAccessible::installFactory(AccessibleAsDialog);
        return true;
    }();
    (void)accessible;

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
    drawPolygon_ = new QPushButton(tr("Draw &polygon"), this);
    drawPolygon_->setObjectName("DrawPolygon");
    drawPolygon_->setAccessibleName(tr("Draw a polygon"));
    drawPolygon_->setToolTip(
        tr("Click the corners on the map; a double-click or Enter closes "
           "the polygon, Backspace takes a corner back, Esc drops it"));
    drawPolygon_->setCheckable(true);
    import_ = new QPushButton(tr("&Import..."), this);
    import_->setObjectName("Import");
    import_->setAccessibleName(tr("Import an area file"));
    import_->setToolTip(tr("GeoJSON, KML, KMZ, GPX, GeoPackage or Shapefile"));
    message_ = new QLabel(this);
    message_->setObjectName("GoToMessage");

    view_ = new TileView(this);
    view_->setObjectName("Map");
    view_->setAccessibleName(tr("Map"));
    view_->setMinimumSize(560, 400);
    auto* editor = new OutlineEditor(view_);
    layer_ = new ShapeLayer(view_);

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
    top->addWidget(drawPolygon_);
    top->addWidget(import_);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(attribution_);
    bottom->addStretch(1);
    bottom->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(message_);
    layout->addWidget(view_, 1);
    layout->addWidget(figures_);
    layout->addLayout(bottom);
    setTabOrder(goTo_, draw_);
    setTabOrder(draw_, drawPolygon_);
    setTabOrder(drawPolygon_, import_);
    setTabOrder(import_, view_);
    setTabOrder(view_, close);

    connect(goTo_, &QLineEdit::returnPressed, this, &SelectAreaForm::GoTo);
    connect(draw_, &QPushButton::toggled, editor, &OutlineEditor::SetDrawing);
    // One way of drawing at a time.
    connect(draw_, &QPushButton::toggled, this, [this](bool on) {
        if (on) {
            drawPolygon_->setChecked(false);
        }
    });
    connect(drawPolygon_, &QPushButton::toggled, this, [this](bool on) {
        if (on) {
            draw_->setChecked(false);
            message_->setText(
                tr("Click the corners of the area; double-click or press Enter to "
                   "close it."));
        }
        layer_->SetDrawing(on);
    });
    connect(layer_, &ShapeLayer::PolygonDrawn, this, &SelectAreaForm::TakePolygon);
    connect(layer_, &ShapeLayer::DrawingDropped, this, [this] {
        drawPolygon_->setChecked(false);
        message_->clear();
    });
    connect(import_, &QPushButton::clicked, this, &SelectAreaForm::ImportArea);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(editor, &OutlineEditor::OutlineEdited, this, &SelectAreaForm::WriteFields);
    for (QLineEdit* edit : {controls_.Left, controls_.Top, controls_.Right, controls_.Bottom}) {
        connect(edit, &QLineEdit::textChanged, this, &SelectAreaForm::FollowFields);
    }
    for (QLineEdit* edit : {controls_.AreaFile, controls_.Buffer}) {
        connect(edit, &QLineEdit::textChanged, this, &SelectAreaForm::FollowFields);
    }
    connect(controls_.Shape, &QAbstractButton::toggled, this, &SelectAreaForm::FollowFields);
    connect(controls_.Zoom, &QSpinBox::valueChanged, this, [this](int zoom) {
        view_->SetOutlineGrid(zoom);
        FollowFields();
    });
    connect(controls_.ZoomTo, &QSpinBox::valueChanged, this, [this] { ShowFigures(); });
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
        form::PlaceOnOwnersScreen(this);
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

std::optional<ShownArea> SelectAreaForm::Shown(std::string& problem) const {
    const TaskFields fields = controls_.Fields();
    // A shape chosen without its file shows nothing rather than the
    // rectangle the start would not take.
    if (std::optional<std::string> refusal =
            CheckAreaChoice(controls_.Shape->isChecked(), fields)) {
        problem = std::move(*refusal);
        return std::nullopt;
    }
    return ShowFieldsArea(fields, controls_.Zoom->value(), problem);
}

void SelectAreaForm::FollowFields() {
    if (writing_) {
        return;
    }
    std::string problem;
    std::optional<ShownArea> shown = Shown(problem);
    if (shown && shown->Shape) {
        view_->SetOutline(std::nullopt);
        layer_->SetShape(std::move(shown->Shape));
        layer_->SetTiles(std::move(shown->Tiles));
    } else {
        view_->SetOutline(controls_.Shape->isChecked() ? std::nullopt
                                                       : AreaOfFields(controls_.Fields()));
        layer_->SetShape(std::nullopt);
        layer_->SetTiles({});
    }
    ShowFigures(problem);
}

void SelectAreaForm::ShowFigures(const std::string& problem) {
    const TaskFields fields = controls_.Fields();
    const std::optional<TaskEstimate> estimate = EstimateFieldsTask(fields);
    if (estimate && !CheckAreaChoice(controls_.Shape->isChecked(), fields)) {
        figures_->setText(Q(EstimateText(*estimate)));
    } else if (!problem.empty()) {
        figures_->setText(Q(problem));
    } else {
        figures_->setText(
            tr("Hold Shift and drag on the map, or press Draw, to choose the area; "
               "Draw polygon or Import for a shape."));
    }
}

void SelectAreaForm::WriteFields(const GeoRect& area) {
    TaskFields fields = controls_.Fields();
    WriteAreaToFields(area, fields);
    writing_ = true;
    controls_.Left->setText(Q(fields.LeftLongitude));
    controls_.Top->setText(Q(fields.TopLatitude));
    controls_.Right->setText(Q(fields.RightLongitude));
    controls_.Bottom->setText(Q(fields.BottomLatitude));
    // A rectangle drawn on the map is the area from now on.
    controls_.Rectangle->setChecked(true);
    writing_ = false;
    layer_->SetShape(std::nullopt);
    layer_->SetTiles({});
    ShowFigures();
}

void SelectAreaForm::TakePolygon(const std::vector<GeoPoint>& corners) {
    drawPolygon_->setChecked(false);
    const std::string path = DrawnAreaFileName(controls_.Fields());
    if (const std::optional<std::string> refusal = WriteDrawnArea(corners, path)) {
        message_->setText(Q(*refusal));
        return;
    }
    message_->clear();
    UseAreaFile(path);
}

void SelectAreaForm::ImportArea() {
    if (const std::optional<std::string> path = controls_.ChooseAreaFile()) {
        UseAreaFile(*path);
        FitArea();
    }
}

void SelectAreaForm::UseAreaFile(const std::string& path) {
    writing_ = true;
    controls_.AreaFile->setText(Q(path));
    controls_.Shape->setChecked(true);
    writing_ = false;
    FollowFields();
}

void SelectAreaForm::GoTo() {
    const std::optional<GeoPoint> point = ParseGoTo(goTo_->text().toStdString());
    if (!point) {
        message_->setText(
            tr("Type a place as \"lat, lon\": 39.9, 116.4 or 39 54 26 N, 116 23 29 E."));
        return;
    }
    message_->clear();
    view_->ShowWorld(GoToZoom(view_->Zoom(), service_->MinZoom(), service_->MaxZoom()),
                     service_->MinZoom(), service_->MaxZoom());
    view_->CentreOn(point->Longitude, point->Latitude);
}

void SelectAreaForm::FitArea() {
    std::string problem;
    const std::optional<ShownArea> area = Shown(problem);
    if (!area) {
        return;
    }
    const MapFrame frame = FrameArea(area->Bounds, view_->width(), view_->height(),
                                     service_->MinZoom(), service_->MaxZoom(), TileView::kTileSize);
    view_->ShowWorld(frame.Zoom, service_->MinZoom(), service_->MaxZoom());
    view_->CentreOn(frame.Centre.Longitude, frame.Centre.Latitude);
}

}  // namespace tessellon
