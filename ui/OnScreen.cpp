#include "OnScreen.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <utility>

namespace vesmira {

namespace {

constexpr QMargins kFrameGuess(8, 32, 8, 8);
// How often a window is placed again before the window manager's place for it
// is taken.
constexpr int kPlacingTries = 3;

// Mapped, a window has the frame the window manager gave it.
bool Framed(const QWidget& window) {
    return window.isVisible() && window.windowHandle() != nullptr &&
           window.windowHandle()->isExposed();
}

// Where the frame of a shown window is, from where its client area is: the
// toolkit's own idea of it can lag behind the frame (at a scale factor).
QPoint FramePosition(const QWidget& window, const QMargins& frame) {
    return window.geometry().topLeft() - QPoint(frame.left(), frame.top());
}

}  // namespace

QMargins ExpectedFrame(const QWidget& window) {
    // Some window managers (kwin) frame a window only a moment after it is
    // mapped; until then the toolkit reports no frame for it. A window of the
    // same kind that has one tells what it will get.
    const bool framed = Framed(window);
    const QMargins own = framed ? window.windowHandle()->frameMargins() : QMargins();
    if (!own.isNull()) {
        return own;
    }
    for (const QWidget* other : QApplication::topLevelWidgets()) {
        if (other != &window && other->windowType() == window.windowType() && Framed(*other) &&
            !other->windowHandle()->frameMargins().isNull()) {
            return other->windowHandle()->frameMargins();
        }
    }
    return framed ? own : kFrameGuess;
}

void MoveFrameTo(QWidget& window, const QPoint& at, const QMargins& frame) {
    if (Framed(window)) {
        window.setGeometry(QRect(at + QPoint(frame.left(), frame.top()), window.size()));
    } else {
        window.move(at);  // the window manager puts the frame there
    }
}

QPoint PlaceInside(const QWidget& window, const QPoint& at, const QMargins& frame) {
    const QRect outer(at, window.size().grownBy(frame));
    const QRect area = window.screen()->availableGeometry();
    return ToQRect(MovedInside(ToRect(outer), ToRect(area))).topLeft();
}

void PlacementCheck::Placed(const QPoint& at, const QMargins& frame) {
    at_ = at;
    frame_ = frame;
}

bool PlacementCheck::Differs(const QWidget& window, const QEvent& event) {
    const QEvent::Type type = event.type();
    if (type == QEvent::Show) {
        painted_ = settled_ = false;
        tries_ = 0;
        return false;
    }
    if ((type != QEvent::Paint && type != QEvent::Move && type != QEvent::Resize) ||
        !Framed(window) || (!painted_ && type != QEvent::Paint)) {
        return false;  // before its first paint, the toolkit's idea of it lags behind
    }
    painted_ = true;
    const QMargins frame = ExpectedFrame(window);
    seen_ = frame;
    if (settled_) {
        return std::exchange(frame_, frame) != frame;
    }
    if (frame == frame_ && FramePosition(window, frame) == at_) {
        settled_ = true;
        return false;
    }
    settled_ = ++tries_ >= kPlacingTries;
    return true;
}

}  // namespace vesmira
