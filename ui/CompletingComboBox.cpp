#include "CompletingComboBox.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <functional>
#include <utility>

namespace vesmira {

namespace {

// The combo box's own line edit, which tells a deletion from typing and keeps
// the combo box from selecting an exactly matching item on its own when Enter
// is pressed or the focus leaves (it would match case-sensitively and emit
// activation the user did not ask for).
//
// It also holds back what an input method does until the user commits: a
// reading (preedit) shows in place of the selected text, the completion waits
// for the committed text (changing the text under a reading resets the input
// method, which then commits the reading's first letters by itself), and a
// reading the user cancels leaves the field as it was before the reading.
class CompletionEdit : public QLineEdit {
  public:
    // committed runs once a composition ends with committed text.
    CompletionEdit(QWidget* parent, std::function<void()> committed)
        : QLineEdit(parent), committed_(std::move(committed)) {}
    bool deleting() const { return deleting_; }
    // True while an input method event is applied: the text edits it makes
    // on the way (the selection removed, a commit) are not the user's yet.
    bool applyingInputMethod() const { return applyingInputMethod_; }

  protected:
    void inputMethodEvent(QInputMethodEvent* event) override {
        const bool starts = !composing_ && !event->preeditString().isEmpty();
        if (starts) {
            beforeReading_ = {.text = text(),
                              .selectionStart = selectionStart(),
                              .selectionEnd = selectionEnd(),
                              .cursor = cursorPosition()};
            committedInReading_ = false;
        }
        const bool wasComposing = composing_ || starts;
        {
            const QScopedValueRollback applying(applyingInputMethod_, true);
            QLineEdit::inputMethodEvent(event);
        }
        composing_ = !event->preeditString().isEmpty();
        committedInReading_ = committedInReading_ || !event->commitString().isEmpty() ||
                              event->replacementLength() > 0;
        if (composing_) {
            return;
        }
        if (committedInReading_) {
            committedInReading_ = false;
            committed_();
        } else if (wasComposing) {
            RestoreBeforeReading();
        }
    }
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
    // A cancelled reading: the text and selection it replaced come back, and
    // the input method forgets it (the toolkit's plugin would otherwise
    // commit it on the next Enter, Tab or click).
    void RestoreBeforeReading() {
        const Snapshot& was = beforeReading_;
        setText(was.text);
        if (was.selectionStart < 0) {
            setCursorPosition(was.cursor);
        } else if (was.cursor == was.selectionStart) {
            setSelection(was.selectionEnd, was.selectionStart - was.selectionEnd);
        } else {
            setSelection(was.selectionStart, was.selectionEnd - was.selectionStart);
        }
        QGuiApplication::inputMethod()->reset();
    }

    struct Snapshot {
        QString text;
        int selectionStart = -1;  // -1: nothing selected
        int selectionEnd = -1;
        int cursor = 0;
    };
    std::function<void()> committed_;
    bool deleting_ = false;
    bool applyingInputMethod_ = false;
    bool composing_ = false;
    bool committedInReading_ = false;
    Snapshot beforeReading_;
};

// What assistive tools are told about the combo box. The toolkit's own
// interface names it by its current text on Linux (西暦, 高等学校) whatever
// its accessible name says, so a screen reader would never hear which field
// it is; this one keeps the name and gives the text as the value, with the
// same children: the list, then the text part.
class ComboBoxAccessible : public QAccessibleWidget {
  public:
    explicit ComboBoxAccessible(QComboBox* combo)
        : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Value ? combo()->lineEdit()->text() : QAccessibleWidget::text(t);
    }
    int childCount() const override { return int(parts().size()); }
    QAccessibleInterface* child(int index) const override {
        return QAccessible::queryAccessibleInterface(parts().value(index));
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return int(parts().indexOf(qobject_cast<QWidget*>(child->object())));
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        QAccessibleInterface* textPart = child(1);
        return textPart->rect().contains(x, y) ? textPart : nullptr;
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.expanded = combo()->view()->isVisible();
        state.editable = true;
        return state;
    }
    QStringList actionNames() const override {
        return QAccessibleWidget::actionNames() << showMenuAction();
    }
    void doAction(const QString& action) override {
        if (action != showMenuAction()) {
            QAccessibleWidget::doAction(action);
        } else if (combo()->view()->isVisible()) {
            combo()->hidePopup();
        } else {
            combo()->showPopup();
        }
    }

  private:
    QComboBox* combo() const { return static_cast<QComboBox*>(widget()); }
    QList<QWidget*> parts() const { return {combo()->view(), combo()->lineEdit()}; }
};

QAccessibleInterface* AccessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String(CompletingComboBox::staticMetaObject.className())) {
        return new ComboBoxAccessible(static_cast<CompletingComboBox*>(object));
    }
    return nullptr;
}

}  // namespace

CompletingComboBox::CompletingComboBox(QWidget* parent) : QComboBox(parent) {
    [[maybe_unused]] static const bool readable =
        (QAccessible::installFactory(&AccessibleFactory), true);
    setEditable(true);
    setLineEdit(new CompletionEdit(this, [this] { OnTextEdited(lineEdit()->text()); }));
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
    const auto* ownEdit = static_cast<CompletionEdit*>(edit);
    if (ownEdit->applyingInputMethod()) {
        return;  // the committed text comes once the composition ends
    }
    const int before = currentIndex();
    const bool deleting = ownEdit->deleting();
    const bool atEnd = edit->cursorPosition() == text.size();
    const int match = deleting || !atEnd || text.isEmpty() ? -1 : FirstItemStartingWith(text);
    // The text is changed in place, and set only to deselect an item: setting
    // it resets the input method, which may already hold the user's next
    // reading and would then commit its first letters.
    if (match >= 0) {
        const QString item = itemText(match);
        if (text != item) {
            const QSignalBlocker quiet(edit);
            edit->setSelection(0, int(text.size()));
            edit->insert(item);
        }
        SelectItem(match);  // leaves a text that is the item's already
        edit->setSelection(item.size(), text.size() - item.size());  // highlight the completion
        if (match != before) {
            emit changed();
        }
        return;
    }
    if (before >= 0) {
        // Deselecting clears the edit text; the user's text and caret come back.
        const int caret = edit->cursorPosition();
        SelectItem(-1);
        edit->setText(text);
        edit->setCursorPosition(caret);
    }
    emit changed();
}

}  // namespace vesmira
