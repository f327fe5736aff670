#include <QAbstractItemView>
#include <QAccessible>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QtTest>
#include <memory>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

#include "Clock.h"
#include "CompletingComboBox.h"
#include "FailureDisplay.h"
#include "History.h"
#include "StepFiles.h"
#include "SystemErrors.h"
#include "UiTestSupport.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"

using namespace vesmira;
using test::Answer;
using test::Dialogs;
using test::TypeInto;

namespace {

const QString kFiveLines =
    "1985（昭和60）年5月10日生まれのあなたの\r\n"
    "小学校入学は1992（平成4）年4月\r\n"
    "小学校卒業は1998（平成10）年3月\r\n"
    "中学校入学は1998（平成10）年4月\r\n"
    "中学校卒業は2001（平成13）年3月\r\n";
const QString kHighSchool =
    "高等学校入学は2001（平成13）年4月\r\n"
    "高等学校卒業は2004（平成16）年3月\r\n";

// A failure's text as the box shows it, for the system's own error number.
QString Shown(int error) {
    return QString::fromStdString(FailureDisplayText(FileFailureText(error)));
}

QString ReadFile(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : "(missing)";
}

QStringList StepFiles() {
    return QDir().entryList({"temp.*", ".temp.*"},
                            QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

QString History() {
    return QString::fromStdString(Wizard.HistoryText);
}

// Enter typed into whatever has the focus, as the user would; after a dialog
// the window gets the focus back a moment later.
void PressEnter() {
    QVERIFY(QTest::qWaitFor([] { return QApplication::focusWidget() != nullptr; }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
}

void WaitActive(QWidget* window) {
    QVERIFY(QTest::qWaitForWindowActive(window));
}

// Shows, hides and activations of the three windows, and the message dialogs'
// shows and hides, in order.
class WindowLog : public QObject {
  public:
    QStringList entries;
    WindowLog() { qApp->installEventFilter(this); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QString window = watched == Form1                                   ? "Form1"
                               : watched == Form2                                 ? "Form2"
                               : watched == Form3                                 ? "Form3"
                               : qobject_cast<MessageDialog*>(watched) != nullptr ? "dialog"
                                                                                  : QString();
        if (window.isEmpty()) {
            return false;
        }
        if (event->type() == QEvent::Show) {
            entries << "show " + window;
        } else if (event->type() == QEvent::Hide) {
            entries << "hide " + window;
        } else if (event->type() == QEvent::WindowActivate && window != "dialog") {
            entries << "activate " + window;  // a dialog's comes whenever the platform says
        }
        return false;
    }
};

}  // namespace

class WizardTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<test::ScratchDirectory> dir_;

    // 10 May 1985 typed into the birth-date window.
    void TypeBirthDate() {
        TypeInto(Form1->EdYear, "1985");
        TypeInto(Form1->EdMth, "5");
        TypeInto(Form1->EdDay, "10");
    }

    // Birth-date step with 10 May 1985, on to the school-step window.
    void PassBirthStep() {
        TypeBirthDate();
        PressEnter();
        WaitActive(Form2);
    }

    // One non-final school step with the given kind typed into the combo box.
    void AddSchoolStep(const QString& school, const QString& waiting = "0") {
        TypeInto(Form2->CBSchool, school);
        TypeInto(Form2->EdRo, waiting);
        PressEnter();
    }

    // One step of a road as a keyboard user takes it.
    void Take(const QString& step) {
        QWidget* focused = QApplication::focusWidget();
        if (step == "enter") {
            PressEnter();
        } else if (step == "tab") {
            QTest::keyClick(focused, Qt::Key_Tab);
        } else if (step == "toBack") {
            QTest::keyClick(focused, Qt::Key_Tab, Qt::ShiftModifier);  // from the first field
            QCOMPARE(QApplication::focusWidget(), Form2->BtnBack);
        } else if (step == "tick") {
            QTest::keyClick(Form1->isVisible() ? Form1->ChkJ : Form2->ChkLast, Qt::Key_Space);
        } else if (step == "finish") {  // 完了, then OK in the final dialog
            Dialogs().Expect(Answer::kEnter);
            PressEnter();
            Dialogs().TakeOne();
        }
        QVERIFY(QTest::qWaitFor([] { return QApplication::focusWidget() != nullptr; }));
        QTest::qWait(10);  // and whatever was posted on the way has arrived
    }

  private slots:
    void init() {
        FixToday(CivilDate{2026, 12, 7});
        dir_ = std::make_unique<test::ScratchDirectory>();
        ResetWizard();
        CreateForms();
        ShowMainForm();
        WaitActive(Form1);
        QVERIFY(QTest::qWaitFor(&StartFinished));
    }

    void cleanup() {
        const auto stray = Dialogs().Take();
        for (const auto& d : stray) {
            qWarning() << "unexpected dialog:" << d.title << d.text;
        }
        QVERIFY(stray.empty());
        DestroyForms();
        dir_.reset();
    }

    void startsWithTheBirthDateWindowOverTheBackdrop() {
        QCOMPARE(Form1->windowTitle(), QString("STEP1（中学卒業まで）"));
        QVERIFY(Form3->isVisible());
        // Asked for once the window is mapped, covering the screen already.
        QTRY_VERIFY(Form3->windowState() & Qt::WindowMaximized);
#ifdef _WIN32
        // A maximised window's borders hang over the screen's edges there.
        const QRect area = Form3->screen()->availableGeometry();
        QCOMPARE(Form3->frameGeometry() & area, area);
#else
        QCOMPARE(Form3->frameGeometry(), Form3->screen()->availableGeometry());
#endif
        QVERIFY(!Form2->isVisible());
        QCOMPARE(Form1->size(), QSize(315, 107));
        QCOMPARE(Form2->size(), QSize(331, 123));
        QCOMPARE(Form1->CBSeiwa->currentText(), QString("西暦"));
        QCOMPARE(Form1->EdYear->text(), QString("1985"));
        QCOMPARE(Form1->BtnNF->text(), QString("次へ"));
        // The windows' font resolves to an installed Japanese gothic.
        QVERIFY2(QFontInfo(Form1->font()).family().startsWith("IPA"),
                 qPrintable(QFontInfo(Form1->font()).family()));
        QCOMPARE(Form1->font().pixelSize(), 12);
        // A field starts out in the default font: the windows' face, so that
        // no other face is loaded for it.
        QCOMPARE(QLineEdit().font().family(), Form1->font().family());
    }

    // What follows the first paint is there before the first input is
    // handled: at the moment the input reaches its window, and without any
    // input once the birth-date window has been painted.
    void theStartFinishesBeforeTheFirstInput_data() {
        QTest::addColumn<QString>("input");
        QTest::newRow("keyPress") << "key";
        QTest::newRow("mousePress") << "mouse";
        QTest::newRow("noInputOnlyThePaint") << "";
    }

    void theStartFinishesBeforeTheFirstInput() {
        QFETCH(QString, input);
        DestroyForms();
        CreateForms();
        QVERIFY(!Form2->Built());
        ShowMainForm();
        // The input is sent before the event loop has run once more.
        auto* watch = new test::FirstInputWatch(Form1->EdYear);
        if (input == "key") {
            QTest::keyClick(Form1->EdYear, Qt::Key_End);
        } else if (input == "mouse") {
            QTest::mouseClick(Form1->EdYear, Qt::LeftButton);
        } else {
            QVERIFY(QTest::qWaitFor(&StartFinished));
            QTest::keyClick(Form1->EdYear, Qt::Key_End);
        }
        QVERIFY(watch->noted);
        QVERIFY2(watch->missing.isEmpty(), qPrintable(watch->missing.join(", ")));
        QVERIFY(StartFinished());
    }

    void typicalRoad() {
        PassBirthStep();
        QVERIFY(!Form1->isVisible());
        QCOMPARE(Form2->windowTitle(), QString("STEP2（中学卒業後）"));
        QCOMPARE(ReadFile("temp.1"), "2001\r\n" + kFiveLines);

        PressEnter();  // 高等学校, 3 years, as offered
        QCOMPARE(Form2->windowTitle(), QString("STEP3（高等学校卒業後）"));
        QCOMPARE(ReadFile("temp.2"), "2004\r\n" + kFiveLines + kHighSchool);

        AddSchoolStep("大", "1");
        QCOMPARE(Form2->CBSchool->currentText(), QString("大学"));
        QCOMPARE(Form2->EdYears->text(), QString("4"));
        QCOMPARE(Form2->windowTitle(), QString("STEP4（大学卒業後）"));
        QCOMPARE(Form2->EdRo->text(), QString("0"));
        const QString university =
            "大学入学は2005（平成17）年4月\r\n大学卒業は2009（平成21）年3月\r\n";
        QCOMPARE(ReadFile("temp.3"), "2009\r\n" + kFiveLines + kHighSchool + university);

        QTest::mouseClick(Form2->ChkLast, Qt::LeftButton);
        QCOMPARE(Form2->BtnNF->text(), QString("完了"));
        TypeInto(Form2->CBSchool, "大学院");
        QCOMPARE(Form2->EdYears->text(), QString("2"));
        Dialogs().Expect(Answer::kEnter);
        PressEnter();
        const test::SeenDialog final = Dialogs().TakeOne();
        QCOMPARE(final.title, QString("情報"));
        QCOMPARE(final.icon, QString("情報"));
        QCOMPARE(final.text, QString(kFiveLines + kHighSchool + university +
                                     "大学院（修士課程）入学は2009（平成21）年4月\r\n"
                                     "大学院（修士課程）卒業は2011（平成23）年3月\r\n"
                                     "現在41歳です。")
                                 .replace("\r\n", "\n"));

        // Back at the start for the next person.
        WaitActive(Form1);
        QVERIFY(!Form2->isVisible());
        QVERIFY(StepFiles().isEmpty());
        QCOMPARE(Wizard.StepNumber, 2);
        QCOMPARE(Form2->windowTitle(), QString("STEP2（中学卒業後）"));
        QCOMPARE(Form2->CBSchool->currentIndex(), 0);
        QCOMPARE(Form2->EdYears->text(), QString("3"));
        QVERIFY(!Form2->ChkLast->isChecked());
        QCOMPARE(Form2->BtnNF->text(), QString("次へ"));
        QCOMPARE(Form1->EdDay->text(), QString("10"));  // fields keep the last date

        PressEnter();
        WaitActive(Form2);
        PressEnter();
        QCOMPARE(Form2->windowTitle(), QString("STEP3（高等学校卒業後）"));
        QCOMPARE(StepFiles(), QStringList({"temp.1", "temp.2"}));
    }

    void birthDateWindow_data() {
        QTest::addColumn<int>("era");
        QTest::addColumn<QString>("year");
        QTest::addColumn<QString>("month");
        QTest::addColumn<QString>("day");
        QTest::addColumn<QString>("message");  // empty: on to the next window
        QTest::addColumn<QString>("firstLine");

        QTest::newRow("showaYear") << 1 << "60"
                                   << "5"
                                   << "10"
                                   << ""
                                   << "1985（昭和60）年5月10日生まれのあなたの";
        QTest::newRow("monthAsTyped") << 0 << "1985"
                                      << "05"
                                      << "10"
                                      << ""
                                      << "1985（昭和60）年05月10日生まれのあなたの";
        QTest::newRow("heiseiZero") << 2 << "0"
                                    << "5"
                                    << "10"
                                    << "このプログラムでサポートされていない年代です"
                                    << "";
        QTest::newRow("showa65") << 1 << "65"
                                 << "5"
                                 << "10"
                                 << "このプログラムでサポートされていない年代です"
                                 << "";
        QTest::newRow("firstApril1940") << 0 << "1940"
                                        << "4"
                                        << "1"
                                        << "このプログラムでサポートされていない年代です"
                                        << "";
        QTest::newRow("thirtiethFebruary") << 0 << "1985"
                                           << "2"
                                           << "30"
                                           << "入力データに誤りがあります"
                                           << "";
        QTest::newRow("yearNotANumber") << 0 << "abc"
                                        << "5"
                                        << "10"
                                        << "'abc' は整数ではありません."
                                        << "";
        QTest::newRow("dayEmpty") << 0 << "1985"
                                  << "5"
                                  << ""
                                  << "'' は整数ではありません."
                                  << "";
    }
    void birthDateWindow() {
        QFETCH(int, era);
        QFETCH(QString, year);
        QFETCH(QString, month);
        QFETCH(QString, day);
        QFETCH(QString, message);
        QFETCH(QString, firstLine);
        // Set without focus changes: leaving a bad field would speak up first.
        Form1->CBSeiwa->SelectItem(era);
        Form1->EdYear->setText(year);
        Form1->EdMth->setText(month);
        Form1->EdDay->setText(day);
        test::FocusByUser(Form1->EdDay);
        if (!message.isEmpty()) {
            Dialogs().Expect(Answer::kEnter);
        }
        PressEnter();  // Enter runs no exit check: at most the one message below
        if (message.isEmpty()) {
            WaitActive(Form2);
            QVERIFY(History().startsWith(firstLine + "\r\n"));
            QVERIFY(QFile::exists("temp.1"));
        } else {
            QCOMPARE(Dialogs().TakeOne().text, message);
            QVERIFY(Form1->isVisible());
            QVERIFY(!Form2->isVisible());
            QVERIFY(StepFiles().isEmpty());
        }
    }

    void typedEraNameCountsAsHeisei() {
        TypeInto(Form1->CBSeiwa, "令和");
        QCOMPARE(Form1->CBSeiwa->currentIndex(), -1);
        TypeInto(Form1->EdYear, "1");
        TypeInto(Form1->EdMth, "5");
        TypeInto(Form1->EdDay, "10");
        PressEnter();
        WaitActive(Form2);
        QCOMPARE(Wizard.BirthYear, 1989);
    }

    void exitChecks_data() {
        QTest::addColumn<int>("window");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        const char* empty = "値が入力されていません。";
        const char* notANumber = "数字以外の値が入力されています。";
        QTest::newRow("yearEmpty") << 1 << "EdYear"
                                   << "" << empty;
        QTest::newRow("yearLetters") << 1 << "EdYear"
                                     << "abc" << notANumber;
        QTest::newRow("yearValid") << 1 << "EdYear"
                                   << "1985"
                                   << "";
        QTest::newRow("monthBlank") << 1 << "EdMth"
                                    << " " << notANumber;
        QTest::newRow("dayEmpty") << 1 << "EdDay"
                                  << "" << empty;
        QTest::newRow("dayValid") << 1 << "EdDay"
                                  << "10"
                                  << "";
        QTest::newRow("courseHex") << 2 << "EdYears"
                                   << "$4"
                                   << "";
        QTest::newRow("waitingLetters") << 2 << "EdRo"
                                        << "x" << notANumber;
        QTest::newRow("repeatedEmpty") << 2 << "EdRyu"
                                       << "" << empty;
        QTest::newRow("dropOutFullWidth") << 2 << "EdTai"
                                          << "２" << notANumber;
    }
    void exitChecks() {
        QFETCH(int, window);
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, message);
        if (window == 2) {
            PassBirthStep();
        }
        QWidget* form = window == 1 ? static_cast<QWidget*>(Form1) : Form2;
        auto* edit = form->findChild<NumericEdit*>(field);
        TypeInto(edit, text);
        if (!message.isEmpty()) {
            Dialogs().Expect(Answer::kEnter);
        }
        QTest::keyClick(edit, Qt::Key_Tab);
        const auto seen = Dialogs().Take();
        QCOMPARE(seen.size(), size_t(message.isEmpty() ? 0 : 1));
        if (!message.isEmpty()) {
            QCOMPARE(seen[0].title, QString("エラー"));
            QCOMPARE(seen[0].icon, QString("エラー"));
            QCOMPARE(seen[0].text, message);
            QCOMPARE(edit->text(), text);  // the field keeps what was typed
        }
    }

    void mouseClickRunsTheExitCheckFirstAndIsDropped() {
        TypeInto(Form1->EdDay, "");
        Dialogs().Expect(Answer::kEnter);
        QTest::mouseClick(Form1->BtnNF, Qt::LeftButton);
        QCOMPARE(Dialogs().TakeOne().text, QString("値が入力されていません。"));
        QVERIFY(Form1->isVisible());
        QVERIFY(!Form1->BtnNF->isDown());
        QVERIFY(StepFiles().isEmpty());
    }

    void finalOnTheFirstStep() {
        TypeBirthDate();
        QTest::mouseClick(Form1->ChkJ, Qt::LeftButton);
        QCOMPARE(Form1->BtnNF->text(), QString("完了"));

        Dialogs().Expect(Answer::kCloseBox);
        QTest::mouseClick(Form1->BtnNF, Qt::LeftButton);
        QCOMPARE(Dialogs().TakeOne().text,
                 QString(kFiveLines + "現在41歳です。").replace("\r\n", "\n"));
        QVERIFY(Form1->ChkJ->isChecked());

        Dialogs().Expect(Answer::kClickOk);
        QTest::mouseClick(Form1->BtnNF, Qt::LeftButton);
        Dialogs().TakeOne();
        QVERIFY(!Form1->ChkJ->isChecked());
        QCOMPARE(Form1->BtnNF->text(), QString("次へ"));
        QVERIFY(Form1->isVisible());
        QVERIFY(StepFiles().isEmpty());
    }

    void nonNumericSchoolFieldShowsTheFailureAndChangesNothing() {
        PassBirthStep();
        TypeInto(Form2->EdRo, "abc");
        Dialogs().Expect(Answer::kEnter);
        PressEnter();
        const test::SeenDialog seen = Dialogs().TakeOne();
        QCOMPARE(seen.title, QString("ヴェスミラ"));
        QCOMPARE(seen.text, QString("'abc' は整数ではありません."));
        QCOMPARE(History(), kFiveLines);
        QCOMPARE(Wizard.StepNumber, 2);
        QCOMPARE(Wizard.CursorYear, 2001);
        QCOMPARE(Form2->windowTitle(), QString("STEP2（中学卒業後）"));
        QCOMPARE(StepFiles(), QStringList{"temp.1"});
        // and the program goes on
        TypeInto(Form2->EdRo, "0");
        PressEnter();
        QCOMPARE(Wizard.StepNumber, 3);
    }

    void backThroughSeveralSteps() {
        PassBirthStep();
        PressEnter();
        AddSchoolStep("大学");
        QCOMPARE(Wizard.StepNumber, 4);

        QTest::mouseClick(Form2->BtnBack, Qt::LeftButton);
        QCOMPARE(Form2->windowTitle(), QString("STEP3"));
        QCOMPARE(History(), kFiveLines + kHighSchool);
        QCOMPARE(Wizard.CursorYear, 2004);

        QTest::mouseClick(Form2->BtnBack, Qt::LeftButton);  // reads temp.1
        QCOMPARE(Form2->windowTitle(), QString("STEP2"));
        QCOMPARE(History(), kFiveLines);
        QCOMPARE(Wizard.CursorYear, 2001);
        QCOMPARE(Form2->CBSchool->currentText(), QString("大学"));  // not restored

        QTest::mouseClick(Form2->BtnBack, Qt::LeftButton);
        WaitActive(Form1);
        QVERIFY(!Form2->isVisible());
        QVERIFY(StepFiles().isEmpty());
        PressEnter();
        WaitActive(Form2);
        QCOMPARE(Form2->windowTitle(), QString("STEP2（中学卒業後）"));
    }

    // Shown again, a step window stands where the user left it, or, where
    // that is off the screen, moved the least that brings it back inside.
    void stepWindowComesBackWhereItWasOrInside_data() {
        QTest::addColumn<QPoint>("leftAt");
        QTest::addColumn<QPoint>("cameBackTo");  // -1: flush with the right or bottom edge
        QTest::newRow("whereTheUserLeftIt") << QPoint(100, 120) << QPoint(100, 120);
        QTest::newRow("pastTheRightAndBottomEdges") << QPoint(5000, 4000) << QPoint(-1, -1);
        QTest::newRow("pastTheRightEdgeOnly") << QPoint(5000, 120) << QPoint(-1, 120);
        QTest::newRow("aboveAndLeftOfTheScreen") << QPoint(-40, -30) << QPoint(0, 0);
    }
    void stepWindowComesBackWhereItWasOrInside() {
#ifdef _WIN32
        QSKIP(
            "under Wine the X window manager, not Windows, has the last word on a window's place");
#endif
        QFETCH(QPoint, leftAt);
        QFETCH(QPoint, cameBackTo);
        Form1->move(leftAt);
        PassBirthStep();
        QTest::mouseClick(Form2->BtnBack, Qt::LeftButton);
        WaitActive(Form1);
        const QRect area = Form1->screen()->availableGeometry();
        const QSize outer = Form1->frameGeometry().size();
        const QPoint expected(
            cameBackTo.x() < 0 ? area.right() + 1 - outer.width() : cameBackTo.x(),
            cameBackTo.y() < 0 ? area.bottom() + 1 - outer.height() : cameBackTo.y());
        QTRY_COMPARE(Form1->pos(), expected);
        QCOMPARE(Form1->frameGeometry() & area, Form1->frameGeometry());
    }

    void removedStepFileOnBackKeepsTheStep() {
        PassBirthStep();
        PressEnter();
        PressEnter();
        QVERIFY(QFile::remove("temp.2"));
        const QString caption = Form2->windowTitle();
        const std::string history = Wizard.HistoryText;
        Dialogs().Expect(Answer::kEnter);
        QTest::mouseClick(Form2->BtnBack, Qt::LeftButton);
        const test::SeenDialog seen = Dialogs().TakeOne();
        QCOMPARE(seen.title, QString("ヴェスミラ"));
        QCOMPARE(seen.text, QString("ファイルが見つかりません."));
        QCOMPARE(Wizard.StepNumber, 4);
        QCOMPARE(Form2->windowTitle(), caption);
        QCOMPARE(Wizard.HistoryText, history);
        QTest::mouseClick(Form2->BtnBack, Qt::LeftButton);  // still goes on
        Dialogs().TakeOne();
    }

    void failedWriteLeavesTheStepAsItWas() {
        PassBirthStep();
        QVERIFY(QDir().mkpath("temp.2/inside"));
        Dialogs().Expect(Answer::kEnter);
        PressEnter();
        QCOMPARE(Dialogs().TakeOne().text, Shown(system::kIsFolder));
        QCOMPARE(Wizard.StepNumber, 2);
        QCOMPARE(Wizard.CursorYear, 2001);
        QCOMPARE(History(), kFiveLines);
        QCOMPARE(Form2->windowTitle(), QString("STEP2（中学卒業後）"));
        QCOMPARE(StepFiles(), QStringList({"temp.1", "temp.2"}));
    }

    // Whatever is found in place of the step file on "戻る": the failure is
    // shown with its exact text and nothing of the step changes.
    void damagedStepFileOnBack_data() {
        QTest::addColumn<QByteArray>("damage");
        QTest::addColumn<QString>("shown");
        QTest::newRow("missing") << QByteArray("missing") << "ファイルが見つかりません.";
        QTest::newRow("folder") << QByteArray("folder") << Shown(system::kIsFolder);
        QTest::newRow("overOneMebibyte") << QByteArray("big") << Shown(system::kTooBig);
        QTest::newRow("emptyFile") << QByteArray() << "'' は整数ではありません.";
        QTest::newRow("firstLineNotANumber")
            << QByteArray("二〇〇四\r\nx\r\n") << "'二〇〇四' は整数ではありません.";
        // Shown whole: nothing after a NUL is lost, a control byte shows as U+FFFD.
        QTest::newRow("nulInFirstLine")
            << QByteArray("'2000.\0\x01\r\n", 10) << "''2000.\uFFFD\uFFFD' は整数ではありません.";
        const QByteArray megabyte(int(kMaxStepFileSize) - 2, 'a');
        QTest::newRow("oneMebibyteFirstLine")
            << megabyte + "\r\n"
            << "'" + QString::fromLatin1(megabyte) + "' は整数ではありません.";
    }
    void damagedStepFileOnBack() {
        QFETCH(QByteArray, damage);
        QFETCH(QString, shown);
        PassBirthStep();
        PressEnter();
        PressEnter();
        QVERIFY(QFile::remove("temp.2"));
        if (damage == "folder") {
            QVERIFY(QDir().mkdir("temp.2"));
        } else if (damage != "missing") {
            QFile file("temp.2");
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(damage == "big" ? QByteArray(2 << 20, 'a') : damage);
        }
        const WizardState before = Wizard;
        const QString caption = Form2->windowTitle();
        Dialogs().Expect(Answer::kEnter);
        QTest::mouseClick(Form2->BtnBack, Qt::LeftButton);
        const test::SeenDialog seen = Dialogs().TakeOne();
        QCOMPARE(seen.title, QString("ヴェスミラ"));
        QCOMPARE(seen.text, shown);
        QCOMPARE(Wizard.StepNumber, before.StepNumber);
        QCOMPARE(Wizard.CursorYear, before.CursorYear);
        QCOMPARE(Wizard.HistoryText, before.HistoryText);
        QCOMPARE(Form2->windowTitle(), caption);
        QVERIFY(Form2->isVisible());
    }

    // Bytes that cannot be shown in a history line read back by 戻る: the
    // final message shows a stand-in for each, and everything after them.
    void controlBytesInAHistoryLineAreShownByStandIns() {
        PassBirthStep();
        PressEnter();
        QFile file("temp.1");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("2001\r\n\0ab\x1b[2J\177c\r\n", 17));
        file.close();
        QTest::mouseClick(Form2->BtnBack, Qt::LeftButton);
        QCOMPARE(Form2->windowTitle(), QString("STEP2"));
        QTest::mouseClick(Form2->ChkLast, Qt::LeftButton);
        Dialogs().Expect(Answer::kEnter);
        PressEnter();
        QVERIFY(Dialogs().TakeOne().text.startsWith("\uFFFDab\uFFFD[2J\uFFFDc\n高等学校入学は"));
        WaitActive(Form1);
    }

    // School names of 32,767 characters (the field's limit, one paste) at
    // every step: the step whose snapshot would be too large to read back
    // fails at once and changes nothing; 戻る still reads every earlier one.
    void longSchoolNamesFailAtTheStepThatCrossesTheLimit() {
        PassBirthStep();
        const QString name(32767, QChar(0x5B66));
        std::vector<std::string> histories;  // before each step that went through
        std::vector<test::SeenDialog> seen;
        WizardState before;
        QString caption;
        while (seen.empty() && Wizard.StepNumber < 20) {
            Form2->CBSchool->lineEdit()->setText(name);
            before = Wizard;
            caption = Form2->windowTitle();
            QTest::mouseClick(Form2->BtnNF, Qt::LeftButton);
            seen = Dialogs().Take();  // the failure, answered with Esc (OK)
            if (seen.empty()) {
                histories.push_back(before.HistoryText);
            }
        }
        QCOMPARE(seen.size(), size_t{1});
        QCOMPARE(seen[0].text, Shown(system::kTooBig));
        QCOMPARE(Wizard.StepNumber, 7);  // the sixth school (temp.7) is too large
        QVERIFY(!QFile::exists("temp.7"));
        QCOMPARE(Wizard.CursorYear, before.CursorYear);
        QVERIFY(Wizard.HistoryText == before.HistoryText);
        QCOMPARE(Form2->windowTitle(), caption);
        QCOMPARE(Form2->CBSchool->currentText(), name);  // the fields as they were
        while (Wizard.StepNumber > 3) {
            QTest::mouseClick(Form2->BtnBack, Qt::LeftButton);
            QVERIFY(Wizard.HistoryText == histories.at(size_t(Wizard.StepNumber) - 2));
        }
    }

#ifndef _WIN32  // a file-size limit is POSIX's
    // The disk refuses the write (here: the file-size limit): the step stays.
    void fileSizeLimitOnSave() {
        PassBirthStep();
        rlimit previous{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
        const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
        rlimit small = previous;
        small.rlim_cur = 16;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        Dialogs().Expect(Answer::kEnter);
        PressEnter();
        setrlimit(RLIMIT_FSIZE, &previous);
        signal(SIGXFSZ, oldHandler);
        QCOMPARE(Dialogs().TakeOne().text, QString("I/O エラー (27)"));
        QCOMPARE(Wizard.StepNumber, 2);
        QCOMPARE(Wizard.CursorYear, 2001);
        QCOMPARE(History(), kFiveLines);
        QCOMPARE(StepFiles(), QStringList{"temp.1"});
        PressEnter();  // with room again, the same step goes through
        QCOMPARE(Wizard.StepNumber, 3);
    }

#endif

    void typedSchoolName() {
        PassBirthStep();
        TypeInto(Form2->CBSchool, "ヴェスト美術");
        QCOMPARE(Form2->CBSchool->currentIndex(), -1);
        QCOMPARE(Form2->EdYears->text(), QString("1"));
        PressEnter();
        QCOMPARE(Form2->windowTitle(), QString("STEP3（ヴェスト美術卒業後）"));
        QVERIFY(
            History().endsWith("ヴェスト美術入学は2001（平成13）年4月\r\n"
                               "ヴェスト美術卒業は2002（平成14）年3月\r\n"));
    }

    void dropOut() {
        PassBirthStep();
        TypeInto(Form2->CBSchool, "大学");
        QTest::mouseClick(Form2->EdTai, Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), Form2->EdTai);
        TypeInto(Form2->EdTai, "2");
        PressEnter();
        QCOMPARE(Form2->windowTitle(), QString("STEP3（大学中退後）"));
        QVERIFY(History().endsWith(
            "大学入学は2001（平成13）年4月\r\n大学中退は2003（平成15）年3月\r\n"));
        QCOMPARE(Form2->EdTai->text(), QString("0"));
    }

    void finalDialogClosedWithoutOkWithdrawsTheLines() {
        PassBirthStep();
        QTest::mouseClick(Form2->ChkLast, Qt::LeftButton);
        Dialogs().Expect(Answer::kCloseBox);
        PressEnter();
        Dialogs().TakeOne();
        QVERIFY(Form2->isVisible());
        QCOMPARE(History(), kFiveLines);
        QCOMPARE(Wizard.StepNumber, 2);

        Dialogs().Expect(Answer::kEscape);  // Esc counts as OK
        PressEnter();
        QCOMPARE(Dialogs().TakeOne().text.count("高等学校入学は"), 1);
        WaitActive(Form1);
        QVERIFY(StepFiles().isEmpty());
    }

    // Ctrl+Shift+C on the result copies 履歴書 rows that agree with the text
    // shown, on both windows and with the history read back by 戻る; Ctrl+C
    // still copies the text as shown. The age counts the birthday by month
    // and day: on 1 June one born 10 May 1985 is 41, not 40 (as a birthday of
    // 5 October, month and day swapped, would give).
    void resultCopiesAsResumeRows_data() {
        QTest::addColumn<bool>("onSchoolStep");
        QTest::addColumn<QString>("rows");
        const QString compulsory =
            "1992\t平成4\t4\t小学校 入学\n1998\t平成10\t3\t小学校 卒業\n"
            "1998\t平成10\t4\t中学校 入学\n2001\t平成13\t3\t中学校 卒業\n";
        QTest::newRow("birthDateOnly") << false << compulsory;
        QTest::newRow("dropOutAfterBack")
            << true << compulsory + "2001\t平成13\t4\t大学 入学\n2003\t平成15\t3\t大学 中退\n";
    }
    void resultCopiesAsResumeRows() {
        QFETCH(bool, onSchoolStep);
        QFETCH(QString, rows);
        FixToday(CivilDate{2026, 6, 1});
        if (onSchoolStep) {
            PassBirthStep();
            PressEnter();
            QTest::mouseClick(Form2->BtnBack, Qt::LeftButton);  // reads temp.1
            TypeInto(Form2->CBSchool, "大学");
            TypeInto(Form2->EdTai, "2");
        } else {
            TypeBirthDate();
        }
        QTest::mouseClick(onSchoolStep ? Form2->ChkLast : Form1->ChkJ, Qt::LeftButton);
        QString copiedRows, copiedText, shown;
        test::OnNextDialog([&](MessageDialog& box) {
            QTest::keyClick(&box, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
            copiedRows = QGuiApplication::clipboard()->text();
            QTest::keyClick(&box, Qt::Key_C, Qt::ControlModifier);
            copiedText = QGuiApplication::clipboard()->text();
            shown = box.text();
        });
        QTest::mouseClick(onSchoolStep ? Form2->BtnNF : Form1->BtnNF, Qt::LeftButton);
        QCOMPARE(copiedRows, rows);
        QVERIFY(shown.endsWith("\n現在41歳です。"));
        QCOMPARE(copiedText, shown);
        WaitActive(Form1);
    }

    void enterOnTheBackButtonPressesIt() {
        PassBirthStep();
        Form2->BtnBack->setFocus(Qt::TabFocusReason);
        PressEnter();
        WaitActive(Form1);
        QVERIFY(!Form2->isVisible());
    }

    void escapeDoesNotCloseAStepWindow() {
        QTest::keyClick(Form1->EdYear, Qt::Key_Escape);
        QVERIFY(Form1->isVisible());
        PassBirthStep();
        QTest::keyClick(Form2->EdRo, Qt::Key_Escape);
        QVERIFY(Form2->isVisible());
    }

    void tabOrder_data() {
        QTest::addColumn<int>("window");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("birthDate")
            << 1 << QStringList{"CBSeiwa", "EdYear", "EdMth", "EdDay", "ChkJ", "BtnNF", "CBSeiwa"};
        QTest::newRow("schoolSkipsDropOut")
            << 2 << QStringList{"CBSchool", "EdYears", "EdRo",    "EdRyu",
                                "ChkLast",  "BtnNF",   "BtnBack", "CBSchool"};
    }
    void tabOrder() {
        QFETCH(int, window);
        QFETCH(QStringList, order);
        if (window == 2) {
            PassBirthStep();
        }
        QWidget* form = window == 1 ? static_cast<QWidget*>(Form1) : Form2;
        // The window's own focus: Wine may not have activated it yet.
        form->findChild<QWidget*>(order.first())->setFocus(Qt::TabFocusReason);
        for (const QString& name : order.mid(1)) {
            QTest::keyClick(form->focusWidget(), Qt::Key_Tab);
            QWidget* focused = form->focusWidget();
            if (focused->parentWidget() != form) {
                focused = focused->parentWidget();  // the combo box's own edit
            }
            QCOMPARE(focused->objectName(), name);
        }
    }

    // What a screen reader reads for each control: controls that show text
    // by that text, the fields as a sighted user reads the window, each label
    // linked to the field it names.
    void accessibleNamesAndLabels_data() {
        QTest::addColumn<int>("window");
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("role");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("relations");
        const int label = QAccessible::StaticText, edit = QAccessible::EditableText,
                  combo = QAccessible::ComboBox;
        auto row = [](const char* tag, int window, const char* control, int role, const char* name,
                      const QStringList& relations = {}) {
            QTest::newRow(tag) << window << control << role << name << relations;
        };
        row("birthDateLabel", 1, "Label1", label, "生年月日", {"labelFor CBSeiwa"});
        row("era", 1, "CBSeiwa", combo, "生年月日 暦", {"labelledBy Label1"});
        row("year", 1, "EdYear", edit, "生年月日 年", {"labelledBy Label2"});
        row("yearUnit", 1, "Label2", label, "年", {"labelFor EdYear"});
        row("juniorHighFinal", 1, "ChkJ", QAccessible::CheckBox, "最終学歴が中学卒業");
        row("instruction", 2, "Label2", label, "次の進学先を入力してください。",
            {"labelFor CBSchool"});
        row("school", 2, "CBSchool", combo, "次の進学先", {"labelledBy Label2"});
        row("courseLength", 2, "EdYears", edit, "年制", {"labelledBy Label1"});
        row("waiting", 2, "EdRo", edit, "浪人 年", {"labelledBy Label3", "labelledBy Label5"});
        row("repeated", 2, "EdRyu", edit, "留年 年", {"labelledBy Label4", "labelledBy Label6"});
        row("dropOut", 2, "EdTai", edit, "中退 年次", {"labelledBy Label8", "labelledBy Label7"});
        row("back", 2, "BtnBack", QAccessible::Button, "戻る");
    }
    void accessibleNamesAndLabels() {
        QFETCH(int, window);
        QFETCH(QString, control);
        QFETCH(int, role);
        QFETCH(QString, name);
        QFETCH(QStringList, relations);
        QWidget* form = window == 1 ? static_cast<QWidget*>(Form1) : Form2;
        QAccessibleInterface* object =
            QAccessible::queryAccessibleInterface(form->findChild<QWidget*>(control));
        QCOMPARE(int(object->role()), role);
        QCOMPARE(object->text(QAccessible::Name), name);
        QStringList seen;
        for (const auto& [other, relation] :
             object->relations(QAccessible::Label | QAccessible::Labelled)) {
            seen << (relation == QAccessible::Label ? "labelledBy " : "labelFor ") +
                        other->object()->objectName();
        }
        QCOMPARE(seen, relations);
    }

    // The toolkit reads an editable combo box by its current text; what it
    // is for has to reach assistive tools all the same, in its text part too.
    void comboBoxesAreReadByWhatTheyAreFor_data() {
        QTest::addColumn<int>("window");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::newRow("era") << 1 << "生年月日 暦"
                             << "西暦";
        QTest::newRow("school") << 2 << "次の進学先"
                                << "高等学校";
    }
    void comboBoxesAreReadByWhatTheyAreFor() {
        QFETCH(int, window);
        QFETCH(QString, name);
        QFETCH(QString, value);
        CompletingComboBox* combo = window == 1 ? Form1->CBSeiwa : Form2->CBSchool;
        QAccessibleInterface* object = QAccessible::queryAccessibleInterface(combo);
        QCOMPARE(object->text(QAccessible::Name), name);
        QCOMPARE(object->text(QAccessible::Value), value);
        QCOMPARE(object->childCount(), 2);
        QAccessibleInterface* textPart = object->child(1);
        QCOMPARE(textPart->object(), combo->lineEdit());
        QCOMPARE(textPart->role(), QAccessible::EditableText);
        QCOMPARE(textPart->text(QAccessible::Name), name);
        QCOMPARE(object->indexOfChild(textPart), 1);
        QCOMPARE(object->child(0)->object(), combo->view());
    }

    // Each road ends with one step: how the windows take over from each
    // other, what assistive tools are told, and where the focus is then.
    void stepChanges_data() {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("step");
        QTest::addColumn<QStringList>("windows");
        QTest::addColumn<QStringList>("announced");
        QTest::addColumn<QString>("focus");
        const QStringList toForm2 = {"show Form2", "hide Form1", "activate Form2"};
        const QStringList toForm1 = {"show Form1", "hide Form2", "activate Form1"};
        QTest::newRow("toSchoolStep")
            << QStringList{} << "enter" << toForm2 << QStringList{"focus 次の進学先"} << "CBSchool";
        QTest::newRow("nextStep") << QStringList{"enter"} << "enter" << QStringList{}
                                  << QStringList{"name STEP3（高等学校卒業後）", "focus 次の進学先"}
                                  << "CBSchool";
        QTest::newRow("nextStepKeepsTheUsersField")
            << QStringList{"enter", "tab"} << "enter" << QStringList{}
            << QStringList{"name STEP3（高等学校卒業後）", "focus 年制"} << "EdYears";
        QTest::newRow("backStep") << QStringList{"enter", "enter", "toBack"} << "enter"
                                  << QStringList{} << QStringList{"name STEP2", "focus 戻る"}
                                  << "BtnBack";
        QTest::newRow("backToBirthDate") << QStringList{"enter", "toBack"} << "enter" << toForm1
                                         << QStringList{"focus 生年月日 年"} << "EdYear";
        QTest::newRow("schoolStepAgainAfterBack")
            << QStringList{"enter", "toBack", "enter"} << "enter" << toForm2
            << QStringList{"focus 次の進学先"} << "CBSchool";
        // STEP1 is up before the dialog goes: nothing is activated in between.
        QTest::newRow("finishedRun") << QStringList{"enter", "tick"} << "finish"
                                     << QStringList{"show dialog", "show Form1", "hide Form2",
                                                    "hide dialog", "activate Form1"}
                                     << QStringList{"name 次へ", "focus 生年月日 年"} << "EdYear";
        QTest::newRow("finishShownOnTheBirthDate")
            << QStringList{} << "tick" << QStringList{} << QStringList{"name 完了"} << "CBSeiwa";
        QTest::newRow("finishShownOnTheSchoolStep")
            << QStringList{"enter"} << "tick" << QStringList{} << QStringList{"name 完了"}
            << "CBSchool";
    }
    void stepChanges() {
        QFETCH(QStringList, before);
        QFETCH(QString, step);
        QFETCH(QStringList, windows);
        QFETCH(QStringList, announced);
        QFETCH(QString, focus);
        for (const QString& s : before) {
            Take(s);
        }
        WindowLog log;
        test::Announcements announcements;
        Take(step);
        // Joined, so that a failure shows what was told, not only how much.
        QCOMPARE(log.entries.join(" | "), windows.join(" | "));
        QCOMPARE(announcements.Take().join(" | "), announced.join(" | "));
        QCOMPARE(QApplication::focusWidget()->objectName(), focus);
    }

    // Tab passes the drop-out field by; its own key reaches it from anywhere
    // in the window, the school combo box included.
    void aKeyReachesTheDropOutField_data() {
        QTest::addColumn<QString>("from");
        QTest::newRow("schoolComboBox") << "CBSchool";
        QTest::newRow("repeatedYears") << "EdRyu";
        QTest::newRow("backButton") << "BtnBack";
    }
    void aKeyReachesTheDropOutField() {
        QFETCH(QString, from);
        PassBirthStep();
        Form2->findChild<QWidget*>(from)->setFocus(Qt::TabFocusReason);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_T, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), Form2->EdTai);
        QCOMPARE(Form2->EdTai->selectedText(), QString("0"));  // ready to be typed over
        QVERIFY(QAccessible::queryAccessibleInterface(Form2->EdTai)
                    ->text(QAccessible::Description)
                    .contains("Alt+T"));
    }

    void backspaceWithNothingToDeleteStillCountsAsTyped() {
        PassBirthStep();
        QCOMPARE(Form2->EdYears->text(), QString("3"));
        Form2->CBSchool->lineEdit()->setCursorPosition(0);
        QTest::keyClick(Form2->CBSchool, Qt::Key_Backspace);
        QCOMPARE(Form2->CBSchool->currentText(), QString("高等学校"));
        QCOMPARE(Form2->CBSchool->currentIndex(), -1);
        QCOMPARE(Form2->EdYears->text(), QString("1"));
    }

    // The toolkit's own texts are Japanese whatever the desktop's language.
    void fieldMenusAreJapanese() {
        const std::unique_ptr<QMenu> menu(Form1->EdYear->createStandardContextMenu());
        QStringList texts;
        for (const QAction* action : menu->actions()) {
            texts << action->text().section('(', 0, 0).section('\t', 0, 0);
        }
        for (const char* expected :
             {"元に戻す", "切り取り", "コピー", "貼り付け", "すべてを選択"}) {
            QVERIFY2(texts.contains(expected), qPrintable(texts.join(", ")));
        }
    }

    void windowsCarryTheProgramsIcon() {
        QCOMPARE(QGuiApplication::desktopFileName(), QString("vesmira"));
        const QImage icon = QApplication::windowIcon().pixmap(32).toImage();
        QCOMPARE(icon.size(), QSize(32, 32));
        QCOMPARE(icon.pixelColor(4, 16), QColor(0, 0, 128));  // the backdrop's navy
        QCOMPARE(QApplication::windowIcon().availableSizes(),
                 QList<QSize>({{16, 16}, {32, 32}, {48, 48}, {64, 64}, {128, 128}}));
        for (QWidget* window : {static_cast<QWidget*>(Form1), static_cast<QWidget*>(Form2),
                                static_cast<QWidget*>(Form3)}) {
            QCOMPARE(window->windowIcon().cacheKey(), QApplication::windowIcon().cacheKey());
        }
    }

    void backdropRefusesToClose() {
        QVERIFY(!Form3->close());
        QVERIFY(Form3->isVisible());
    }

    // Only what the wizard wrote goes: the user's files of a step file's form
    // stay, also one that was put in the place of a step file.
    void closingAStepWindowRemovesOnlyTheStepFiles() {
        for (const char* name : {"temp.7", "temp.01", ".temp.1.part", "temp.docx", "temp.1x"}) {
            QFile file(name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(name);
        }
        PassBirthStep();
        PressEnter();
        PressEnter();
        QVERIFY(QFile::remove("temp.2"));
        QVERIFY(QFile::copy("temp.7", "temp.2"));
        Form2->close();
        QCOMPARE(StepFiles(), QStringList({".temp.1.part", "temp.01", "temp.1x", "temp.2", "temp.7",
                                           "temp.docx"}));
        QCOMPARE(ReadFile("temp.2"), QString("temp.7"));
    }
};

VESMIRA_TEST_MAIN(WizardTest)
#include "WizardTest.moc"
