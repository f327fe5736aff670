#pragma once

// Where the wizard's windows go on a screen: rectangles in the toolkit's
// pixels, each window counted with the frame its window manager draws around
// it. Plain arithmetic, so that the rules hold whatever toolkit or window
// manager draws the windows.

namespace vesmira {

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Rect&) const = default;
};

// What a window manager adds around a window's client area: title bar and
// borders.
struct Frame {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const Frame&) const = default;
};

// The window moved the least that brings it inside the area: {600, 300, 100,
// 50} in {0, 0, 640, 512} is {540, 300, 100, 50}; one inside stays where it
// is. One wider or taller than the area starts at the area's left or top
// edge, so that its title bar can still be reached.
Rect MovedInside(Rect window, Rect area);

// A window of this size centred on the area and kept inside it: 200 by 100 on
// {0, 0, 1280, 1024} is {540, 462, 200, 100}; odd pixels go to the right and
// bottom.
Rect CentredIn(int width, int height, Rect area);

// The client area whose frame covers the area exactly: {0, 0, 1280, 1024}
// with a 24-pixel title bar is {0, 24, 1280, 1000}.
Rect ClientCovering(Rect area, Frame frame);

// Whether the window covers the area, each edge within tolerance pixels
// (what rounding to a scale factor may cost).
bool Covers(Rect window, Rect area, int tolerance);

}  // namespace vesmira
