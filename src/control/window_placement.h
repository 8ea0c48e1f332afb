#pragma once
// Where a window opens: on the screen that holds the main window, centred in
// its free area (the desktop's panels left out) and wholly on it, shrunk
// where it is larger than that area.

namespace tessellon {

struct WindowBox {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;

    bool operator==(const WindowBox&) const = default;
};

// The frame of a window of `frame`'s size placed in `screen`, the free area
// of the screen it is to open on. `minimum` is the smallest the window
// can be; a window larger than the area is shrunk to it, never below
// `minimum`, and then keeps its top left corner on the area.
WindowBox PlaceWindow(const WindowBox& frame, const WindowBox& minimum, const WindowBox& screen);

}  // namespace tessellon
