#pragma once

#include <QWidget>

namespace vesmira {

// The backdrop: a maximized navy window with the application title, shown
// behind the step windows so that the wizard fills the screen.
class TForm3 : public QWidget {
    Q_OBJECT
  public:
    TForm3();

  protected:
    // It has no close box; window managers that draw one anyway are refused.
    void closeEvent(QCloseEvent* event) override;
};

extern TForm3* Form3;

}  // namespace vesmira
