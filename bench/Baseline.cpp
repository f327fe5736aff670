// The reference for start-up: the least a program built on the same toolkit
// does to put one window on the screen.
#include <QApplication>
#include <QWidget>

#include "FirstPaint.h"

int main(int, char* argv[]) {
    vesmira_bench_mark("libraries loaded");
    int argc = 1;
    QApplication app(argc, argv);
    vesmira_bench_mark("toolkit and platform up");
    QWidget window;
    vesmira_bench_mark("window created");
    new vesmira::bench::QuitAfterFirstPaint(&window);
    window.show();
    vesmira_bench_mark("shown");
    return app.exec();
}
