#include "shape_layer.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "geo/tile_math.h"
#include "tile_view.h"

namespace tessellon {

namespace {

// A press that moves further than this, in pixels, pans rather than clicks.
constexpr double kClickSlop = 4;
// Below this many pixels a side, the cover's tiles are shaded without lines.
constexpr double kSmallestLinedTile = 6;

const QColor kTileShade(0, 64, 200, 60);
const QColor kTileLine(0, 64, 200, 160);
const QColor kShapeLine(220, 0, 0);

}  // namespace

ShapeLayer::ShapeLayer(TileView* view) : QWidget(view), view_(view) {
    setObjectName("ShapeLayer");
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::ClickFocus);
    setGeometry(view_->rect());
    view_->installEventFilter(this);
}

void ShapeLayer::SetShape(std::optional<GeoShape> shape) {
    shape_ = std::move(shape);
    update();
}

void ShapeLayer::SetTiles(TileCover tiles) {
    tiles_ = std::move(tiles);
    update();
}

void ShapeLayer::SetDrawing(bool drawing) {
    if (drawing == drawing_) {
        return;
    }
    drawing_ = drawing;
    corners_.clear();
    pointer_.reset();
    pressedAt_.reset();
    setAttribute(Qt::WA_TransparentForMouseEvents, !drawing);
    setMouseTracking(drawing);
    setCursor(drawing ? Qt::CrossCursor : Qt::ArrowCursor);
    if (drawing) {
        setFocus();
    }
    update();
}

bool ShapeLayer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view_ && event->type() == QEvent::Resize) {
        setGeometry(view_->rect());
    }
    return false;
}

QPointF ShapeLayer::PixelOfPoint(const GeoPoint& point) const {
    const int zoom = view_->Zoom();
    return view_->PixelOf(QPointF(LongitudeToTileXExact(point.Longitude, zoom),
                                  LatitudeToTileYExact(point.Latitude, zoom)));
}

void ShapeLayer::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    PaintTiles(painter);
    PaintShape(painter);
    PaintCorners(painter);
}

void ShapeLayer::PaintTiles(QPainter& painter) const {
    if (tiles_.Count() == 0) {
        return;
    }
    const int zoom = tiles_.MinZoom();
    // One tile of the cover's zoom in tiles of the view's.
    const double step = std::ldexp(1.0, view_->Zoom() - zoom);
    const TileRange& range = tiles_.RangeAt(zoom);
    // Only the columns in sight.
    const double left = view_->GridAt(QPointF(0, 0)).x() / step;
    const double right = view_->GridAt(QPointF(width(), 0)).x() / step;
    const auto first = std::max<std::int32_t>(range.MinX, static_cast<std::int32_t>(left));
    const auto last = std::min<std::int32_t>(range.MaxX, static_cast<std::int32_t>(right));
    const double edge = (view_->PixelOf(QPointF(step, 0)) - view_->PixelOf(QPointF(0, 0))).x();
    painter.setPen(edge < kSmallestLinedTile ? QPen(Qt::NoPen) : QPen(kTileLine, 1));
    painter.setBrush(kTileShade);
    for (std::int32_t x = first; x <= last; ++x) {
        for (const RowSpan& run : tiles_.ColumnRows(zoom, x)) {
            const QPointF topLeft = view_->PixelOf(QPointF(x * step, run.MinY * step));
            const QPointF bottomRight =
                view_->PixelOf(QPointF((x + 1.0) * step, (run.MaxY + 1.0) * step));
            if (edge < kSmallestLinedTile) {
                painter.drawRect(QRectF(topLeft, bottomRight));
                continue;
            }
            for (std::int32_t y = run.MinY; y <= run.MaxY; ++y) {
                painter.drawRect(
                    QRectF(view_->PixelOf(QPointF(x * step, y * step)),
                           view_->PixelOf(QPointF((x + 1.0) * step, (y + 1.0) * step))));
            }
        }
    }
}

void ShapeLayer::PaintShape(QPainter& painter) const {
    if (!shape_) {
        return;
    }
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    const auto addRing = [&](const GeoRing& ring) {
        QPolygonF polygon;
        for (const GeoPoint& point : ring) {
            polygon << PixelOfPoint(point);
        }
        path.addPolygon(polygon);
        path.closeSubpath();
    };
    for (const GeoPolygon& polygon : shape_->Polygons) {
        addRing(polygon.Outer);
        for (const GeoRing& hole : polygon.Holes) {
            addRing(hole);
        }
    }
    painter.setPen(QPen(kShapeLine, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
}

void ShapeLayer::PaintCorners(QPainter& painter) const {
    if (!drawing_ || corners_.empty()) {
        return;
    }
    QPolygonF line;
    for (const GeoPoint& corner : corners_) {
        line << PixelOfPoint(corner);
    }
    if (pointer_) {
        line << *pointer_;
    }
    painter.setPen(QPen(kShapeLine, 2, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(line);
    painter.setPen(QPen(kShapeLine, 1));
    painter.setBrush(Qt::white);
    for (const GeoPoint& corner : corners_) {
        painter.drawRect(QRectF(PixelOfPoint(corner) - QPointF(3, 3), QSizeF(6, 6)));
    }
}

void ShapeLayer::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressedAt_ = event->position();
        panning_ = false;
    }
}

void ShapeLayer::mouseMoveEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    if (pressedAt_ && (panning_ || (at - *pressedAt_).manhattanLength() > kClickSlop)) {
        panning_ = true;
        view_->PanBy((at - *pressedAt_).toPoint());
        pressedAt_ = at;
    }
    pointer_ = at;
    update();
}

void ShapeLayer::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressedAt_) {
        return;
    }
    pressedAt_.reset();
    if (panning_) {
        panning_ = false;
        return;
    }
    AddCorner(event->position());
}

// The press and release before it added the corner under the pointer.
void ShapeLayer::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        Close();
    }
}

void ShapeLayer::AddCorner(QPointF pixel) {
    const QPointF point = view_->PointAt(pixel);
    corners_.push_back({point.x(), point.y()});
    update();
}

void ShapeLayer::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            Close();
            return;
        case Qt::Key_Backspace:
            if (!corners_.empty()) {
                corners_.pop_back();
                update();
            }
            return;
        case Qt::Key_Escape:
            SetDrawing(false);
            emit DrawingDropped();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void ShapeLayer::Close() {
    if (!drawing_) {
        return;
    }
    const std::vector<GeoPoint> corners = corners_;
    SetDrawing(false);
    emit PolygonDrawn(corners);
}

}  // namespace tessellon
