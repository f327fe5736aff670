#include "UiTestSupport.h"

#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "CompletingComboBox.h"
#include "Controls.h"
#include "MessageDialog.h"
#include "StepFiles.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"

#ifdef _WIN32
// A test program is not the foreground process that a user's click makes of
// the wizard: Windows would otherwise refuse its windows the activation that
// every step waits for.
static void AlwaysActivate() {
    using QNativeInterface::Private::QWindowsApplication;
    if (auto* windows = qApp->nativeInterface<QWindowsApplication>()) {
        windows->setWindowActivationBehavior(QWindowsApplication::AlwaysActivateWindow);
    }
}
Q_COREAPP_STARTUP_FUNCTION(AlwaysActivate)
#endif

namespace vesmira::test {

DialogDriver::DialogDriver() {
    timer_.setInterval(5);
    connect(&timer_, &QTimer::timeout, this, &DialogDriver::Poll);
    timer_.start();
    qApp->installEventFilter(this);
}

bool DialogDriver::eventFilter(QObject* watched, QEvent* event) {
    // The dialogs are kept between uses: each showing is answered anew.
    if (event->type() == QEvent::Hide && qobject_cast<MessageDialog*>(watched) != nullptr) {
        watched->setProperty("answered", QVariant());
    }
    return false;
}

std::vector<SeenDialog> DialogDriver::Take() {
    answers_.clear();
    return std::exchange(seen_, {});
}

SeenDialog DialogDriver::TakeOne() {
    const std::vector<SeenDialog> seen = Take();
    if (seen.size() != 1) {
        QString texts;
        for (const SeenDialog& d : seen) {
            texts += " [" + d.title + ": " + d.text + "]";
        }
        QTest::qFail(
            qPrintable(
                QStringLiteral("expected one dialog, saw %1:%2").arg(seen.size()).arg(texts)),
            __FILE__, __LINE__);
        return {};
    }
    return seen.front();
}

void DialogDriver::Poll() {
    auto* box = qobject_cast<MessageDialog*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible() || box->property("answered").toBool()) {
        return;
    }
    box->setProperty("answered", true);
    const QString icon =
        QAccessible::queryAccessibleInterface(box->iconLabel())->text(QAccessible::Name);
    SeenDialog seen{box->windowTitle(), box->text(), icon, !answers_.empty()};
    const Answer answer = answers_.empty() ? Answer::kEscape : answers_.front();
    if (!answers_.empty()) {
        answers_.pop_front();
    }
    seen_.push_back(seen);
    switch (answer) {
        case Answer::kEnter:
            QTest::keyClick(box, Qt::Key_Return);
            break;
        case Answer::kEscape:
            QTest::keyClick(box, Qt::Key_Escape);
            break;
        case Answer::kSpace:
            QTest::keyClick(box->okButton(), Qt::Key_Space);
            break;
        case Answer::kClickOk:
            QTest::mouseClick(box->okButton(), Qt::LeftButton);
            break;
        case Answer::kCloseBox:
            box->close();
            break;
    }
}

namespace {

class NextDialogWatch : public QObject {
  public:
    NextDialogWatch() { qApp->installEventFilter(this); }
    std::function<void(MessageDialog&)> check;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* dialog = qobject_cast<MessageDialog*>(watched);
        if (dialog != nullptr && event->type() == QEvent::Show && check) {
            dialog->setProperty("answered", true);
            QTimer::singleShot(0, dialog, [dialog, run = std::exchange(check, nullptr)] {
                if (QTest::qWaitForWindowActive(dialog)) {  // as a user meets it
                    run(*dialog);
                } else {
                    QTest::qFail("the dialog never became active", __FILE__, __LINE__);
                }
                QTest::keyClick(dialog, Qt::Key_Return);
            });
        }
        return false;
    }
};

}  // namespace

void OnNextDialog(std::function<void(MessageDialog&)> check) {
    static NextDialogWatch* watch = new NextDialogWatch;  // lives as long as the application
    watch->check = std::move(check);
}

DialogDriver& Dialogs() {
    static DialogDriver* driver = new DialogDriver;  // lives as long as the application
    return *driver;
}

void FocusByUser(QWidget* widget) {
    QWidget* window = widget->window();
    if (QApplication::activeWindow() != window) {
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
    }
    widget->setFocus(Qt::MouseFocusReason);
}

void TypeInto(QWidget* field, const QString& text) {
    FocusByUser(field);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Backspace);
    TypeText(field, text);
}

void TypeText(QWidget* field, const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(field, c.toLatin1());
        } else {
            QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }
}

namespace {

QStringList announced;
QAccessible::UpdateHandler previousHandler = nullptr;

void Announce(QAccessibleEvent* event) {
    const char* kind = event->type() == QAccessible::NameChanged ? "name "
                       : event->type() == QAccessible::Focus     ? "focus "
                                                                 : nullptr;
    // Only the step windows' own: the dialogs speak for themselves.
    auto* widget = qobject_cast<QWidget*>(event->object());
    if (kind != nullptr && widget != nullptr && qobject_cast<StepWindow*>(widget->window())) {
        announced << kind + event->accessibleInterface()->text(QAccessible::Name);
    }
}

// The offscreen platform has no screen reader to switch accessibility on.
void SetAccessibilityActive(bool active) {
    QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(active);
}

}  // namespace

Announcements::Announcements() {
    announced.clear();
    previousHandler = QAccessible::installUpdateHandler(&Announce);
    SetAccessibilityActive(true);
}

Announcements::~Announcements() {
    SetAccessibilityActive(false);
    QAccessible::installUpdateHandler(previousHandler);
}

QStringList Announcements::Take() {
    return std::exchange(announced, {});
}

ScratchDirectory::ScratchDirectory() : previous_(QDir::currentPath()) {
    QTemporaryDir dir;
    dir.setAutoRemove(false);
    path_ = dir.path();
    QDir::setCurrent(path_);
}

ScratchDirectory::~ScratchDirectory() {
    DeleteStepFiles();  // as the program ends: nothing of this test's is remembered
    QDir::setCurrent(previous_);
    QDir(path_).removeRecursively();
}

QStringList MissingFromTheStart() {
    if (Form1 == nullptr || Form2 == nullptr || Form3 == nullptr) {
        return {"a window"};
    }
    QStringList missing;
    const std::pair<const char*, const QWidget*> controls[] = {
        {"CBSchool", Form2->CBSchool}, {"EdYears", Form2->EdYears}, {"EdRo", Form2->EdRo},
        {"EdRyu", Form2->EdRyu},       {"ChkLast", Form2->ChkLast}, {"BtnNF", Form2->BtnNF},
        {"EdTai", Form2->EdTai},       {"BtnBack", Form2->BtnBack}};
    for (const auto& [name, control] : controls) {
        if (control == nullptr || control->parentWidget() != Form2) {
            missing << name;
        }
    }
    if (QApplication::windowIcon().isNull()) {
        missing << "icon";
    }
    if (QCoreApplication::translate("QLineEdit", "&Undo") == "&Undo") {
        missing << "translation";
    }
    return missing;
}

FirstInputWatch::FirstInputWatch(QWidget* control) : QObject(control) {
    control->installEventFilter(this);
}

bool FirstInputWatch::eventFilter(QObject*, QEvent* event) {
    if (!noted &&
        (event->type() == QEvent::KeyPress || event->type() == QEvent::MouseButtonPress)) {
        noted = true;
        missing = MissingFromTheStart();
    }
    return false;
}

}  // namespace vesmira::test
