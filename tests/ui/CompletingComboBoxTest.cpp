#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

#include "CompletingComboBox.h"
#include "UiTestSupport.h"

using vesmira::CompletingComboBox;

namespace {

const QStringList kItems = {"Apple", "apricot", "Ap", "Banana", "高等専門学校", "高等学校", "高校"};

}  // namespace

class CompletingComboBoxTest : public QObject {
    Q_OBJECT

  private:
    CompletingComboBox* combo_ = nullptr;
    QWidget* window_ = nullptr;

    QLineEdit* edit() const { return combo_->lineEdit(); }

  private slots:
    void init() {
        window_ = new QWidget;
        combo_ = new CompletingComboBox(window_);
        combo_->addItems(kItems);
        combo_->SelectItem(-1);
        window_->show();
        QVERIFY(QTest::qWaitForWindowActive(window_));
        combo_->setFocus(Qt::TabFocusReason);
    }
    void cleanup() { delete window_; }

    // Each keystroke: the text after it, the item selected, the highlighted
    // completion, and whether the change handler ran.
    void typingFollowsTheCompletionRules_data() {
        QTest::addColumn<QString>("keys");  // '<' is Backspace, '^' is Home
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QList<int>>("indexes");
        QTest::addColumn<QStringList>("highlights");
        QTest::addColumn<QList<int>>("changes");  // cumulative count of changed()

        QTest::newRow("completesToFirstItemInListOrder")
            << "a" << QStringList{"Apple"} << QList<int>{0} << QStringList{"pple"} << QList<int>{1};
        QTest::newRow("sameItemRunsNothing")
            << "ap" << QStringList{"Apple", "Apple"} << QList<int>{0, 0}
            << QStringList{"pple", "ple"} << QList<int>{1, 1};
        QTest::newRow("otherItemRunsAgainWithoutRegardToCase")
            << "apr" << QStringList{"Apple", "Apple", "apricot"} << QList<int>{0, 0, 1}
            << QStringList{"pple", "ple", "icot"} << QList<int>{1, 1, 2};
        QTest::newRow("noItemRunsOnEveryKeystroke")
            << "xyz" << QStringList{"x", "xy", "xyz"} << QList<int>{-1, -1, -1}
            << QStringList{"", "", ""} << QList<int>{1, 2, 3};
        QTest::newRow("backspaceDeletesTheHighlightAndDeselects")
            << "b<" << QStringList{"Banana", "B"} << QList<int>{3, -1} << QStringList{"anana", ""}
            << QList<int>{1, 2};
        QTest::newRow("backspaceThenTypingCompletesAgain")
            << "b<<b" << QStringList{"Banana", "B", "", "Banana"} << QList<int>{3, -1, -1, 3}
            << QStringList{"anana", "", "", "anana"} << QList<int>{1, 2, 3, 4};
        QTest::newRow("backspaceOnEmptyTextStillRuns")
            << "<" << QStringList{""} << QList<int>{-1} << QStringList{""} << QList<int>{1};
        QTest::newRow("backspaceAtTheStartKeepsTheTextAndDeselects")
            << "b^<<" << QStringList{"Banana", "Banana", "Banana", "Banana"}
            << QList<int>{3, 3, -1, -1} << QStringList{"anana", "", "", ""}
            << QList<int>{1, 1, 2, 3};
    }
    void typingFollowsTheCompletionRules() {
        QFETCH(QString, keys);
        QFETCH(QStringList, texts);
        QFETCH(QList<int>, indexes);
        QFETCH(QStringList, highlights);
        QFETCH(QList<int>, changes);
        QSignalSpy changed(combo_, &CompletingComboBox::changed);
        for (int i = 0; i < keys.size(); ++i) {
            if (keys[i] == '<') {
                QTest::keyClick(combo_, Qt::Key_Backspace);
            } else if (keys[i] == '^') {
                QTest::keyClick(combo_, Qt::Key_Home);
            } else {
                QTest::keyClick(combo_, keys[i].toLatin1());
            }
            QCOMPARE(edit()->text(), texts[i]);
            QCOMPARE(combo_->currentIndex(), indexes[i]);
            QCOMPARE(edit()->selectedText(), highlights[i]);
            QCOMPARE(changed.count(), changes[i]);
        }
    }

    void japaneseTextCompletesAsTyped() {
        QSignalSpy changed(combo_, &CompletingComboBox::changed);
        vesmira::test::TypeText(combo_, "高");
        QCOMPARE(combo_->currentText(), QString("高等専門学校"));
        QCOMPARE(combo_->currentIndex(), 4);
        vesmira::test::TypeText(combo_, "等学");
        QCOMPARE(combo_->currentText(), QString("高等学校"));
        QCOMPARE(combo_->currentIndex(), 5);
        QCOMPARE(changed.count(), 2);
    }

    void pickingFromTheListRunsWithTheItemSelected() {
        combo_->SelectItem(0);
        QSignalSpy changed(combo_, &CompletingComboBox::changed);
        QTest::keyClick(combo_, Qt::Key_Down);
        QCOMPARE(combo_->currentIndex(), 1);
        QCOMPARE(combo_->currentText(), QString("apricot"));
        QCOMPARE(changed.count(), 1);
    }

    void programSelectionRunsNothing() {
        QSignalSpy changed(combo_, &CompletingComboBox::changed);
        combo_->SelectItem(3);
        QCOMPARE(combo_->currentText(), QString("Banana"));
        combo_->SelectItem(-1);
        QCOMPARE(changed.count(), 0);
    }

    // Enter or leaving the field must not select an item behind the user's
    // back (the plain combo box would pick "Ap" here, case-sensitively).
    void enterAndFocusOutKeepTheDeselection() {
        QSignalSpy changed(combo_, &CompletingComboBox::changed);
        QTest::keyClick(combo_, 'a');
        QTest::keyClick(combo_, 'p');
        QTest::keyClick(combo_, Qt::Key_Delete);
        QCOMPARE(edit()->text(), QString("Ap"));
        QCOMPARE(combo_->currentIndex(), -1);
        QTest::keyClick(combo_, Qt::Key_Return);
        combo_->clearFocus();
        QCOMPARE(combo_->currentIndex(), -1);
        QCOMPARE(combo_->count(), kItems.size());  // nothing inserted
        QCOMPARE(changed.count(), 2);
    }

    void typingInTheMiddleDoesNotComplete() {
        vesmira::test::TypeText(combo_, "Bxnana");
        edit()->setCursorPosition(1);
        QTest::keyClick(combo_, 'a');
        QCOMPARE(edit()->text(), QString("Baxnana"));
        QCOMPARE(combo_->currentIndex(), -1);
    }

    void firstItemStartingWith_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("index");
        QTest::newRow("exact") << "Banana" << 3;
        QTest::newRow("firstOfSeveral") << "AP" << 0;
        QTest::newRow("emptyMatchesFirst") << "" << 0;
        QTest::newRow("none") << "Cherry" << -1;
        QTest::newRow("longerThanItem") << "高校生" << -1;
    }
    void firstItemStartingWith() {
        QFETCH(QString, text);
        QFETCH(int, index);
        QCOMPARE(combo_->FirstItemStartingWith(text), index);
    }
};

VESMIRA_TEST_MAIN(CompletingComboBoxTest)
#include "CompletingComboBoxTest.moc"
