#include "outline_editor.h"

#include <QMouseEvent>
#include <algorithm>
#include <cmath>
#include <tuple>

#include "tile_view.h"

namespace tessellon {

namespace {

// How near an edge of the outline, in pixels, a press grabs that edge.
constexpr double kEdgeGrab = 5;

GeoRect GeoOfGrid(const QRectF& grid, int zoom) {
    return {TileXToLongitude(grid.left(), zoom), TileXToLongitude(grid.right(), zoom),
            TileYToLatitude(grid.top(), zoom), TileYToLatitude(grid.bottom(), zoom)};
}

}  // namespace

OutlineEditor::OutlineEditor(TileView* view) : QObject(view), view_(view) {
    view_->installEventFilter(this);
}

void OutlineEditor::SetDrawing(bool drawing) {
    drawing_ = drawing;
}

bool OutlineEditor::eventFilter(QObject* watched, QEvent* event) {
    if (watched != view_) {
        return false;
    }
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            return Press(static_cast<const QMouseEvent&>(*event));
        case QEvent::MouseMove:
            return Move(static_cast<const QMouseEvent&>(*event));
        case QEvent::MouseButtonRelease:
            return Release(static_cast<const QMouseEvent&>(*event));
        default:
            return false;
    }
}

bool OutlineEditor::Press(const QMouseEvent& event) {
    if (event.button() != Qt::LeftButton) {
        return false;
    }
    std::tie(drag_, dragSides_) = DragAt(event.position(), event.modifiers());
    if (drag_ == Drag::None) {
        return false;
    }
    dragAnchor_ = view_->GridAt(event.position());
    dragOutline_ = view_->OutlineOnGrid().value_or(QRectF());
    return true;
}

bool OutlineEditor::Move(const QMouseEvent& event) {
    if (drag_ != Drag::None) {
        EditOutline(event.position());
        return true;
    }
    // The view pans while the button is held.
    if (!event.buttons().testFlag(Qt::LeftButton)) {
        ShowCursorFor(event.position(), event.modifiers());
    }
    return false;
}

bool OutlineEditor::Release(const QMouseEvent& event) {
    if (event.button() != Qt::LeftButton || drag_ == Drag::None) {
        return false;
    }
    drag_ = Drag::None;
    ShowCursorFor(event.position(), event.modifiers());
    return true;
}

std::pair<OutlineEditor::Drag, int> OutlineEditor::DragAt(QPointF pixel,
                                                          Qt::KeyboardModifiers modifiers) const {
    if (drawing_ || modifiers.testFlag(Qt::ShiftModifier)) {
        return {Drag::Draw, 0};
    }
    const std::optional<QRectF> outline = view_->OutlineOnScreen();
    if (!outline) {
        return {Drag::None, 0};
    }
    const QRectF reach = outline->adjusted(-kEdgeGrab, -kEdgeGrab, kEdgeGrab, kEdgeGrab);
    if (!reach.contains(pixel)) {
        return {Drag::None, 0};
    }
    int sides = 0;
    sides |= std::abs(pixel.x() - outline->left()) <= kEdgeGrab ? kLeft : 0;
    sides |= std::abs(pixel.x() - outline->right()) <= kEdgeGrab ? kRight : 0;
    sides |= std::abs(pixel.y() - outline->top()) <= kEdgeGrab ? kTop : 0;
    sides |= std::abs(pixel.y() - outline->bottom()) <= kEdgeGrab ? kBottom : 0;
    // A rectangle a few pixels across is grabbed by its lower right corner,
    // so it can still be made larger.
    if ((sides & kLeft) != 0 && (sides & kRight) != 0) {
        sides &= ~kLeft;
    }
    if ((sides & kTop) != 0 && (sides & kBottom) != 0) {
        sides &= ~kTop;
    }
    return {sides == 0 ? Drag::Move : Drag::Resize, sides};
}

void OutlineEditor::ShowCursorFor(QPointF pixel, Qt::KeyboardModifiers modifiers) {
    const auto [drag, sides] = DragAt(pixel, modifiers);
    switch (drag) {
        case Drag::None:
            view_->unsetCursor();
            return;
        case Drag::Draw:
            view_->setCursor(Qt::CrossCursor);
            return;
        case Drag::Move:
            view_->setCursor(Qt::SizeAllCursor);
            return;
        case Drag::Resize:
            break;
    }
    if (sides == (kLeft | kTop) || sides == (kRight | kBottom)) {
        view_->setCursor(Qt::SizeFDiagCursor);
    } else if (sides == (kRight | kTop) || sides == (kLeft | kBottom)) {
        view_->setCursor(Qt::SizeBDiagCursor);
    } else if ((sides & (kLeft | kRight)) != 0) {
        view_->setCursor(Qt::SizeHorCursor);
    } else {
        view_->setCursor(Qt::SizeVerCursor);
    }
}

void OutlineEditor::EditOutline(QPointF pixel) {
    const int zoom = view_->Zoom();
    const double side = std::ldexp(1.0, zoom);
    const QPointF at = view_->GridAt(pixel);
    const QPointF grid(std::clamp(at.x(), 0.0, side), std::clamp(at.y(), 0.0, side));
    QRectF outline = dragOutline_;
    switch (drag_) {
        case Drag::None:
            return;
        case Drag::Draw:
            outline = QRectF(dragAnchor_, grid);
            break;
        case Drag::Move: {
            // Held whole within the world rather than squeezed at its edge.
            const QPointF by = grid - dragAnchor_;
            outline.translate(std::clamp(by.x(), -outline.left(), side - outline.right()),
                              std::clamp(by.y(), -outline.top(), side - outline.bottom()));
            break;
        }
        case Drag::Resize:
            if ((dragSides_ & kLeft) != 0) {
                outline.setLeft(grid.x());
            }
            if ((dragSides_ & kRight) != 0) {
                outline.setRight(grid.x());
            }
            if ((dragSides_ & kTop) != 0) {
                outline.setTop(grid.y());
            }
            if ((dragSides_ & kBottom) != 0) {
                outline.setBottom(grid.y());
            }
            break;
    }
    const GeoRect edited = GeoOfGrid(outline.normalized(), zoom);
    view_->SetOutline(edited);
    emit OutlineEdited(edited);
}

}  // namespace tessellon
