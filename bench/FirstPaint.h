#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QWidget>

#include "Marks.h"

namespace vesmira::bench {

// Marks the first paint of a window and then ends the event loop; both are
// queued so that the paint and its flush to the screen finish first. Every
// start-up probe stops this way, so they pay for the same amount of work.
class QuitAfterFirstPaint : public QObject {
  public:
    explicit QuitAfterFirstPaint(QWidget* window) : QObject(window) {
        window->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [] {
                    vesmira_bench_mark("painted");
                    QCoreApplication::exit(0);
                },
                Qt::QueuedConnection);
        }
        return false;
    }
};

}  // namespace vesmira::bench
