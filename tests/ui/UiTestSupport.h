#pragma once

// Driving the real windows headless: answering modal dialogs from the test,
// typing into fields, and a main() that runs a test object under the
// program's own application class.

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>
#include <vector>

#include "MessageDialog.h"
#include "Startup.h"
#include "WizardApplication.h"

namespace vesmira::test {

enum class Answer { kEnter, kEscape, kSpace, kClickOk, kCloseBox };

struct SeenDialog {
    QString title;
    QString text;          // as shown: lines end in "\n", stand-ins for what cannot be shown
    QString icon;          // as a screen reader names it: エラー or 情報
    bool expected = true;  // false: nobody had asked for it; it was answered with Esc
};

// Watches for modal dialogs and answers each with the next queued answer.
// A dialog that appears with no answer queued is recorded as unexpected and
// dismissed, so that a stray dialog fails the test instead of hanging it.
class DialogDriver : public QObject {
  public:
    DialogDriver();
    void Expect(Answer answer) { answers_.push_back(answer); }
    const std::vector<SeenDialog>& Seen() const { return seen_; }
    // Every dialog seen since the last call.
    std::vector<SeenDialog> Take();
    // The one dialog seen since the last call; fails the test otherwise.
    SeenDialog TakeOne();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Poll();
    QTimer timer_;
    std::deque<Answer> answers_;
    std::vector<SeenDialog> seen_;
};

DialogDriver& Dialogs();

// Runs check on the next message dialog once it is shown and active (the
// driver above leaves that one alone), then answers it with Enter.
void OnNextDialog(std::function<void(MessageDialog&)> check);

// Replaces the text of a field by typing, as the user would after selecting it.
void TypeInto(QWidget* field, const QString& text);

// Sends text as one committed key event (QTest::keyClicks takes ASCII only).
void TypeText(QWidget* field, const QString& text);

// Makes the window active and gives the widget the focus, as a click would.
void FocusByUser(QWidget* widget);

// What of the start is not there (yet): a window, a control of the
// school-step window, the program's icon, the toolkit's Japanese texts.
QStringList MissingFromTheStart();

// Notes MissingFromTheStart() when the first key or button press reaches the
// watched control, before the control handles it.
class FirstInputWatch : public QObject {
  public:
    explicit FirstInputWatch(QWidget* control);
    bool noted = false;
    QStringList missing;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// Records what assistive tools are told about the step windows while it
// lives, with the toolkit's accessibility switched on as a running screen
// reader does: "name X" for a name change and "focus X" for a focus move, X
// being the name then read for the object.
class Announcements {
  public:
    Announcements();
    ~Announcements();
    Announcements(const Announcements&) = delete;
    Announcements& operator=(const Announcements&) = delete;
    QStringList Take();
};

// A working directory of its own for each test, removed afterwards.
class ScratchDirectory {
  public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  private:
    QString previous_, path_;
};

}  // namespace vesmira::test

#define VESMIRA_TEST_MAIN(TestClass)                \
    int main(int argc, char** argv) {               \
        vesmira::WizardApplication app(argc, argv); \
        vesmira::PrepareApplication();              \
        TestClass test;                             \
        QTEST_SET_MAIN_SOURCE_PATH                  \
        return QTest::qExec(&test, argc, argv);     \
    }
