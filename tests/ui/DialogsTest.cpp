#include <QAccessible>
#include <QClipboard>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QtTest>
#include <map>
#include <string>

#include "Controls.h"
#include "FailureDisplay.h"
#include "FormLayout.h"
#include "InputChecks.h"
#include "MessageDialog.h"
#include "MessageText.h"
#include "StepFiles.h"
#include "UiTestSupport.h"

using namespace vesmira;
using test::Answer;
using test::Dialogs;

namespace {

enum Which { kError, kInformation, kFailure };

// Shows text in one of the three dialogs the wizard speaks through.
void Show(int which, const std::string& text) {
    if (which == kFailure) {
        ShowFailure(text);
    } else {
        ShowMessageDialog(text, which == kError ? DialogKind::kError : DialogKind::kInformation);
    }
}

// The entries of the context menu that a right click on the widget opens.
QStringList ContextMenuTexts(QWidget* widget) {
    QStringList texts;
    QTimer::singleShot(0, [&texts] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu != nullptr) {
            for (const QAction* action : menu->actions()) {
                texts << action->text();
            }
            menu->close();
        }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2),
                            widget->mapToGlobal(QPoint(2, 2)));
    QCoreApplication::sendEvent(widget, &event);
    return texts;
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

    std::map<QString, std::string> texts_;

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
        QCOMPARE(seen.icon, QString("エラー"));
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
        QTest::newRow("error") << int(DialogKind::kError) << "エラー";
        QTest::newRow("information") << int(DialogKind::kInformation) << "情報";
    }
    void dialogKinds() {
        QFETCH(int, kind);
        QFETCH(QString, title);
        Dialogs().Expect(Answer::kEnter);
        ShowMessageDialog("一行目\r\n二行目", static_cast<DialogKind>(kind));
        const test::SeenDialog seen = Dialogs().TakeOne();
        QCOMPARE(seen.title, title);
        QCOMPARE(seen.icon, title);  // the icon is named as the caption
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
        const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
        test::OnNextDialog([&](MessageDialog& box) {
            // Once painted, the dialog knows its frame and may be centred again.
            (void)QTest::qWaitFor([&] {
                return (box.frameGeometry().center() - screenCentre).manhattanLength() <= 2;
            });
            centre = box.frameGeometry().center();
            modal = box.windowModality() == Qt::ApplicationModal;
        });
        ShowMessageDialog("中央", DialogKind::kError);
        QVERIFY2((centre - screenCentre).manhattanLength() <= 2,
                 qPrintable(QString("%1,%2").arg(centre.x()).arg(centre.y())));
        QVERIFY(modal);
    }

    void displayTextShowsEveryCharacter_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("lineBreaks") << QByteArray("a\r\nb\rc\nd\r\n\r\n") << "a\nb\nc\nd\n\n";
        QTest::newRow("nul") << QByteArray("'2000.\0' は", 12) << "'2000.\uFFFD' は";
        QTest::newRow("controls") << QByteArray("a\x01\t\x1b\x7f") << "a\uFFFD\uFFFD\uFFFD\uFFFD";
        QTest::newRow("c1Control") << QByteArray("\xc2\x85") << "\uFFFD";
        QTest::newRow("invalidUtf8") << QByteArray("a\377b") << "a\uFFFDb";
        QTest::newRow("bidiOverride") << QByteArray("\u202eabc") << "\uFFFDabc";
        QTest::newRow("japaneseKept") << QByteArray("（平成4）年。") << "（平成4）年。";
    }
    void displayTextShowsEveryCharacter() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        QCOMPARE(DisplayText(std::string_view(bytes.constData(), size_t(bytes.size()))), shown);
    }

    // From where a failure is raised to the box, nothing is cut at a NUL.
    void failureTextKeepsEveryByte_data() {
        QTest::addColumn<bool>("atEventLoop");
        QTest::newRow("guardedHandler") << false;
        QTest::newRow("eventLoop") << true;
    }
    void failureTextKeepsEveryByte() {
        QFETCH(bool, atEventLoop);
        const std::string field("'2000.\0x", 8);
        struct Throwing : QWidget {
            std::string text;
            bool event(QEvent* e) override {
                if (e->type() == QEvent::User) {
                    ToInteger(text);
                }
                return QWidget::event(e);
            }
        } widget;
        widget.text = field;
        Dialogs().Expect(Answer::kEnter);
        if (atEventLoop) {
            QCoreApplication::postEvent(&widget, new QEvent(QEvent::User));
            QVERIFY(QTest::qWaitFor([] { return !Dialogs().Seen().empty(); }));
        } else {
            RunGuarded([&] { ToInteger(field); });
        }
        QCOMPARE(Dialogs().TakeOne().text, QString("''2000.\uFFFDx' は整数ではありません."));
    }

    // Whatever the text, the dialog fits the screen it is shown on, OK is
    // visible and centred below the text, and it comes up at once.
    void dialogFitsTheScreen_data() {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("which");
        // As long as what a step file of 1 MiB can hold.
        const std::map<QString, std::string> texts = {
            {"short", "値が入力されていません。"},
            {"longUnbroken", std::string(32767, 'a')},
            {"manyLines", QByteArray("a\r\n").repeated(300000).toStdString()},
            {"oneMebibyte", std::string(1 << 20, 'a')},
        };
        texts_ = texts;
        // Big screen before small: a dialog shrunk to a smaller screen must
        // still scroll to its end.
        for (const auto& [kind, text] : texts) {
            for (const char* screen : {"big", "small"}) {
                for (int which : {kInformation, kFailure}) {
                    QTest::addRow("%s-%s-%s", screen, qPrintable(kind),
                                  which == kFailure ? "failureBox" : "information")
                        << screen << kind << which;
                }
            }
        }
    }
    void dialogFitsTheScreen() {
        QFETCH(QString, screen);
        QFETCH(QString, kind);
        QFETCH(int, which);
        QScreen* target = nullptr;
        for (QScreen* s : QGuiApplication::screens()) {
            target = s->name() == screen ? s : target;
        }
#ifdef _WIN32
        // Windows has the one screen it is given: the large screen's rows run
        // on it, the small one is the offscreen platform's.
        if (screen == "big") {
            target = QGuiApplication::primaryScreen();
        } else {
            QSKIP("a second screen only where the offscreen platform makes one");
        }
#endif
        QVERIFY2(target != nullptr, "run with the two screens of two-screens.json");
        QWidget opener;  // the dialog goes to the screen of the active window
        opener.setScreen(target);
        opener.move(target->geometry().topLeft() + QPoint(10, 10));
        opener.show();
        opener.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&opener));

        const QRect area = target->availableGeometry();
        bool shown = false;
        test::OnNextDialog([&](MessageDialog& box) {
            box.grab();  // painted
            shown = true;
            const QRect frame = box.frameGeometry();
            QCOMPARE(frame & area, frame);  // within the available area
            QVERIFY(frame.width() <= target->geometry().width() / 2);
            const QRect text = box.textView()->geometry();
            const QRect ok = box.okButton()->geometry();
            const QRect icon = box.iconLabel()->geometry();
            QVERIFY(box.okButton()->isVisible() && box.rect().contains(ok));
            QVERIFY(ok.top() >= text.bottom());
            QVERIFY(qAbs(ok.center().x() - box.rect().center().x()) <= 1);
            QVERIFY(icon.right() < text.left() && icon.top() <= text.top() + 1);
            if (kind == "short") {
                QVERIFY(!box.textView()->verticalScrollBar()->isVisible());
            } else {
                QVERIFY(box.textView()->verticalScrollBar()->isVisible() || kind == "longUnbroken");
            }
            // The last character can be brought into view.
            QTest::keyClick(box.textView(), Qt::Key_End, Qt::ControlModifier);
            const int end = int(box.text().size());
            QVERIFY(box.textView()->viewport()->rect().contains(
                box.textView()->CharacterRect(end).topLeft()));
        });
        // How fast is for make bench; a test only shows it comes up at all.
        Show(which, texts_.at(kind));
        QVERIFY(shown);
    }

    void ordinaryTextsWrapAtWordsAndInsideLongRuns_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("rows");
        QTest::newRow("oneLine") << "値が入力されていません。" << 1;
        QTest::newRow("lineBreaks") << "一\r\n二\r\n三" << 3;
        QTest::newRow("wordsWrapWhole") << QString("abcdefgh ").repeated(60).trimmed() << -1;
        QTest::newRow("runWithoutBlanks") << QString(150, QChar(0x5B66)) + "入学は" << -1;
    }
    void ordinaryTextsWrapAtWordsAndInsideLongRuns() {
        QFETCH(QString, text);
        QFETCH(int, rows);
        test::OnNextDialog([&](MessageDialog& box) {
            MessageText* view = box.textView();
            const int lineHeight = view->CharacterRect(0).height();
            const int shownRows = view->height() / lineHeight;
            QVERIFY(box.frameGeometry().width() <= box.screen()->geometry().width() / 2);
            if (rows > 0) {
                QCOMPARE(shownRows, rows);
                return;
            }
            QVERIFY(shownRows > 1);
            // Every character lies within the view; a row starts only at a word.
            for (int at = 0; at < box.text().size(); ++at) {
                const QRect c = view->CharacterRect(at);
                QVERIFY(c.right() < view->viewport()->width());
                if (text.startsWith("abc") && c.left() == 0) {
                    QVERIFY(at == 0 || box.text().at(at - 1) == ' ');
                }
            }
        });
        ShowMessageDialog(text.toStdString(), DialogKind::kInformation);
    }

    void theWholeDialogUsesTheWindowsProportionalGothic() {
        test::OnNextDialog([](MessageDialog& box) {
            const QFontInfo windows(FormFont());
            for (QWidget* part :
                 {static_cast<QWidget*>(box.textView()), static_cast<QWidget*>(box.okButton())}) {
                const QFontInfo used(part->font());
                QCOMPARE(used.family(), windows.family());
                QVERIFY(!used.fixedPitch());
            }
            QVERIFY2(windows.family().startsWith("IPAP"), qPrintable(windows.family()));
        });
        ShowMessageDialog("大学入学は2005（平成17）年4月", DialogKind::kInformation);
    }

    void ctrlCCopiesTheWholeText_data() {
        QTest::addColumn<int>("which");
        QTest::addColumn<QString>("copied");
        const QString text = "大学入学は2005（平成17）年4月\n現在41歳です。";
        QTest::newRow("error") << int(kError) << text;
        QTest::newRow("information") << int(kInformation) << text;
        QTest::newRow("failureBox") << int(kFailure) << text + ".";
    }
    void ctrlCCopiesTheWholeText() {
        QFETCH(int, which);
        QFETCH(QString, copied);
        QGuiApplication::clipboard()->clear();
        test::OnNextDialog(
            [](MessageDialog& box) { QTest::keyClick(&box, Qt::Key_C, Qt::ControlModifier); });
        Show(which, "大学入学は2005（平成17）年4月\r\n現在41歳です。");
        QCOMPARE(QGuiApplication::clipboard()->text(), copied);
    }

    // Part of the text, chosen with the mouse or the keyboard, for a 履歴書.
    void copiesTheSelectedPart_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("copied");
        QTest::newRow("mouseDrag") << "mouse"
                                   << "二行目";
        QTest::newRow("keyboard") << "keys"
                                  << "二行目\n三行";
        QTest::newRow("selectAll") << "all"
                                   << "一行目\n二行目\n三行目";
        QTest::newRow("doubleClick") << "word"
                                     << "abc";
    }
    void copiesTheSelectedPart() {
        QFETCH(QString, how);
        QFETCH(QString, copied);
        QGuiApplication::clipboard()->clear();
        test::OnNextDialog([&](MessageDialog& box) {
            MessageText* view = box.textView();
            QWidget* area = view->viewport();
            const auto at = [view](int position) {
                const QRect c = view->CharacterRect(position);
                return QPoint(c.left() + 1, c.center().y());
            };
            if (how == "mouse") {
                QTest::mousePress(area, Qt::LeftButton, {}, at(4));
                QTest::mouseMove(area, QPoint(area->width() - 1, at(4).y()));
                QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(area->width() - 1, at(4).y()));
            } else if (how == "keys") {
                QTest::keyClick(box.okButton(), Qt::Key_Tab);  // on to the text
                QCOMPARE(QApplication::focusWidget(), view);
                QTest::keyClick(view, Qt::Key_Down);
                QTest::keyClick(view, Qt::Key_Home);
                QTest::keyClick(view, Qt::Key_Down, Qt::ShiftModifier);
                QTest::keyClick(view, Qt::Key_Right, Qt::ShiftModifier);
                QTest::keyClick(view, Qt::Key_Right, Qt::ShiftModifier);
            } else if (how == "all") {
                QTest::keyClick(&box, Qt::Key_A, Qt::ControlModifier);
            } else {
                QTest::mouseDClick(area, Qt::LeftButton, {}, at(8));
            }
            QTest::keyClick(&box, Qt::Key_C, Qt::ControlModifier);
        });
        ShowMessageDialog(how == "word" ? "一行目\r\nxy abc def" : "一行目\r\n二行目\r\n三行目",
                          DialogKind::kInformation);
        QCOMPARE(QGuiApplication::clipboard()->text(), copied);
    }

    // The hook for a further copy entry: its own label and shortcut, copying
    // the caller's text; Ctrl+C still copies what is shown; gone afterwards.
    void anExtraCopyEntryCopiesTheCallersText() {
        const CopyAction rows{"履歴書の行をコピー(&R)", QKeySequence("Ctrl+Shift+C"),
                              "1992\t平成4\t4\t小学校 入学"};
        QStringList menu;
        QString byShortcut, byCtrlC;
        test::OnNextDialog([&](MessageDialog& box) {
            QTest::keyClick(&box, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
            byShortcut = QGuiApplication::clipboard()->text();
            QTest::keyClick(&box, Qt::Key_C, Qt::ControlModifier);
            byCtrlC = QGuiApplication::clipboard()->text();
            menu = ContextMenuTexts(box.textView()->viewport());
        });
        ShowMessageDialog("小学校入学は1992（平成4）年4月", DialogKind::kInformation, {&rows, 1});
        QCOMPARE(menu, QStringList({"コピー(&C)", "すべて選択(&A)", "履歴書の行をコピー(&R)"}));
        QCOMPARE(byShortcut, rows.text);
        QCOMPARE(byCtrlC, QString("小学校入学は1992（平成4）年4月"));

        test::OnNextDialog(
            [&](MessageDialog& box) { menu = ContextMenuTexts(box.textView()->viewport()); });
        ShowMessageDialog("次", DialogKind::kInformation);
        QCOMPARE(menu, QStringList({"コピー(&C)", "すべて選択(&A)"}));
    }

    // What a screen reader gets: the icon named by its kind, the text line by line.
    void accessibleIconAndTextLines_data() {
        QTest::addColumn<int>("which");
        QTest::addColumn<QString>("iconName");
        QTest::newRow("error") << int(kError) << "エラー";
        QTest::newRow("information") << int(kInformation) << "情報";
        QTest::newRow("failureBox") << int(kFailure) << "エラー";
    }
    void accessibleIconAndTextLines() {
        QFETCH(int, which);
        QFETCH(QString, iconName);
        QString name;
        QStringList lines;
        int characters = 0;
        QAccessible::Role role = QAccessible::NoRole;
        test::OnNextDialog([&](MessageDialog& box) {
            role = QAccessible::queryAccessibleInterface(&box)->role();
            QAccessibleInterface* icon = QAccessible::queryAccessibleInterface(box.iconLabel());
            name = icon->text(QAccessible::Name);
            QAccessibleTextInterface* text =
                QAccessible::queryAccessibleInterface(box.textView())->textInterface();
            QVERIFY(text != nullptr);
            characters = text->characterCount();
            for (int at = 0, start = 0, end = 0; at < characters; at = end) {
                lines << text->textAtOffset(at, QAccessible::LineBoundary, &start, &end);
            }
        });
        Show(which, "一行目\r\n二行目\r\n三行目");
        QCOMPARE(role, QAccessible::AlertMessage);  // spoken when it appears
        QCOMPARE(name, iconName);
        QCOMPARE(lines,
                 QStringList({"一行目\n", "二行目\n", which == kFailure ? "三行目." : "三行目"}));
    }

    // The failure box, like the dialogs, never reads a text as markup.
    void typedTextIsNeverMarkup_data() {
        QTest::addColumn<int>("which");
        QTest::addColumn<QString>("shown");
        QTest::newRow("information") << int(kInformation) << "<b>1</b>入学は&amp;";
        QTest::newRow("failureBox") << int(kFailure) << "<b>1</b>入学は&amp;.";
    }
    void typedTextIsNeverMarkup() {
        QFETCH(int, which);
        QFETCH(QString, shown);
        QString read;
        test::OnNextDialog([&](MessageDialog& box) {
            read = QAccessible::queryAccessibleInterface(box.textView())->text(QAccessible::Name);
        });
        Show(which, "<b>1</b>入学は&amp;");
        QCOMPARE(read, shown);
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
