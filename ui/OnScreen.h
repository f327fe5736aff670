#pragma once

#include <QMargins>
#include <QRect>
#include <optional>

#include "Placement.h"

class QEvent;
class QWidget;

namespace vesmira {

inline Rect ToRect(const QRect& r) {
    return {r.x(), r.y(), r.width(), r.height()};
}

inline QRect ToQRect(const Rect& r) {
    return {r.x, r.y, r.width, r.height};
}

inline Frame ToFrame(const QMargins& m) {
    return {m.left(), m.top(), m.right(), m.bottom()};
}

// The frame a window has or will get from the window manager. Shown, its own;
// hidden (when it has none), that of a shown window of the same kind, as a
// window manager frames windows of one kind alike; else a guess that errs on
// the large side, a title bar and thin borders.
QMargins ExpectedFrame(const QWidget& window);

// Puts a window's frame at `at`: mapped, by placing its client area inside
// this frame; hidden, by asking the window manager, which puts the frame it
// draws there.
void MoveFrameTo(QWidget& window, const QPoint& at, const QMargins& frame);

// The frame position `at` moved the least that brings the window, with this
// frame, inside the available area of its screen.
QPoint PlaceInside(const QWidget& window, const QPoint& at, const QMargins& frame);

// Checks a window's place once the window manager has framed it. A window is
// placed before it is mapped, with the frame it is expected to get; once it
// is painted, the frame it got and the place it was put are known, though a
// window manager may frame it, and so move it, a moment later still.
class PlacementCheck {
  public:
    // The window was placed at frame position `at`, assuming this frame.
    void Placed(const QPoint& at, const QMargins& frame);
    // Called from the window's event() with each event: true when the window
    // needs placing again. From its first paint after a showing until it is
    // seen where it was placed, with the frame it was placed with, that is
    // when either differs (a few times at most: a window manager may insist);
    // later only when its frame changes, so that a window the user moved
    // stays where it was put.
    bool Differs(const QWidget& window, const QEvent& event);
    // The frame the window had when last checked; hidden, a window has none.
    const std::optional<QMargins>& seenFrame() const { return seen_; }

  private:
    bool painted_ = false;  // since it was last shown
    bool settled_ = false;
    int tries_ = 0;
    std::optional<QMargins> seen_;
    QPoint at_;
    QMargins frame_;
};

}  // namespace vesmira
