#include "Placement.h"

#include <algorithm>
#include <cstdint>

namespace vesmira {

namespace {

// The start of a span of this length moved the least into [from, from +
// room); widths near the int limits are summed in 64 bits.
int MovedInto(int start, int length, int from, int room) {
    const int64_t last = int64_t{from} + room - length;
    if (last <= from) {
        return from;  // does not fit: its leading edge stays reachable
    }
    return static_cast<int>(std::clamp<int64_t>(start, from, last));
}

bool Near(int64_t a, int64_t b, int tolerance) {
    return a - b <= tolerance && b - a <= tolerance;
}

}  // namespace

Rect MovedInside(Rect window, Rect area) {
    return {MovedInto(window.x, window.width, area.x, area.width),
            MovedInto(window.y, window.height, area.y, area.height), window.width, window.height};
}

Rect CentredIn(int width, int height, Rect area) {
    const Rect centred = {static_cast<int>(area.x + (int64_t{area.width} - width) / 2),
                          static_cast<int>(area.y + (int64_t{area.height} - height) / 2), width,
                          height};
    return MovedInside(centred, area);
}

Rect ClientCovering(Rect area, Frame frame) {
    return {area.x + frame.left, area.y + frame.top,
            std::max(0, area.width - frame.left - frame.right),
            std::max(0, area.height - frame.top - frame.bottom)};
}

bool Covers(Rect window, Rect area, int tolerance) {
    return Near(window.x, area.x, tolerance) && Near(window.y, area.y, tolerance) &&
           Near(int64_t{window.x} + window.width, int64_t{area.x} + area.width, tolerance) &&
           Near(int64_t{window.y} + window.height, int64_t{area.y} + area.height, tolerance);
}

}  // namespace vesmira
