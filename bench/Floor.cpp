// The floor under the wizard's first screen: what the toolkit pays for its
// two windows at their least, a window that fills the screen, as the
// backdrop does, and a small dialog over it, each with one line of Japanese
// text in the default font. Fonts are found, loaded and drawn only once there
// is text; a maximized window's pixels alone are some 5 MiB.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QWidget>

#include "FirstPaint.h"

int main(int, char* argv[]) {
    vesmira_bench_mark("libraries loaded");
    int argc = 1;
    QApplication app(argc, argv);
    vesmira_bench_mark("toolkit and platform up");
    QWidget backdrop;
    backdrop.setWindowState(Qt::WindowMaximized);
    new QLabel(QStringLiteral("ヴェスミラ"), &backdrop);
    QDialog dialog;
    dialog.resize(315, 107);  // the birth-date window's size
    new QLabel(QStringLiteral("生年月日"), &dialog);
    vesmira_bench_mark("window created");
    new vesmira::bench::QuitAfterFirstPaint(&dialog);
    backdrop.show();
    dialog.show();
    vesmira_bench_mark("shown");
    return app.exec();
}
