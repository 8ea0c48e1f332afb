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
    painter.setPen(QPen(QColor(220, 0, 0), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(topLeft, bottomRight));
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

void TileView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        dragFrom_ = event->position().toPoint();
        setCursor(Qt::ClosedHandCursor);
    }
}

void TileView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (dragFrom_) {
        PanBy(at - *dragFrom_);
        dragFrom_ = at;
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
