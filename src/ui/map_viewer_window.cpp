#include "map_viewer_window.h"

#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QStatusBar>
#include <exception>
#include <utility>

#include "desktop.h"
#include "form_layout.h"
#include "output/formats.h"
#include "platform/files.h"
#include "tile_set_provider.h"
#include "tile_view.h"

namespace tessellon {

namespace {

// A swatch and a name for each mark a tile without an image gets.
QWidget* MakeLegend(QWidget* parent) {
    auto* legend = new QWidget(parent);
    legend->setObjectName("legend");
    auto* layout = new QHBoxLayout(legend);
    layout->setContentsMargins(0, 0, 0, 0);
    for (TileLook look : {TileLook::Loading, TileLook::Blank, TileLook::Missing, TileLook::Failed,
                          TileLook::Unreadable}) {
        QPixmap swatch(12, 12);
        swatch.fill(LookColour(look));
        // Framed, so the pale ones stand out from the bar.
        QPainter frame(&swatch);
        frame.setPen(QColor(96, 96, 96));
        frame.drawRect(0, 0, 11, 11);
        frame.end();
        auto* box = new QLabel(legend);
        box->setPixmap(swatch);
        layout->addWidget(box);
        layout->addWidget(new QLabel(LookName(look), legend));
        layout->addSpacing(6);
    }
    return legend;
}

}  // namespace

MapViewerWindow::MapViewerWindow(Desktop& desktop, std::string blankFolder, QWidget* parent)
    : QMainWindow(parent),
      desktop_(desktop),
      blankFolder_(std::move(blankFolder)),
      lastFolder_(QDir::homePath()),
      view_(new TileView(this)),
      pointer_(new QLabel(this)),
      scale_(new QLabel(this)) {
    setWindowTitle(tr("Map Viewer"));
    view_->setObjectName("tileView");
    view_->setAccessibleName(tr("Map"));
    setCentralWidget(view_);
    pointer_->setObjectName("pointerLabel");
    scale_->setObjectName("scaleLabel");
    statusBar()->addWidget(pointer_, 1);
    statusBar()->addPermanentWidget(MakeLegend(this));
    statusBar()->addPermanentWidget(scale_);
    BuildMenus();
    connect(view_, &TileView::PointerAt, this, &MapViewerWindow::ShowPointer);
    connect(view_, &TileView::ScaleChanged, this, &MapViewerWindow::ShowScale);
    resize(1000, 700);
}

MapViewerWindow::~MapViewerWindow() {
    view_->SetProvider(nullptr);
}

void MapViewerWindow::BuildMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    QAction* open = file->addAction(tr("&Open project or tile container..."), this,
                                    &MapViewerWindow::OpenFileClick);
    open->setObjectName("openFile");
    open->setShortcut(QKeySequence::Open);
    QAction* openFolder =
        file->addAction(tr("Open &folder of tiles..."), this, &MapViewerWindow::OpenFolderClick);
    openFolder->setObjectName("openFolder");
    file->addSeparator();
    QAction* quit = file->addAction(tr("&Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);

    QMenu* view = menuBar()->addMenu(tr("&View"));
    QAction* grid = view->addAction(tr("&Grid"));
    grid->setObjectName("gridToggle");
    grid->setCheckable(true);
    grid->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    connect(grid, &QAction::toggled, view_, &TileView::SetGridShown);
    QAction* zoomIn = view->addAction(tr("Zoom &in"), view_, &TileView::ZoomIn);
    zoomIn->setObjectName("zoomIn");
    zoomIn->setShortcut(QKeySequence::ZoomIn);
    QAction* zoomOut = view->addAction(tr("Zoom &out"), view_, &TileView::ZoomOut);
    zoomOut->setObjectName("zoomOut");
    zoomOut->setShortcut(QKeySequence::ZoomOut);
    QAction* reset = view->addAction(tr("&Actual size"), view_, &TileView::ResetScale);
    reset->setObjectName("zoomReset");
    reset->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    zoomMenu_ = view->addMenu(tr("Tile &zoom"));
    zoomMenu_->setObjectName("tileZoomMenu");
    zoomMenu_->setEnabled(false);
    zoomGroup_ = new QActionGroup(this);
}

bool MapViewerWindow::Open(const QString& path) {
    std::unique_ptr<TileSet> tiles;
    try {
        tiles = OpenTileSet(path.toStdString(), blankFolder_);
    } catch (const std::exception& e) {
        desktop_.ShowMessage(this, QString::fromStdString(e.what()));
        return false;
    }
    auto provider = std::make_unique<TileSetProvider>(*tiles);
    view_->SetProvider(provider.get());
    provider_ = std::move(provider);
    tiles_ = std::move(tiles);
    // A shape is outlined itself rather than by its bounding rectangle.
    view_->SetShape(tiles_->Shape());
    view_->SetOutline(tiles_->Shape() ? std::nullopt : tiles_->TypedArea());

    zoomMenu_->clear();
    for (QAction* action : zoomGroup_->actions()) {
        zoomGroup_->removeAction(action);
    }
    for (int zoom : tiles_->Zooms()) {
        QAction* action =
            zoomMenu_->addAction(QString::number(zoom), this, [this, zoom] { ShowZoom(zoom); });
        action->setCheckable(true);
        action->setChecked(zoom == tiles_->FirstZoom());
        zoomGroup_->addAction(action);
    }
    zoomMenu_->setEnabled(tiles_->Zooms().size() > 1);
    ShowZoom(tiles_->FirstZoom());

    const QFileInfo info(path);
    lastFolder_ = info.absolutePath();
    setWindowTitle(tr("Map Viewer - %1").arg(info.fileName()));
    return true;
}

void MapViewerWindow::ShowZoom(int zoom) {
    view_->ShowTiles(zoom, tiles_->Bounds(zoom));
    view_->setFocus();
}

void MapViewerWindow::OpenFileClick() {
    const QString containers = QString::fromStdString(ContainerPatterns());
    const auto file = desktop_.ChooseFile(
        this, tr("Open project or tile container:"),
        tr("Projects and tile containers(*.tsln %1);;Projects(*.tsln);;").arg(containers) +
            QString::fromStdString(ContainerFileTypes()),
        lastFolder_);
    if (file) {
        Open(*file);
    }
}

void MapViewerWindow::OpenFolderClick() {
    const auto folder = desktop_.ChooseFolder(this, tr("Open a folder of tiles:"));
    if (folder) {
        Open(*folder);
    }
}

void MapViewerWindow::ShowPointer(double longitude, double latitude) {
    pointer_->setText(
        tr("Longitude %1, latitude %2").arg(longitude, 0, 'f', 6).arg(latitude, 0, 'f', 6));
}

void MapViewerWindow::ShowScale() {
    scale_->setText(tr("Zoom %1, scale %2%").arg(view_->Zoom()).arg(qRound(view_->Scale() * 100)));
}

int RunMapViewer(int argc, char** argv) {
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName("Tessellon Map Viewer");
    QtDesktop desktop;
    MapViewerWindow window(desktop, ProgramFolder() + "blankimg/");
    window.show();
    form::PlaceOnOwnersScreen(&window);
    if (argc > 1) {
        window.Open(QString::fromLocal8Bit(argv[1]));
    }
    return QApplication::exec();
}

}  // namespace tessellon
