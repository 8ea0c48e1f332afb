#include "tile_view.h"

#include <QHashFunctions>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "geo/tile_math.h"

namespace tessellon {

namespace {

// 1/16 to 4 times, in steps of the square root of two.
constexpr int kSmallestStep = -8;
constexpr int kLargestStep = 4;
// Overview images are never decoded smaller than this.
constexpr int kSmallestImage = 16;
// What the arrow keys move the map by.
constexpr int kKeyPan = 64;
// Decoded tiles kept, in KiB: a full screen at any scale fits many times.
constexpr int kCacheKiB = 256 * 1024;
const QColor kBackground(64, 64, 64);
// Tiles of the outline's grid narrower than this are shaded, not lined.
constexpr double kSmallestGridTile = 4;

// The outline in tiles of `zoom`.
QRectF GridRect(const GeoRect& area, int zoom) {
    return QRectF(
        QPointF(LongitudeToTileXExact(area.Left, zoom), LatitudeToTileYExact(area.Top, zoom)),
        QPointF(LongitudeToTileXExact(area.Right, zoom), LatitudeToTileYExact(area.Bottom, zoom)));
}

TileRange World(int zoom) {
    const std::int32_t last = (std::int32_t{1} << zoom) - 1;
    return {0, 0, last, last};
}

}  // namespace

size_t qHash(const TileRequest& request, size_t seed) noexcept {
    return qHashMulti(seed, request.Zoom, request.X, request.Y, request.Size);
}

QColor LookColour(TileLook look) {
    switch (look) {
        case TileLook::Image:
            break;
        case TileLook::Loading:
            return {240, 240, 240};
        case TileLook::Blank:
            return {184, 212, 240};
        case TileLook::Missing:
            return {200, 200, 200};
        case TileLook::Failed:
            return {240, 128, 128};
        case TileLook::Unreadable:
            return {245, 176, 65};
        case TileLook::Unavailable:
            return {160, 160, 160};
    }
    return kBackground;
}

QString LookName(TileLook look) {
    switch (look) {
        case TileLook::Image:
            return QObject::tr("Tile");
        case TileLook::Loading:
            return QObject::tr("Loading");
        case TileLook::Blank:
            return QObject::tr("Blank");
        case TileLook::Missing:
            return QObject::tr("Missing");
        case TileLook::Failed:
            return QObject::tr("Failed");
        case TileLook::Unreadable:
            return QObject::tr("Not an image");
        case TileLook::Unavailable:
            return QObject::tr("Not available");
    }
    return {};
}

TileView::TileView(QWidget* parent) : QWidget(parent), cache_(kCacheKiB) {
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(64, 64);
}

void TileView::SetProvider(TileProvider* provider) {
    if (provider_ != nullptr) {
        provider_->disconnect(this);
    }
    provider_ = provider;
    cache_.clear();
    wanted_.clear();
    if (provider_ != nullptr) {
        connect(provider_, &TileProvider::Arrived, this, &TileView::TakeAnswer);
    }
    update();
}

void TileView::ShowTiles(int zoom, const TileRange& bounds) {
    zoom_ = zoom;
    bounds_ = bounds;
    hasTiles_ = true;
    minZoom_ = 1;
    maxZoom_ = 0;
    centre_ = QPointF((bounds.MinX + bounds.MaxX + 1) / 2.0, (bounds.MinY + bounds.MaxY + 1) / 2.0);
    wanted_.clear();
    update();
    emit ScaleChanged();
}

void TileView::SetOutline(const std::optional<GeoRect>& outline) {
    outline_ = outline;
    update();
}

void TileView::SetGridShown(bool shown) {
    gridShown_ = shown;
    update();
}

void TileView::ShowWorld(int zoom, int minZoom, int maxZoom) {
    const bool wasWorld = hasTiles_ && minZoom_ <= maxZoom_;
    minZoom_ = minZoom;
    maxZoom_ = maxZoom;
    zoom = std::clamp(zoom, minZoom, maxZoom);
    const double side = std::ldexp(1.0, zoom);
    centre_ = wasWorld ? centre_ * std::ldexp(1.0, zoom - zoom_) : QPointF(side / 2, side / 2);
    zoom_ = zoom;
    bounds_ = World(zoom);
    hasTiles_ = true;
    scaleStep_ = 0;
    wanted_.clear();
    update();
    emit ScaleChanged();
}

void TileView::CentreOn(double longitude, double latitude) {
    centre_ =
        QPointF(LongitudeToTileXExact(longitude, zoom_), LatitudeToTileYExact(latitude, zoom_));
    update();
}

void TileView::SetOutlineGrid(std::optional<int> zoom) {
    outlineGrid_ = zoom;
    update();
}

std::optional<QRectF> TileView::OutlineOnGrid() const {
    if (!outline_) {
        return std::nullopt;
    }
    return GridRect(*outline_, zoom_);
}

std::optional<QRectF> TileView::OutlineOnScreen() const {
    const std::optional<QRectF> grid = OutlineOnGrid();
    if (!grid) {
        return std::nullopt;
    }
    return QRectF(PixelOf(grid->topLeft()), PixelOf(grid->bottomRight())).normalized();
}

double TileView::Scale() const {
    return std::pow(2.0, scaleStep_ / 2.0);
}

QPointF TileView::PixelOf(QPointF grid) const {
    return (grid - centre_) * TileEdge() + QPointF(width() / 2.0, height() / 2.0);
}

QPointF TileView::GridAt(QPointF pixel) const {
    return centre_ + (pixel - QPointF(width() / 2.0, height() / 2.0)) / TileEdge();
}

QPointF TileView::PointAt(QPointF pixel) const {
    const QPointF grid = GridAt(pixel);
    return {TileXToLongitude(grid.x(), zoom_), TileYToLatitude(grid.y(), zoom_)};
}

void TileView::ZoomIn() {
    StepScale(1, QPointF(width() / 2.0, height() / 2.0));
}

void TileView::ZoomOut() {
    StepScale(-1, QPointF(width() / 2.0, height() / 2.0));
}

void TileView::ResetScale() {
    StepScale(-scaleStep_, QPointF(width() / 2.0, height() / 2.0));
}

void TileView::StepScale(int steps, QPointF anchor) {
    if (minZoom_ <= maxZoom_) {
        StepZoom(steps, anchor);
        return;
    }
    const int step = std::clamp(scaleStep_ + steps, kSmallestStep, kLargestStep);
    if (step == scaleStep_) {
        return;
    }
    const QPointF grid = GridAt(anchor);
    scaleStep_ = step;
    centre_ = grid - (anchor - QPointF(width() / 2.0, height() / 2.0)) / TileEdge();
    update();
    emit ScaleChanged();
}

void TileView::StepZoom(int steps, QPointF anchor) {
    const int zoom = std::clamp(zoom_ + steps, minZoom_, maxZoom_);
    if (zoom == zoom_) {
        return;
    }
    const QPointF grid = GridAt(anchor) * std::ldexp(1.0, zoom - zoom_);
    zoom_ = zoom;
    bounds_ = World(zoom);
    centre_ = grid - (anchor - QPointF(width() / 2.0, height() / 2.0)) / TileEdge();
    wanted_.clear();
    update();
    emit ScaleChanged();
}

void TileView::PanBy(QPoint pixels) {
    const QPointF moved = centre_ - QPointF(pixels) / TileEdge();
    // The centre stays over the tiles, so the map cannot be lost.
    centre_ = QPointF(std::clamp<double>(moved.x(), bounds_.MinX, bounds_.MaxX + 1.0),
                      std::clamp<double>(moved.y(), bounds_.MinY, bounds_.MaxY + 1.0));
    update();
}

int TileView::ImageSize() const {
    int size = kTileSize;
    while (size / 2 >= kSmallestImage && size / 2 >= TileEdge()) {
        size /= 2;
    }
    return size;
}

std::optional<TileView::Visible> TileView::VisibleTiles() const {
    if (!hasTiles_) {
        return std::nullopt;
    }
    const QPointF first = GridAt(QPointF(0, 0));
    const QPointF last = GridAt(QPointF(width(), height()));
    const auto clampTo = [](double value, std::int32_t low, std::int32_t high) {
        return static_cast<std::int32_t>(std::clamp<double>(std::floor(value), low, high));
    };
    const Visible visible{clampTo(first.x(), bounds_.MinX, bounds_.MaxX),
                          clampTo(first.y(), bounds_.MinY, bounds_.MaxY),
                          clampTo(std::ceil(last.x()) - 1, bounds_.MinX, bounds_.MaxX),
                          clampTo(std::ceil(last.y()) - 1, bounds_.MinY, bounds_.MaxY)};
    if (last.x() <= bounds_.MinX || first.x() >= bounds_.MaxX + 1.0 || last.y() <= bounds_.MinY ||
        first.y() >= bounds_.MaxY + 1.0) {
        return std::nullopt;
    }
    return visible;
}

void TileView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    const std::optional<Visible> visible = VisibleTiles();
    if (!visible) {
        return;
    }
    const int size = ImageSize();
    for (std::int32_t x = visible->MinX; x <= visible->MaxX; ++x) {
        for (std::int32_t y = visible->MinY; y <= visible->MaxY; ++y) {
            // Whole pixels, so neighbours meet without a seam.
            const QPoint topLeft = PixelOf(QPointF(x, y)).toPoint();
            const QPoint bottomRight = PixelOf(QPointF(x + 1.0, y + 1.0)).toPoint();
            const QRect place(topLeft,
                              QSize(bottomRight.x() - topLeft.x(), bottomRight.y() - topLeft.y()));
            const TileAnswer* answer = cache_.object({zoom_, x, y, size});
            if (answer == nullptr) {
                painter.fillRect(place, LookColour(TileLook::Loading));
            } else if (answer->Look == TileLook::Image) {
                painter.drawImage(place, answer->Image);
            } else {
                painter.fillRect(place, LookColour(answer->Look));
            }
        }
    }
    if (gridShown_) {
        PaintGrid(painter, *visible);
    }
    PaintOutline(painter);
    AskForMissing();
}

void TileView::PaintGrid(QPainter& painter, const Visible& visible) const {
    painter.setPen(QPen(QColor(0, 0, 0, 140), 1));
    const double top = PixelOf(QPointF(0, visible.MinY)).y();
    const double bottom = PixelOf(QPointF(0, visible.MaxY + 1.0)).y();
    const double left = PixelOf(QPointF(visible.MinX, 0)).x();
    const double right = PixelOf(QPointF(visible.MaxX + 1.0, 0)).x();
    for (std::int32_t x = visible.MinX; x <= visible.MaxX + 1; ++x) {
        const int px = PixelOf(QPointF(x, 0)).toPoint().x();
        painter.drawLine(QPointF(px, top), QPointF(px, bottom));
    }
    for (std::int32_t y = visible.MinY; y <= visible.MaxY + 1; ++y) {
        const int py = PixelOf(QPointF(0, y)).toPoint().y();
        painter.drawLine(QPointF(left, py), QPointF(right, py));
    }
    // Numbers only where a tile is large enough to hold them.
    if (TileEdge() < 64) {
        return;
    }
    for (std::int32_t x = visible.MinX; x <= visible.MaxX; ++x) {
        for (std::int32_t y = visible.MinY; y <= visible.MaxY; ++y) {
            painter.drawText(PixelOf(QPointF(x, y)) + QPointF(4, 14),
                             QStringLiteral("%1, %2").arg(x).arg(y));
        }
    }
}

void TileView::PaintOutline(QPainter& painter) const {
    if (!outline_) {
        return;
    }
    const QPointF topLeft = PixelOf(QPointF(LongitudeToTileXExact(outline_->Left, zoom_),
                                            LatitudeToTileYExact(outline_->Top, zoom_)));
    const QPointF bottomRight = PixelOf(QPointF(LongitudeToTileXExact(outline_->Right, zoom_),
                                                LatitudeToTileYExact(outline_->Bottom, zoom_)));
    const QRectF outline(topLeft, bottomRight);
    if (outlineGrid_) {
        PaintOutlineGrid(painter);
    }
    painter.setPen(QPen(QColor(220, 0, 0), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(outline);
}

void TileView::PaintOutlineGrid(QPainter& painter) const {
    const int zoom = *outlineGrid_;
    const TileRange tiles = CoveringTiles(*outline_, zoom);
    const QRectF covered = GridRect(TileRangeEdges(tiles, zoom), zoom_);
    const QRectF area(PixelOf(covered.topLeft()), PixelOf(covered.bottomRight()));
    const double tileWidth = area.width() / static_cast<double>(tiles.Columns());
    // The tiles that will be fetched, which reach past the outline.
    painter.setPen(QPen(QColor(0, 64, 200, 160), 1));
    painter.setBrush(QColor(0, 64, 200, tileWidth < kSmallestGridTile ? 60 : 20));
    painter.drawRect(area);
    if (tileWidth < kSmallestGridTile) {
        return;
    }
    for (std::int32_t x = tiles.MinX + 1; x <= tiles.MaxX; ++x) {
        const double px =
            PixelOf(QPointF(LongitudeToTileXExact(TileXToLongitude(x, zoom), zoom_), 0)).x();
        painter.drawLine(QPointF(px, area.top()), QPointF(px, area.bottom()));
    }
    for (std::int32_t y = tiles.MinY + 1; y <= tiles.MaxY; ++y) {
        const double py =
            PixelOf(QPointF(0, LatitudeToTileYExact(TileYToLatitude(y, zoom), zoom_))).y();
        painter.drawLine(QPointF(area.left(), py), QPointF(area.right(), py));
    }
}

void TileView::AskForMissing() {
    const std::optional<Visible> visible = VisibleTiles();
    if (provider_ == nullptr || !visible) {
        return;
    }
    const int size = ImageSize();
    std::vector<TileRequest> missing;
    for (std::int32_t x = visible->MinX; x <= visible->MaxX; ++x) {
        for (std::int32_t y = visible->MinY; y <= visible->MaxY; ++y) {
            const TileRequest tile{zoom_, x, y, size};
            if (!cache_.contains(tile)) {
                missing.push_back(tile);
            }
        }
    }
    // The middle of the view first: that is where the eye is.
    const auto distance = [this](const TileRequest& tile) {
        const QPointF d = QPointF(tile.X + 0.5, tile.Y + 0.5) - centre_;
        return d.x() * d.x() + d.y() * d.y();
    };
    std::sort(missing.begin(), missing.end(), [&](const TileRequest& a, const TileRequest& b) {
        return distance(a) < distance(b);
    });
    if (missing != wanted_) {
        wanted_ = missing;
        provider_->Want(missing);
    }
}

void TileView::TakeAnswer(const TileRequest& tile, const TileAnswer& answer) {
    const int kib = static_cast<int>(answer.Image.sizeInBytes() / 1024) + 1;
    cache_.insert(tile, new TileAnswer(answer), kib);
    const auto found = std::find(wanted_.begin(), wanted_.end(), tile);
    if (found != wanted_.end()) {
        wanted_.erase(found);
    }
    update();
}

void TileView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Left:
            PanBy(QPoint(kKeyPan, 0));
            break;
        case Qt::Key_Right:
            PanBy(QPoint(-kKeyPan, 0));
            break;
        case Qt::Key_Up:
            PanBy(QPoint(0, kKeyPan));
            break;
        case Qt::Key_Down:
            PanBy(QPoint(0, -kKeyPan));
            break;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            ZoomIn();
            break;
        case Qt::Key_Minus:
            ZoomOut();
            break;
        default:
            QWidget::keyPressEvent(event);
    }
}

void TileView::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta != 0) {
        StepScale(delta > 0 ? 1 : -1, event->position());
    }
    event->accept();
}

QString TileView::ReasonAt(QPointF pixel) const {
    const QPointF grid = GridAt(pixel);
    const TileRequest tile{zoom_, static_cast<std::int32_t>(std::floor(grid.x())),
                           static_cast<std::int32_t>(std::floor(grid.y())), ImageSize()};
    const TileAnswer* answer = cache_.object(tile);
    return answer != nullptr && answer->Look != TileLook::Image ? answer->Reason : QString();
}

void TileView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    dragFrom_ = event->position().toPoint();
    setCursor(Qt::ClosedHandCursor);
}

void TileView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (dragFrom_) {
        PanBy(at - *dragFrom_);
        dragFrom_ = at;
    } else {
        setToolTip(ReasonAt(event->position()));
    }
    const QPointF point = PointAt(event->position());
    emit PointerAt(point.x(), point.y());
}

void TileView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        dragFrom_.reset();
        unsetCursor();
    }
}

}  // namespace tessellon
