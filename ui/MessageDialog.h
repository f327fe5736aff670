#pragma once

#include <QMessageBox>
#include <string>

class QLineEdit;

namespace vesmira {

enum class DialogKind { kError, kInformation };

enum DialogResult : int { kDialogOk = 1, kDialogClosed = 2 };

// A modal message with one "OK" button, centred on the screen. OK by mouse,
// Space, Enter or Esc answers OK; the close box or the window manager's close
// command answers closed (a plain message box cannot tell the two apart).
// The text can be selected, and Ctrl+C copies it all.
class MessageDialog : public QMessageBox {
    Q_OBJECT
  public:
    MessageDialog(DialogKind kind, const QString& text);
    bool closedByWindow() const { return closedByWindow_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    bool closedByWindow_ = false;
};

// Shows text (lines ended by CR LF) in a modal dialog of the given kind.
DialogResult ShowMessageDialog(const std::string& text, DialogKind kind);

// The error dialog with the message of an input error code.
void ShowInputError(int code);

// The check run when the focus leaves a numeric field: an empty field or one
// that is not integer text is reported; the field keeps its text.
void CheckNumberField(const QLineEdit& field);

}  // namespace vesmira
