#pragma once

#include <QApplication>

class QDialog;

namespace vesmira {

// The application object. Its notify() is the last catch for a failure that
// escapes an event, and it keeps a mouse press from completing into a click
// when a dialog opened while the press was being delivered (the press moved
// the focus out of a field whose check then spoke up).
class WizardApplication : public QApplication {
    Q_OBJECT
  public:
    WizardApplication(int& argc, char** argv);
    ~WizardApplication() override;
    bool notify(QObject* receiver, QEvent* event) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// Runs a modal dialog; afterwards the press that opened it (if any) is
// dropped and the window that was active gets the focus back, unless it has
// been hidden meanwhile.
int ExecModal(QDialog& dialog);

}  // namespace vesmira
