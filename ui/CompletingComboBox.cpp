#include "CompletingComboBox.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>

namespace vesmira {

namespace {

// The combo box's own line edit, which tells a deletion from typing and keeps
// the combo box from selecting an exactly matching item on its own when Enter
// is pressed or the focus leaves (it would match case-sensitively and emit
// activation the user did not ask for).
class CompletionEdit : public QLineEdit {
  public:
    using QLineEdit::QLineEdit;
    bool deleting() const { return deleting_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            const QSignalBlocker blocker(this);
            QLineEdit::keyPressEvent(event);
            return;
        }
        const bool backspace = event->key() == Qt::Key_Backspace;
        deleting_ = backspace || event->key() == Qt::Key_Delete ||
                    event->matches(QKeySequence::Cut) ||
                    event->matches(QKeySequence::DeleteStartOfWord) ||
                    event->matches(QKeySequence::DeleteEndOfWord) ||
                    event->matches(QKeySequence::DeleteEndOfLine);
        const QString before = text();
        QLineEdit::keyPressEvent(event);
        if (backspace && text() == before) {
            // Nothing before the caret to delete: Backspace still deselects
            // and counts as a change, as every Backspace does.
            emit textEdited(before);
        }
        deleting_ = false;
    }
    void focusOutEvent(QFocusEvent* event) override {
        const QSignalBlocker blocker(this);
        QLineEdit::focusOutEvent(event);
    }

  private:
    bool deleting_ = false;
};

}  // namespace

CompletingComboBox::CompletingComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setLineEdit(new CompletionEdit(this));
    setCompleter(nullptr);  // completion is ours: first item in list order, selected at once
    setInsertPolicy(QComboBox::NoInsert);
    connect(lineEdit(), &QLineEdit::textEdited, this, &CompletingComboBox::OnTextEdited);
    connect(this, &QComboBox::activated, this, &CompletingComboBox::changed);
}

void CompletingComboBox::SelectItem(int index) {
    const QSignalBlocker blocker(this);
    setCurrentIndex(index);
}

int CompletingComboBox::FirstItemStartingWith(const QString& text) const {
    for (int i = 0; i < count(); ++i) {
        if (itemText(i).startsWith(text, Qt::CaseInsensitive)) {
            return i;
        }
    }
    return -1;
}

void CompletingComboBox::OnTextEdited(const QString& text) {
    QLineEdit* edit = lineEdit();
    const int before = currentIndex();
    const bool deleting = static_cast<CompletionEdit*>(edit)->deleting();
    const bool atEnd = edit->cursorPosition() == text.size();
    const int match = deleting || !atEnd || text.isEmpty() ? -1 : FirstItemStartingWith(text);
    if (match >= 0) {
        SelectItem(match);
        const QString item = itemText(match);
        edit->setText(item);
        edit->setSelection(item.size(), text.size() - item.size());  // highlight the completion
        if (match != before) {
            emit changed();
        }
        return;
    }
    // Deselecting clears the edit text; the user's text and caret come back.
    const int caret = edit->cursorPosition();
    SelectItem(-1);
    edit->setText(text);
    edit->setCursorPosition(caret);
    emit changed();
}

}  // namespace vesmira
