// Where windows open: centred on the free area of the main window's screen,
// wholly on it, shrunk only as far as they can be.

#include "control/window_placement.h"

#include <gtest/gtest.h>

namespace tessellon {
namespace {

TEST(WindowPlacement, AWindowOpensCentredOnTheScreenItIsGiven) {
    // The second of two screens side by side, a panel of 30 pixels on top.
    const WindowBox second{1920, 30, 1280, 994};
    EXPECT_EQ(PlaceWindow({0, 0, 466, 120}, {0, 0, 466, 120}, second),
              (WindowBox{1920 + 407, 30 + 437, 466, 120}));
    // Wherever it was before: only its size counts.
    EXPECT_EQ(PlaceWindow({-500, 5000, 466, 120}, {}, second),
              PlaceWindow({0, 0, 466, 120}, {}, second));
}

TEST(WindowPlacement, AWindowTallerOrWiderThanTheScreenIsShrunkToIt) {
    const WindowBox laptop{0, 0, 1366, 728};
    // The map window asks for more than the laptop's free height.
    EXPECT_EQ(PlaceWindow({0, 0, 900, 800}, {0, 0, 600, 500}, laptop),
              (WindowBox{233, 0, 900, 728}));
    EXPECT_EQ(PlaceWindow({0, 0, 1500, 800}, {0, 0, 600, 500}, laptop),
              (WindowBox{0, 0, 1366, 728}));
    // Never below its smallest: it then starts at the top left corner, its
    // title bar and its left edge on the screen.
    EXPECT_EQ(PlaceWindow({0, 0, 900, 800}, {0, 0, 800, 760}, {100, 50, 700, 600}),
              (WindowBox{100, 50, 800, 760}));
}

}  // namespace
}  // namespace tessellon
