#include "control/window_placement.h"

#include <algorithm>

namespace tessellon {

namespace {

// `length` centred in the span from `start` of `room`; a length beyond the
// room starts where the room does.
int Centred(int start, int room, int length) {
    return length >= room ? start : start + (room - length) / 2;
}

}  // namespace

WindowBox PlaceWindow(const WindowBox& frame, const WindowBox& minimum, const WindowBox& screen) {
    WindowBox placed;
    placed.Width = std::max(std::min(frame.Width, screen.Width), minimum.Width);
    placed.Height = std::max(std::min(frame.Height, screen.Height), minimum.Height);
    placed.Left = Centred(screen.Left, screen.Width, placed.Width);
    placed.Top = Centred(screen.Top, screen.Height, placed.Height);
    return placed;
}

}  // namespace tessellon
