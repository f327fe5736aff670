#pragma once

#include <QDialog>
#include <QLineEdit>
#include <string>

#include "OnScreen.h"

class QPushButton;

namespace vesmira {

struct WindowLayout;

// An edit field for numbers. The input method is off while it has the focus
// (QLineEdit ignores the widget attribute, so the query answers for it), and
// exited() is emitted when the user moves the focus to another control of the
// same window; focus lost to a dialog, a popup or another window is not an exit.
class NumericEdit : public QLineEdit {
    Q_OBJECT
  public:
    explicit NumericEdit(QWidget* parent = nullptr);
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

  signals:
    void exited();

  protected:
    void focusOutEvent(QFocusEvent* event) override;
};

// A wizard step window: a fixed-size dialog frame with a close box only,
// built from its layout table, shown where it was designed to be as far as
// the screen allows. Enter presses the default button (or the
// focused button); Esc does nothing; closing it runs FormClose.
class StepWindow : public QDialog {
    Q_OBJECT
  public:
    // The frame only (caption, place, size, font); the controls come with Build.
    explicit StepWindow(const WindowLayout& layout);

    // Creates the controls from the layout table, once.
    void Build();
    bool Built() const { return built_; }

    // Takes over from the other step window: this one comes up with the focus
    // on its entry field (so that Enter goes where the user expects), and the
    // other is hidden only then, so the backdrop is never activated in between.
    void TakeOver(QWidget* previous);

  protected:
    // Runs once the controls exist: the window takes its controls by name
    // and connects its handlers.
    virtual void ControlsBuilt() = 0;
    virtual void FormShow() {}
    virtual void FormClose() = 0;

    // Tells assistive tools that the window moved to another step (new
    // caption, fields reset): its new name, and the focus once more.
    void AnnounceStep();

    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    // Where it was last shown (at first, where it was designed to be), or as
    // near to that as keeps it inside the screen's available area.
    void KeepOnScreen();

    const WindowLayout* layout_;
    bool built_ = false;
    QWidget* entryField_ = nullptr;
    QPoint home_;  // the frame position it is to come back to
    PlacementCheck placement_;
};

// The text of a field as the wizard's rules take it, UTF-8.
std::string FieldText(const QLineEdit* field);

// A step's button reads "完了" while the final school is ticked, else "次へ".
void ShowFinishOrNext(QPushButton* button, bool final);

// Shows a window above the others and gives it the focus.
void ShowOnTop(QWidget* window);

// Removes the step files and the lock file and ends the program: what closing
// a step window does.
void EndProgram();

// The same, for a signal: at once, from wherever the program stands.
[[noreturn]] void EndProgramNow();

}  // namespace vesmira
