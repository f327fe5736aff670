#pragma once

#include <QObject>

#include <exception>
#include <string>

#include "Failure.h"

namespace vesmira {

// Shown for a failure that is not one of the wizard's own.
inline constexpr char kUnknownFailure[] = "予期しないエラーが発生しました";

// The text as the failure box shows it: "." is appended unless the text is
// empty or ends in an ASCII character up to "." (0x2E), such as ")" or a blank.
std::string FailureDisplayText(const std::string& text);

// The modal stop box captioned with the application title: the message
// dialog's layout, error icon and copying, with every byte of the text shown.
void ShowFailure(const std::string& text);

// Runs one event handler of a window. A failure ends the handler where it was
// raised and is shown in the failure box; the program goes on. Handlers are
// guarded here, at their own boundary, rather than by unwinding through the
// toolkit's frames, which are built without exception support.
template <typename Handler>
void RunGuarded(Handler&& handler) noexcept {
    try {
        handler();
    } catch (const Failure& failure) {
        ShowFailure(failure.message());  // whole, where what() would stop at a NUL
    } catch (const std::exception& failure) {
        ShowFailure(failure.what());
    } catch (...) {
        ShowFailure(kUnknownFailure);
    }
}

// Connects a signal to a window's handler method, run guarded.
template <typename Sender, typename Signal, typename Window>
void OnEvent(Sender* sender, Signal signal, Window* window, void (Window::*handler)()) {
    QObject::connect(sender, signal, window,
                     [window, handler] { RunGuarded([&] { (window->*handler)(); }); });
}

}  // namespace vesmira
