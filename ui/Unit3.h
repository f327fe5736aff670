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
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    // Covers the screen's available area with its frame, where the window
    // manager has not maximized it, and asks to be maximized.
    void CoverAvailableArea();

    bool shown_ = false;  // painted since it was last shown
};

extern TForm3* Form3;

}  // namespace vesmira
