#pragma once
// Editing the outline of a tile view, as the "Select on map" window does:
// Shift+drag (or any drag while drawing) draws a new rectangle, a drag inside
// the outline moves it, one on an edge or a corner resizes it, and the
// pointer's shape tells which a press would do. Every other drag pans the
// view as before. Each change is reported by OutlineEdited.

#include <QObject>
#include <QPointF>
#include <QRectF>
#include <utility>

#include "geo/tile_math.h"

class QEvent;
class QMouseEvent;

namespace tessellon {

class TileView;

class OutlineEditor final : public QObject {
    Q_OBJECT

public:
    // Edits the outline of `view`, whose child it becomes.
    explicit OutlineEditor(TileView* view);

public slots:
    // While drawing, any drag draws a new rectangle.
    void SetDrawing(bool drawing);

signals:
    // The user drew, moved or resized the outline.
    void OutlineEdited(const tessellon::GeoRect& outline);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What a drag with the left button does; None leaves it to the view.
    enum class Drag { None, Draw, Move, Resize };
    // The outline's sides a resize moves.
    enum Side { kLeft = 1, kTop = 2, kRight = 4, kBottom = 8 };

    // Each true when the event was an edit's, which the view then never sees.
    bool Press(const QMouseEvent& event);
    bool Move(const QMouseEvent& event);
    bool Release(const QMouseEvent& event);
    // What a press at `pixel` would start, and on which sides.
    std::pair<Drag, int> DragAt(QPointF pixel, Qt::KeyboardModifiers modifiers) const;
    void ShowCursorFor(QPointF pixel, Qt::KeyboardModifiers modifiers);
    void EditOutline(QPointF pixel);

    TileView* const view_;
    bool drawing_ = false;
    Drag drag_ = Drag::None;
    int dragSides_ = 0;
    // In tiles of the view's zoom: where a draw began, or the outline a move
    // began with.
    QPointF dragAnchor_;
    QRectF dragOutline_;
};

}  // namespace tessellon
