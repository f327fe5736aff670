#include "Controls.h"

#include <QAccessible>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <cstdlib>

#include "FailureDisplay.h"
#include "FormLayout.h"
#include "Session.h"

namespace vesmira {

NumericEdit::NumericEdit(QWidget* parent) : QLineEdit(parent) {
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setInputMethodHints(Qt::ImhPreferNumbers | Qt::ImhLatinOnly | Qt::ImhNoPredictiveText);
}

QVariant NumericEdit::inputMethodQuery(Qt::InputMethodQuery query) const {
    if (query == Qt::ImEnabled) {
        return false;
    }
    return QLineEdit::inputMethodQuery(query);
}

void NumericEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    switch (event->reason()) {
        case Qt::ActiveWindowFocusReason:
        case Qt::PopupFocusReason:
        case Qt::MenuBarFocusReason:
            return;
        default:
            emit exited();
    }
}

StepWindow::StepWindow(const WindowLayout& layout) : layout_(&layout) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    BuildFrame(this, layout);
    setFixedSize(layout.size);
    home_ = layout.position;
}

void StepWindow::Build() {
    if (built_) {
        return;
    }
    built_ = true;
    BuildControls(this, *layout_);
    if (layout_->entryField != nullptr) {
        entryField_ = Control<QWidget>(this, layout_->entryField);
    }
    ControlsBuilt();
}

void StepWindow::TakeOver(QWidget* previous) {
    Build();
    if (entryField_ != nullptr) {
        entryField_->setFocus(Qt::OtherFocusReason);  // taken when the window is activated
    }
    ShowOnTop(this);
    previous->hide();
}

void StepWindow::AnnounceStep() {
    // The focus did not move, so the toolkit does not announce it; before
    // Qt 6.8 it did not announce a new caption either.
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
    QAccessibleEvent name(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&name);
#endif
    if (QWidget* field = focusWidget()) {
        QAccessibleEvent focus(field, QAccessible::Focus);
        QAccessible::updateAccessibility(&focus);
    }
}

bool StepWindow::event(QEvent* event) {
    if (placement_.Differs(*this, *event)) {
        QTimer::singleShot(0, this, &StepWindow::KeepOnScreen);
    }
    return QDialog::event(event);
}

void StepWindow::KeepOnScreen() {
    const QMargins frame = ExpectedFrame(*this);
    const QPoint at = PlaceInside(*this, home_, frame);
    MoveFrameTo(*this, at, frame);
    placement_.Placed(at, frame);
}

void StepWindow::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Cancel)) {
        return;  // a step window is left by its buttons or its close box, not by Esc
    }
    QDialog::keyPressEvent(event);
}

void StepWindow::closeEvent(QCloseEvent* event) {
    RunGuarded([this] { FormClose(); });
    event->accept();
}

void StepWindow::showEvent(QShowEvent* event) {
    // Runs before the window is mapped, so the backdrop it may show lies below.
    RunGuarded([this] { FormShow(); });
    KeepOnScreen();
    QDialog::showEvent(event);
    // Coming back to a step, the field that has the focus is ready to be
    // typed over, as when it is entered with Tab.
    if (auto* combo = qobject_cast<QComboBox*>(focusWidget())) {
        combo->lineEdit()->selectAll();
    } else if (auto* edit = qobject_cast<QLineEdit*>(focusWidget())) {
        edit->selectAll();
    }
}

void StepWindow::hideEvent(QHideEvent* event) {
    // Where the user may have moved it.
    home_ = pos();
    QDialog::hideEvent(event);
}

std::string FieldText(const QLineEdit* field) {
    return field->text().toStdString();
}

void ShowFinishOrNext(QPushButton* button, bool final) {
    button->setText(final ? QStringLiteral("完了") : QStringLiteral("次へ"));
}

void ShowOnTop(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

void EndProgram() {
    ReleaseWorkingFolder();
    // exit(), not quit(): quit() asks every window first, and the backdrop refuses.
    QCoreApplication::exit(0);
}

void EndProgramNow() {
    ReleaseWorkingFolder();
    // Not through the event loop: a signal may come while a dialog waits for
    // its answer, and the code after that dialog must not go on as if it had
    // been answered.
    std::_Exit(0);
}

}  // namespace vesmira
