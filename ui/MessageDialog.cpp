#include "MessageDialog.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>

#include "InputChecks.h"
#include "WizardApplication.h"

namespace vesmira {

MessageDialog::MessageDialog(DialogKind kind, const QString& text) {
    const bool error = kind == DialogKind::kError;
    setWindowTitle(error ? QStringLiteral("エラー") : QStringLiteral("情報"));
    setIcon(error ? QMessageBox::Critical : QMessageBox::Information);
    // Plain text: a school name typed by the user is never read as markup.
    setTextFormat(Qt::PlainText);
    setText(QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setStandardButtons(QMessageBox::Ok);
    setDefaultButton(QMessageBox::Ok);
    setEscapeButton(QMessageBox::Ok);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
}

void MessageDialog::closeEvent(QCloseEvent* event) {
    // OK, Enter, Space and Esc finish the dialog without a close event; only
    // the close box and the window manager's close command arrive here.
    closedByWindow_ = true;
    QMessageBox::closeEvent(event);
}

void MessageDialog::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        QGuiApplication::clipboard()->setText(text());
        return;
    }
    QMessageBox::keyPressEvent(event);
}

void MessageDialog::showEvent(QShowEvent* event) {
    QMessageBox::showEvent(event);  // settles the final size first
    const QRect area = screen()->availableGeometry();
    const QSize frame = frameGeometry().size();
    move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
}

DialogResult ShowMessageDialog(const std::string& text, DialogKind kind) {
    MessageDialog dialog(kind, QString::fromStdString(text));
    ExecModal(dialog);
    return dialog.closedByWindow() ? kDialogClosed : kDialogOk;
}

void ShowInputError(int code) {
    ShowMessageDialog(InputErrorText(code), DialogKind::kError);
}

void CheckNumberField(const QLineEdit& field) {
    if (const int code = CheckNumberText(field.text().toStdString())) {
        ShowInputError(code);
    }
}

}  // namespace vesmira
