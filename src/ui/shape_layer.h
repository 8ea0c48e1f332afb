#pragma once
// A layer over a tile view for the "Select on map" window: it shades the
// tiles of a task's cover at one zoom, outlines the task's shape, and lets
// the user draw a polygon by clicking its corners. A double-click or Enter
// closes the polygon, Backspace takes the last corner back, Escape drops
// it; a drag still pans and the wheel still zooms the view underneath.

#include <QPointF>
#include <QWidget>
#include <optional>
#include <vector>

#include "geo/geo_shape.h"
#include "task/tile_cover.h"

namespace tessellon {

class TileView;

class ShapeLayer final : public QWidget {
    Q_OBJECT

public:
    // Lies over `view`, whose child it becomes, and follows its size.
    explicit ShapeLayer(TileView* view);

    // The shape outlined; nothing for none.
    void SetShape(std::optional<GeoShape> shape);
    // The tiles shaded: one zoom of a cover; an empty cover for none.
    void SetTiles(TileCover tiles);
    const TileCover& Tiles() const { return tiles_; }
    bool Drawing() const { return drawing_; }
    // The corners clicked so far.
    const std::vector<GeoPoint>& Corners() const { return corners_; }

public slots:
    // Starts drawing a polygon, or stops and drops the corners clicked.
    void SetDrawing(bool drawing);

signals:
    // The user closed a polygon; drawing has stopped.
    void PolygonDrawn(const std::vector<tessellon::GeoPoint>& corners);
    // Drawing stopped without a polygon (Escape).
    void DrawingDropped();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPointF PixelOfPoint(const GeoPoint& point) const;
    void PaintTiles(QPainter& painter) const;
    void PaintShape(QPainter& painter) const;
    void PaintCorners(QPainter& painter) const;
    void AddCorner(QPointF pixel);
    void Close();

    TileView* const view_;
    std::optional<GeoShape> shape_;
    TileCover tiles_;
    bool drawing_ = false;
    std::vector<GeoPoint> corners_;
    // Where the pointer is, for the side the next click would add.
    std::optional<QPointF> pointer_;
    // A press that has not yet moved far enough to pan.
    std::optional<QPointF> pressedAt_;
    bool panning_ = false;
};

}  // namespace tessellon
