#include "Unit3.h"

#include <QCloseEvent>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <utility>

#include "AppInfo.h"
#include "FormLayout.h"
#include "OnScreen.h"

namespace vesmira {

TForm3* Form3 = nullptr;

namespace {

constexpr QRgb kNavy = qRgb(0, 0, 128);
// What a frame measured at a scale factor may be off by, per edge.
constexpr int kRoundingPixels = 1;

constexpr ControlLayout kControls[] = {
    {.name = "Label1",
     .kind = ControlKind::kLabel,
     .geometry = {16, 8, 465, 43},
     .text = kApplicationTitle,
     .fontPixels = 43,
     .boldItalic = true,
     .textColor = qRgb(255, 255, 255)},
};

// Position and size as designed for the restored window; shown, it covers the
// screen, maximized where the window manager allows.
constexpr WindowLayout kForm3 = {kApplicationTitle, {311, 161}, {696, 480}, kControls};

}  // namespace

TForm3::TForm3() {
    // A title bar without any buttons.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    QPalette backdrop = palette();
    backdrop.setColor(QPalette::Window, QColor::fromRgb(kNavy));
    setPalette(backdrop);
    setAutoFillBackground(true);
    BuildForm(this, kForm3);
}

void TForm3::closeEvent(QCloseEvent* event) {
    event->ignore();
}

// Without buttons, the window has no maximize function either. Asked to be
// maximized as it is mapped, some window managers (xfwm4) keep it at its
// restored size then, and refuse any other size too; asked once it is mapped,
// they refuse only the state. So it is mapped covering the screen, and then
// asked to be maximized, which others grant.
void TForm3::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    const QRect area = screen()->availableGeometry();
    setGeometry(ToQRect(ClientCovering(ToRect(area), ToFrame(ExpectedFrame(*this)))));
    shown_ = true;
    connect(screen(), &QScreen::availableGeometryChanged, this, &TForm3::CoverAvailableArea,
            Qt::UniqueConnection);
}

bool TForm3::event(QEvent* event) {
    // Painted, it has the frame the window manager gave it.
    if (event->type() == QEvent::Paint && std::exchange(shown_, false)) {
        QTimer::singleShot(0, this, &TForm3::CoverAvailableArea);
    }
    return QWidget::event(event);
}

void TForm3::CoverAvailableArea() {
    if (!isVisible()) {
        return;
    }
    const QRect area = screen()->availableGeometry();
    if (!Covers(ToRect(frameGeometry()), ToRect(area), kRoundingPixels)) {
        setGeometry(ToQRect(ClientCovering(ToRect(area), ToFrame(ExpectedFrame(*this)))));
    }
    setWindowState(windowState() | Qt::WindowMaximized);
}

}  // namespace vesmira
