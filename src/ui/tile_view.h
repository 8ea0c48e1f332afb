#pragma once
// A map made of the tiles of one zoom, panned by dragging or the arrow keys
// and scaled by the wheel or +/- from 1/16 to 4 times the tiles' own size.
// Shown as the world, the wheel and +/- step the zoom itself instead, as a
// slippy map does. It shows an outline; an OutlineEditor laid over it lets
// the user edit that.
// Tiles come from a TileProvider that may answer at once or later; the view
// keeps the answers in a cache bounded by bytes and only ever asks for, and
// paints, the tiles in sight, so a set of any size opens at once. Tiles with
// no image are painted in the colour of what became of them.

#include <QCache>
#include <QColor>
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <vector>

#include "output/tile_set.h"

namespace tessellon {

// One tile as a view asks for it: its place and the edge in pixels it is
// drawn at (256 and below, halving), so an overview decodes small images.
struct TileRequest {
    int Zoom = 0;
    std::int32_t X = 0;
    std::int32_t Y = 0;
    int Size = 256;

    bool operator==(const TileRequest&) const = default;
};
size_t qHash(const TileRequest& request, size_t seed = 0) noexcept;

// What a tile shows.
enum class TileLook {
    Image,
    // Asked for, no answer yet.
    Loading,
    Blank,
    Missing,
    Failed,
    // A file whose bytes are no image.
    Unreadable,
    // A tile the service would not give (the reason is the answer's); grey,
    // as a map leaves what it cannot show.
    Unavailable,
};
QColor LookColour(TileLook look);
// The name of a look in the legend.
QString LookName(TileLook look);

struct TileAnswer {
    TileLook Look = TileLook::Missing;
    // Set for TileLook::Image only, at most Size pixels a side.
    QImage Image;
    // Why a tile failed, shown when the pointer rests on it; may be empty.
    QString Reason;
};

class TileProvider : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // The tiles the view lacks now, the most wanted first. It replaces the
    // list before, so tiles scrolled out of sight are not fetched. Each
    // answer comes through Arrived, on the window's thread, at once or later.
    virtual void Want(const std::vector<TileRequest>& tiles) = 0;

signals:
    void Arrived(const tessellon::TileRequest& tile, const tessellon::TileAnswer& answer);
};

class TileView : public QWidget {
    Q_OBJECT

public:
    // Tiles are laid out at this edge, times the scale.
    static constexpr int kTileSize = 256;

    explicit TileView(QWidget* parent = nullptr);

    // The provider stays the caller's; nullptr shows no tiles.
    void SetProvider(TileProvider* provider);
    // Shows `zoom`, whose tiles lie within `bounds`, centred on them.
    void ShowTiles(int zoom, const TileRange& bounds);
    // The rectangle outlined on the map; nothing for none.
    void SetOutline(const std::optional<GeoRect>& outline);
    void SetGridShown(bool shown);
    // Shows the whole world at `zoom`, which the wheel and +/- then step
    // within minZoom..maxZoom; the scale stays at 1. The centre is kept.
    void ShowWorld(int zoom, int minZoom, int maxZoom);
    // Centres the view on a longitude and latitude.
    void CentreOn(double longitude, double latitude);
    // The tiles of this zoom that cover the outline are drawn over it.
    void SetOutlineGrid(std::optional<int> zoom);

    int Zoom() const { return zoom_; }
    // The tiles' scale: 1 draws each tile at its own size.
    double Scale() const;
    // The tile grid position at the centre of the view.
    QPointF Centre() const { return centre_; }
    // The geographic point under a pixel of the view: x longitude, y latitude.
    QPointF PointAt(QPointF pixel) const;
    // The tile grid position under a pixel of the view, in tiles of Zoom().
    QPointF GridAt(QPointF pixel) const;
    const std::optional<GeoRect>& Outline() const { return outline_; }
    // Where the outline lies on the grid, in tiles of Zoom().
    std::optional<QRectF> OutlineOnGrid() const;
    // Where the outline lies in the view's pixels.
    std::optional<QRectF> OutlineOnScreen() const;

public slots:
    void ZoomIn();
    void ZoomOut();
    void ResetScale();
    void PanBy(QPoint pixels);

signals:
    // The longitude and latitude under the pointer as it moves.
    void PointerAt(double longitude, double latitude);
    // The scale or the zoom changed.
    void ScaleChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct Visible {
        std::int32_t MinX, MinY, MaxX, MaxY;
    };

    void TakeAnswer(const TileRequest& tile, const TileAnswer& answer);
    // Steps the scale, keeping the grid point under `anchor` in place.
    void StepScale(int steps, QPointF anchor);
    // Steps the world's zoom, keeping the point under `anchor` in place.
    void StepZoom(int steps, QPointF anchor);
    // Why the tile under `pixel` failed, for its tool tip; empty for none.
    QString ReasonAt(QPointF pixel) const;
    double TileEdge() const { return kTileSize * Scale(); }
    QPointF PixelOf(QPointF grid) const;
    // The tiles of the bounds that are in sight, if any.
    std::optional<Visible> VisibleTiles() const;
    // The edge in pixels an image needs for the scale.
    int ImageSize() const;
    void AskForMissing();
    void PaintGrid(QPainter& painter, const Visible& visible) const;
    void PaintOutline(QPainter& painter) const;
    void PaintOutlineGrid(QPainter& painter) const;

    TileProvider* provider_ = nullptr;
    int zoom_ = 0;
    TileRange bounds_;
    bool hasTiles_ = false;
    // In tiles of the zoom.
    QPointF centre_;
    // The scale is 2^(step / 2).
    int scaleStep_ = 0;
    bool gridShown_ = false;
    std::optional<GeoRect> outline_;
    QCache<TileRequest, TileAnswer> cache_;
    std::vector<TileRequest> wanted_;
    std::optional<QPoint> dragFrom_;
    // The world mode's zooms; minZoom_ > maxZoom_ while tiles are shown.
    int minZoom_ = 1;
    int maxZoom_ = 0;
    std::optional<int> outlineGrid_;
};

}  // namespace tessellon
