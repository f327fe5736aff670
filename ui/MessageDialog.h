#pragma once

#include <QDialog>
#include <QKeySequence>
#include <QString>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "OnScreen.h"

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vesmira {

class MessageText;

enum class DialogKind { kError, kInformation };

enum DialogResult : int { kDialogOk = 1, kDialogClosed = 2 };

// One more entry for a dialog's context menu, with a shortcut of its own, that
// puts a text of the caller's on the clipboard (the dialog's own entries copy
// what it shows).
struct CopyAction {
    QString label;
    QKeySequence shortcut;
    QString text;
};

// A modal message: the kind's icon at the top left, the text to its right,
// wrapped to fit half the screen's width and scrolling beyond its height, and
// "OK" centred below; centred on the screen of the active window. OK by
// mouse, Space, Enter or Esc answers OK; the close box or the window
// manager's close command answers closed. The text is plain, selectable with
// the mouse and the keyboard; Ctrl+C (or the context menu) copies the
// selection, or the whole text when nothing is selected.
class MessageDialog : public QDialog {
    Q_OBJECT
  public:
    MessageDialog(DialogKind kind, const QString& caption);

    // Shows text (any bytes; lines ended by CR LF) until it is answered.
    // onOk runs when the answer is OK, while the dialog is still shown: a
    // window it brings up is then the one the window system activates next.
    DialogResult Run(const std::string& text, std::span<const CopyAction> extra = {},
                     std::function<void()> onOk = {});

    DialogKind kind() const { return kind_; }
    const QString& text() const;  // as shown
    QLabel* iconLabel() const { return icon_; }
    MessageText* textView() const { return text_; }
    QPushButton* okButton() const { return ok_; }

  protected:
    void done(int result) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // An entry of the context menu, with its shortcut anywhere in the dialog.
    void AddEntry(QAction* action, const QKeySequence& shortcut, const std::function<void()>& run);
    void FitToScreen();
    void Copy();

    DialogKind kind_;
    QLabel* icon_;
    MessageText* text_;
    QPushButton* ok_;
    bool closedByWindow_ = false;
    std::function<void()> onOk_;
    PlacementCheck placement_;
};

// The text as a dialog shows it: UTF-8 decoded, invalid sequences as U+FFFD;
// CR LF, and a lone CR or LF, start a new line ("\n"); NUL and every other
// control character, the bidirectional controls and non-characters, which
// would be invisible or rearrange what is shown, are shown as U+FFFD.
QString DisplayText(std::string_view text);

// Shows text in the kept dialog of this caption and kind. The dialogs are
// made on first use and kept for the program's life: showing one that
// exists is what a user waits for, building it is not.
DialogResult RunMessageDialog(const QString& caption, DialogKind kind, const std::string& text,
                              std::span<const CopyAction> extra = {},
                              std::function<void()> onOk = {});

// Shows text (lines ended by CR LF) in a modal dialog of the given kind,
// captioned "エラー" or "情報"; extra entries join its context menu.
DialogResult ShowMessageDialog(const std::string& text, DialogKind kind,
                               std::span<const CopyAction> extra = {},
                               std::function<void()> onOk = {});

// The wizard's result (the history and the age) in the information dialog,
// whose context menu and Ctrl+Shift+C also copy it as 履歴書 rows (年, 和暦,
// 月, 学歴, tab-separated). onOk as for MessageDialog::Run.
DialogResult ShowResult(const std::string& message, std::function<void()> onOk = {});

// The error dialog with the message of an input error code.
void ShowInputError(int code);

// The check run when the focus leaves a numeric field: an empty field or one
// that is not integer text is reported; the field keeps its text.
void CheckNumberField(const QLineEdit& field);

// Destroys the kept dialogs; runs before the application object goes.
void DestroyDialogs();

}  // namespace vesmira
