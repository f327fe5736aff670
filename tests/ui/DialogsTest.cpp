#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QtTest>

#include "Controls.h"
#include "FailureDisplay.h"
#include "InputChecks.h"
#include "MessageDialog.h"
#include "StepFiles.h"
#include "UiTestSupport.h"

using namespace vesmira;
using test::Answer;
using test::Dialogs;

class DialogsTest : public QObject {
    Q_OBJECT

  private slots:
    void cleanup() { QCOMPARE(Dialogs().Take().size(), size_t{0}); }

    void failureTextGetsAFullStopUnlessItEndsInPunctuation_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("japanese") << "ファイルが見つかりません"
                                  << "ファイルが見つかりません.";
        QTest::newRow("conversion") << "'abc' は整数ではありません"
                                    << "'abc' は整数ではありません.";
        QTest::newRow("closingBracket") << "I/O エラー (28)"
                                        << "I/O エラー (28)";
        QTest::newRow("fullStop") << "done."
                                  << "done.";
        QTest::newRow("comma") << "a,"
                               << "a,";
        QTest::newRow("minus") << "a-"
                               << "a-";
        QTest::newRow("blank") << "a "
                               << "a ";
        QTest::newRow("slashIsAfterFullStop") << "a/"
                                              << "a/.";
        QTest::newRow("letter") << "abc"
                                << "abc.";
        QTest::newRow("digit") << "error 5"
                               << "error 5.";
        QTest::newRow("ideographicFullStop") << "終わり。"
                                             << "終わり。.";
        QTest::newRow("empty") << ""
                               << "";
    }
    void failureTextGetsAFullStopUnlessItEndsInPunctuation() {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(QString::fromStdString(FailureDisplayText(text.toStdString())), shown);
    }

    void aFailureInAHandlerIsShownAndTheProgramGoesOn() {
        bool reachedAfterFailure = false;
        Dialogs().Expect(Answer::kEnter);
        RunGuarded([&] {
            ToInteger("abc");
            reachedAfterFailure = true;
        });
        const test::SeenDialog seen = Dialogs().TakeOne();
        QCOMPARE(seen.title, QString("ヴェスミラ"));
        QCOMPARE(seen.text, QString("'abc' は整数ではありません."));
        QCOMPARE(seen.icon, QMessageBox::Critical);
        QVERIFY(!reachedAfterFailure);

        Dialogs().Expect(Answer::kEnter);
        RunGuarded([] { throw FileFailure(ENOSPC); });
        QCOMPARE(Dialogs().TakeOne().text, QString("I/O エラー (28)"));
    }

    // The last catch, for a failure that escapes an event the windows do not
    // guard themselves; the event is posted, as the window system's are.
    void aFailureEscapingAnEventIsCaughtAtTheEventLoop() {
        struct Throwing : QWidget {
            bool event(QEvent* e) override {
                if (e->type() == QEvent::User) {
                    throw FileFailure(ENOENT);
                }
                return QWidget::event(e);
            }
        } widget;
        Dialogs().Expect(Answer::kEnter);
        QCoreApplication::postEvent(&widget, new QEvent(QEvent::User));
        QVERIFY(QTest::qWaitFor([] { return !Dialogs().Seen().empty(); }));
        QCOMPARE(Dialogs().TakeOne().text, QString("ファイルが見つかりません."));
    }

    void dialogKinds_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("icon");
        QTest::newRow("error") << int(DialogKind::kError) << "エラー" << int(QMessageBox::Critical);
        QTest::newRow("information")
            << int(DialogKind::kInformation) << "情報" << int(QMessageBox::Information);
    }
    void dialogKinds() {
        QFETCH(int, kind);
        QFETCH(QString, title);
        QFETCH(int, icon);
        Dialogs().Expect(Answer::kEnter);
        ShowMessageDialog("一行目\r\n二行目", static_cast<DialogKind>(kind));
        const test::SeenDialog seen = Dialogs().TakeOne();
        QCOMPARE(seen.title, title);
        QCOMPARE(int(seen.icon), icon);
        QCOMPARE(seen.text, QString("一行目\n二行目"));
    }

    void onlyTheCloseBoxAnswersClosed_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("result");
        QTest::newRow("enter") << int(Answer::kEnter) << int(kDialogOk);
        QTest::newRow("escape") << int(Answer::kEscape) << int(kDialogOk);
        QTest::newRow("space") << int(Answer::kSpace) << int(kDialogOk);
        QTest::newRow("mouse") << int(Answer::kClickOk) << int(kDialogOk);
        QTest::newRow("closeBox") << int(Answer::kCloseBox) << int(kDialogClosed);
    }
    void onlyTheCloseBoxAnswersClosed() {
        QFETCH(int, answer);
        QFETCH(int, result);
        Dialogs().Expect(static_cast<Answer>(answer));
        QCOMPARE(int(ShowMessageDialog("x", DialogKind::kInformation)), result);
        Dialogs().TakeOne();
    }

    void dialogIsCentredOnTheScreenAndModal() {
        QPoint centre;
        bool modal = false;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            centre = box->frameGeometry().center();
            modal = box->windowModality() == Qt::ApplicationModal;
            box->setProperty("answered", true);
            QTest::keyClick(box, Qt::Key_Return);
        });
        ShowMessageDialog("中央", DialogKind::kError);
        const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
        QVERIFY2((centre - screenCentre).manhattanLength() <= 2,
                 qPrintable(QString("%1,%2").arg(centre.x()).arg(centre.y())));
        QVERIFY(modal);
    }

    void ctrlCCopiesTheWholeText() {
        QGuiApplication::clipboard()->clear();
        QTimer::singleShot(0, [] {
            QWidget* box = QApplication::activeModalWidget();
            box->setProperty("answered", true);
            QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
            QTest::keyClick(box, Qt::Key_Return);
        });
        ShowMessageDialog("大学入学は2005（平成17）年4月\r\n現在41歳です。",
                          DialogKind::kInformation);
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QString("大学入学は2005（平成17）年4月\n現在41歳です。"));
    }

    void typedTextIsNeverMarkup() {
        Qt::TextFormat format = Qt::RichText;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            format = box->textFormat();
            test::Dialogs().Expect(Answer::kEnter);
        });
        ShowMessageDialog("<b>学校</b>入学は", DialogKind::kInformation);
        QCOMPARE(Dialogs().TakeOne().text, QString("<b>学校</b>入学は"));
        QCOMPARE(format, Qt::PlainText);  // shown with its tags, never as markup
    }

    // A click on a button that first moves the focus out of a field whose
    // check speaks up: the message is shown, the click is dropped, and the
    // button does not stay pressed.
    void aMessageDuringAMousePressDropsTheClick() {
        QWidget window;
        auto* field = new NumericEdit(&window);
        auto* button = new QPushButton("次へ", &window);
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(field);
        layout->addWidget(button);
        int clicks = 0;
        QObject::connect(field, &NumericEdit::exited, [&] { CheckNumberField(*field); });
        QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        field->setFocus(Qt::TabFocusReason);
        field->clear();

        Dialogs().Expect(Answer::kEnter);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(Dialogs().TakeOne().text, QString("値が入力されていません。"));
        QCOMPARE(clicks, 0);
        QVERIFY(!button->isDown());
        QVERIFY(QTest::qWaitForWindowActive(&window));  // the focus comes back

        field->setText("12");  // valid now: the next click goes through
        field->setFocus(Qt::TabFocusReason);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(clicks, 1);
    }

    void numericFieldsSwitchTheInputMethodOff() {
        NumericEdit field;
        QCOMPARE(field.inputMethodQuery(Qt::ImEnabled).toBool(), false);
        field.setReadOnly(true);
        field.setReadOnly(false);  // would re-enable it on a plain line edit
        QCOMPARE(field.inputMethodQuery(Qt::ImEnabled).toBool(), false);
    }

    void focusLostToAnotherWindowIsNoExit() {
        QWidget window;
        auto* field = new NumericEdit(&window);
        new QLineEdit(&window);
        QSignalSpy exited(field, &NumericEdit::exited);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        field->setFocus(Qt::TabFocusReason);
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QCOMPARE(exited.count(), 0);
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(field, Qt::Key_Tab);
        QCOMPARE(exited.count(), 1);
    }
};

VESMIRA_TEST_MAIN(DialogsTest)
#include "DialogsTest.moc"
