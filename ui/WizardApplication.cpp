#include "WizardApplication.h"

#include <QDialog>
#include <QPointer>
#include <QTimer>

#include "FailureDisplay.h"
#include "MessageDialog.h"

namespace vesmira {

namespace {

// Depth of spontaneous mouse presses being delivered to widgets.
int pressDepth = 0;
// Set when a modal dialog ran inside such a press: the press is then eaten
// before it reaches its widget, so the button neither clicks nor stays down.
bool dropPress = false;

bool IsPress(const QEvent* event) {
    return event->type() == QEvent::MouseButtonPress ||
           event->type() == QEvent::MouseButtonDblClick;
}

class PressScope {
  public:
    explicit PressScope(bool active) : active_(active) {
        if (active_) {
            ++pressDepth;
        }
    }
    ~PressScope() {
        if (active_ && --pressDepth == 0) {
            dropPress = false;
        }
    }
    PressScope(const PressScope&) = delete;
    PressScope& operator=(const PressScope&) = delete;

  private:
    bool active_;
};

}  // namespace

WizardApplication::WizardApplication(int& argc, char** argv) : QApplication(argc, argv) {
    installEventFilter(this);
}

WizardApplication::~WizardApplication() {
    DestroyDialogs();  // widgets must go while the application still exists
}

bool WizardApplication::notify(QObject* receiver, QEvent* event) {
    PressScope scope(event->spontaneous() && receiver->isWidgetType() && IsPress(event));
    bool handled = false;
    RunGuarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

bool WizardApplication::eventFilter(QObject* watched, QEvent* event) {
    if (dropPress && watched->isWidgetType() && IsPress(event)) {
        dropPress = false;
        return true;
    }
    return QApplication::eventFilter(watched, event);
}

int ExecModal(QDialog& dialog) {
    const QPointer<QWidget> previous = QApplication::activeWindow();
    const int result = dialog.exec();
    dropPress = pressDepth > 0;
    if (previous) {
        // Only once the handler that opened the dialog has run on: it may have
        // moved on to the other step window, which is then not to be followed
        // by the one it left.
        QTimer::singleShot(0, previous, [window = previous.data()] {
            if (window->isVisible()) {
                window->activateWindow();
            }
        });
    }
    return result;
}

}  // namespace vesmira
