// The reference for start-up: the least a program built on the same toolkit
// does to put one window on the screen.
#include <QApplication>
#include <QWidget>

#include "FirstPaint.h"

int main(int, char* argv[]) {
    int argc = 1;
    QApplication app(argc, argv);
    QWidget window;
    new vesmira::bench::QuitAfterFirstPaint(&window);
    window.show();
    return app.exec();
}
