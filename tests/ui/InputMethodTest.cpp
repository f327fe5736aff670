#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

#include "Clock.h"
#include "CompletingComboBox.h"
#include "History.h"
#include "ReadingInputContext.h"
#include "UiTestSupport.h"
#include "Unit1.h"
#include "Unit2.h"

Q_IMPORT_PLUGIN(ReadingInputContextPlugin)

using namespace vesmira;
using test::ReadingInputContext;
using test::TypeInto;

namespace {

// The platform takes its input method from here when the application starts.
const bool kReadingInputMethod = qputenv("QT_IM_MODULE", "reading");

ReadingInputContext& Ime() {
    return *ReadingInputContext::Instance();
}

// Whatever has the focus gets the key, as from the keyboard.
void Key(Qt::Key key) {
    QVERIFY(QTest::qWaitFor([] { return QApplication::focusWidget() != nullptr; }));
    QTest::keyClick(QApplication::focusWidget(), key);
}

// Places the caret as the user would before a reading: "tab" enters the field
// with Tab from the control before it (which selects all), "all" selects all
// with Ctrl+A, "end" leaves the caret at the end of what was typed.
void PlaceCaret(CompletingComboBox* combo, QWidget* before, const QString& how) {
    if (how == "tab") {
        test::FocusByUser(before);
        QTest::keyClick(before, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), combo);
    } else {
        test::FocusByUser(combo);
        if (how == "all") {
            QTest::keyClick(combo, Qt::Key_A, Qt::ControlModifier);
        } else {
            combo->lineEdit()->end(false);
        }
    }
}

// One thing the user does: "read:X" a reading shown (in full), "commit:X" the
// reading converted and committed as X, "commitRead:X|Y" a commit and the next
// reading in one event, "cancel" Esc on the reading, "key:Return", "key:Tab",
// "click:EdRo" a mouse click on another field. Whatever the input method sends
// back on its own arrives before the next step.
void Do(const QString& step) {
    const QString arg = step.section(':', 1);
    if (step.startsWith("read:")) {
        Ime().Read(arg);
    } else if (step.startsWith("commit:")) {
        Ime().Commit(arg);
    } else if (step.startsWith("commitRead:")) {
        Ime().CommitAndRead(arg.section('|', 0, 0), arg.section('|', 1));
    } else if (step == "cancel") {
        Ime().Cancel();
    } else if (step == "key:Return") {
        Key(Qt::Key_Return);
    } else if (step == "key:Tab") {
        Key(Qt::Key_Tab);
    } else if (step == "click:EdRo") {
        QTest::mouseClick(Form2->EdRo, Qt::LeftButton);
    } else {
        QFAIL(qPrintable("unknown step " + step));
    }
    QTest::qWait(1);
}

}  // namespace

class InputMethodTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<test::ScratchDirectory> dir_;

    void TypeBirthDate(const QString& year) {
        TypeInto(Form1->EdYear, year);
        TypeInto(Form1->EdMth, "5");
        TypeInto(Form1->EdDay, "10");
    }

  private slots:
    void initTestCase() {
        QVERIFY(kReadingInputMethod);
        QVERIFY2(ReadingInputContext::Instance() != nullptr, "the test input method was not made");
    }

    void init() {
        FixToday(CivilDate{2026, 12, 7});
        dir_ = std::make_unique<test::ScratchDirectory>();
        ResetWizard();
        CreateForms();
        ShowMainForm();
        QVERIFY(QTest::qWaitForWindowActive(Form1));
    }

    void cleanup() {
        Ime().reset();
        DestroyForms();
        dir_.reset();
    }

    // The school combo box: a reading replaces the selection only once it is
    // committed, the completion acts once per commit, a cancelled reading is
    // gone for good. The field starts at 高等学校 (3 years); "typed" is typed
    // first, as keys.
    void schoolReadings_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("highlight");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("courseLength");
        QTest::addColumn<int>("changes");  // runs of CBSchoolChange during the steps
        QTest::addColumn<QString>("caption");

        const QString step2 = "STEP2（中学卒業後）";
        QTest::newRow("readingOverSelectedTextKeepsItsFirstLetter")
            << ""
            << "all" << QStringList{"read:ｄ", "read:だ", "read:だいがく", "commit:大学"} << "大学"
            << "" << 4 << "4" << 1 << step2;
        QTest::newRow("readingAfterTabIntoTheField")
            << ""
            << "tab" << QStringList{"read:ｗ", "read:わせだだいがく", "commit:早稲田大学"}
            << "早稲田大学"
            << "" << -1 << "1" << 1 << step2;
        QTest::newRow("commitCompletesWithTheRestHighlighted")
            << ""
            << "all" << QStringList{"read:こうとう", "commit:高等"} << "高等学校"
            << "学校" << 0 << "3" << 0 << step2;
        QTest::newRow("readingOverTheCompletionHighlight")
            << ""
            << "all"
            << QStringList{"read:こうとう", "commit:高等", "read:ｓ", "read:せんもんがっこう",
                           "commit:専門学校"}
            << "高等専門学校"
            << "" << 1 << "5" << 1 << step2;
        QTest::newRow("commitWithTheNextReadingInOneEvent")
            << ""
            << "all"
            << QStringList{"read:こうとう", "commitRead:高等|ｓ", "read:せんもんがっこう",
                           "commit:専門学校"}
            << "高等専門学校"
            << "" << 1 << "5" << 1 << step2;
        QTest::newRow("commitWithoutAReading") << ""
                                               << "all" << QStringList{"commit:大学"} << "大学"
                                               << "" << 4 << "4" << 1 << step2;
        QTest::newRow("cancelledReadingOverASelectionBringsItBack")
            << ""
            << "all" << QStringList{"read:こう", "cancel"} << "高等学校"
            << "高等学校" << 0 << "3" << 0 << step2;
        QTest::newRow("cancelledReadingOverTheHighlightBringsItBack")
            << ""
            << "all" << QStringList{"read:こうとう", "commit:高等", "read:ｓ", "cancel"}
            << "高等学校"
            << "学校" << 0 << "3" << 0 << step2;
        QTest::newRow("cancelledReadingStaysCancelledOnEnter")
            << "早稲田大学"
            << "end" << QStringList{"read:こ", "read:こう", "cancel", "key:Return"} << "早稲田大学"
            << "" << -1 << "1" << 0 << "STEP3（早稲田大学卒業後）";
        QTest::newRow("cancelledReadingStaysCancelledOnTab")
            << "早稲田大学"
            << "end" << QStringList{"read:こう", "cancel", "key:Tab"} << "早稲田大学"
            << "" << -1 << "1" << 0 << step2;
        QTest::newRow("cancelledReadingStaysCancelledOnClick")
            << "早稲田大学"
            << "end" << QStringList{"read:こう", "cancel", "click:EdRo"} << "早稲田大学"
            << "" << -1 << "1" << 0 << step2;
        QTest::newRow("pendingReadingIsCommittedByLeavingTheField")
            << ""
            << "all" << QStringList{"read:だいがく", "click:EdRo"} << "だいがく"
            << "" << -1 << "1" << 1 << step2;
    }
    void schoolReadings() {
        QFETCH(QString, typed);
        QFETCH(QString, entry);
        QFETCH(QStringList, steps);
        QFETCH(QString, text);
        QFETCH(QString, highlight);
        QFETCH(int, index);
        QFETCH(QString, courseLength);
        QFETCH(int, changes);
        QFETCH(QString, caption);
        TypeBirthDate("1985");
        Key(Qt::Key_Return);
        QVERIFY(QTest::qWaitForWindowActive(Form2));
        if (!typed.isEmpty()) {
            TypeInto(Form2->CBSchool, typed);
        }
        PlaceCaret(Form2->CBSchool, Form2->BtnBack, entry);
        QSignalSpy changed(Form2->CBSchool, &CompletingComboBox::changed);
        for (const QString& step : steps) {
            Do(step);
        }
        QCOMPARE(Form2->CBSchool->currentText(), text);
        QCOMPARE(Form2->CBSchool->lineEdit()->selectedText(), highlight);
        QCOMPARE(Form2->CBSchool->currentIndex(), index);
        QCOMPARE(Form2->EdYears->text(), courseLength);
        QCOMPARE(changed.count(), changes);
        QCOMPARE(Form2->windowTitle(), caption);
    }

    // The era combo box: the era typed through the input method decides the
    // birth year (60/5/10 is 1985 in 昭和, 2048 in any other era name).
    void eraReadings_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("year");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("birthYear");

        QTest::newRow("readingOverSelectedTextKeepsItsFirstLetter")
            << "all" << QStringList{"read:ｓ", "read:しょ", "read:しょうわ", "commit:昭和"} << "60"
            << "昭和" << 1 << 1985;
        QTest::newRow("readingAfterTabIntoTheField")
            << "tab" << QStringList{"read:ｓ", "read:しょうわ", "commit:昭和"} << "60"
            << "昭和" << 1 << 1985;
        QTest::newRow("cancelledReadingStaysCancelled")
            << "all" << QStringList{"read:しょうわ", "cancel", "key:Tab"} << "1985"
            << "西暦" << 0 << 1985;
    }
    void eraReadings() {
#ifdef _WIN32
        // Under Wine the era box ends with the reading's first letter (ｓ for
        // しょうわ) where the school box passes the same steps; not understood
        // yet, and Windows' own input method is not this test's.
        QSKIP("the era box's readings are not yet right under Wine");
#endif
        QFETCH(QString, entry);
        QFETCH(QStringList, steps);
        QFETCH(QString, year);
        QFETCH(QString, text);
        QFETCH(int, index);
        QFETCH(int, birthYear);
        PlaceCaret(Form1->CBSeiwa, Form1->BtnNF, entry);
        for (const QString& step : steps) {
            Do(step);
        }
        QCOMPARE(Form1->CBSeiwa->currentText(), text);
        QCOMPARE(Form1->CBSeiwa->currentIndex(), index);
        TypeBirthDate(year);
        Key(Qt::Key_Return);
        QVERIFY(QTest::qWaitForWindowActive(Form2));
        QCOMPARE(Wizard.BirthYear, birthYear);
    }
};

VESMIRA_TEST_MAIN(InputMethodTest)
#include "InputMethodTest.moc"
