#include "Unit3.h"

#include <QCloseEvent>

#include "AppInfo.h"
#include "FormLayout.h"

namespace vesmira {

TForm3* Form3 = nullptr;

namespace {

constexpr QRgb kNavy = qRgb(0, 0, 128);

constexpr ControlLayout kControls[] = {
    {.name = "Label1",
     .kind = ControlKind::kLabel,
     .geometry = {16, 8, 465, 43},
     .text = kApplicationTitle,
     .fontPixels = 43,
     .boldItalic = true,
     .textColor = qRgb(255, 255, 255)},
};

// Position and size are those of the restored window; it is shown maximized.
constexpr WindowLayout kForm3 = {kApplicationTitle, {311, 161}, {696, 480}, kControls};

}  // namespace

TForm3::TForm3() {
    // A title bar without any buttons.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowState(Qt::WindowMaximized);
    QPalette backdrop = palette();
    backdrop.setColor(QPalette::Window, QColor::fromRgb(kNavy));
    setPalette(backdrop);
    setAutoFillBackground(true);
    BuildForm(this, kForm3);
}

void TForm3::closeEvent(QCloseEvent* event) {
    event->ignore();
}

}  // namespace vesmira
