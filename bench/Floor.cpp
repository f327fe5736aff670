// The floor under the wizard's first screen: what the toolkit pays for a
// window that fills the screen, as the backdrop does, with one line of
// Japanese text in its default font. Fonts are found, loaded and drawn only
// once there is text; a maximized window's pixels alone are some 5 MiB.
#include <QApplication>
#include <QLabel>
#include <QWidget>

#include "FirstPaint.h"

int main(int, char* argv[]) {
    vesmira_bench_mark("libraries loaded");
    int argc = 1;
    QApplication app(argc, argv);
    vesmira_bench_mark("toolkit and platform up");
    QWidget window;
    window.setWindowState(Qt::WindowMaximized);
    new QLabel(QStringLiteral("生年月日"), &window);
    vesmira_bench_mark("window created");
    new vesmira::bench::QuitAfterFirstPaint(&window);
    window.show();
    vesmira_bench_mark("shown");
    return app.exec();
}
