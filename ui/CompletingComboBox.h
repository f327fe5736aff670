#pragma once

#include <QComboBox>

namespace vesmira {

// A drop-down combo box with an editable text that completes what the user
// types to the first item beginning with it (without regard to case) and
// selects that item. changed() is emitted for the user's changes only:
//  - an item picked from the list or with the arrow keys;
//  - a typed character that completes to an item other than the selected one;
//  - every typed character that begins no item (nothing is then selected);
//  - every deletion (Backspace, Delete, cut; nothing is then selected), and
//    Backspace also when there is nothing before the caret to delete.
// Text from an input method counts as typed once it is committed, as one
// change; a reading still being composed, or cancelled, changes nothing.
// Assistive tools read it by its accessible name, its text as the value.
// A selection made by the program (SelectItem) emits nothing.
class CompletingComboBox : public QComboBox {
    Q_OBJECT
  public:
    explicit CompletingComboBox(QWidget* parent = nullptr);

    // Selects an item (or none, with -1) without emitting changed().
    void SelectItem(int index);

    // The first item that begins with text, without regard to case, or -1.
    int FirstItemStartingWith(const QString& text) const;

  signals:
    void changed();

  private:
    void OnTextEdited(const QString& text);
};

}  // namespace vesmira
