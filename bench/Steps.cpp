// bench_steps: drives the program's own windows through one typical use,
// again and again, and times each action from the key press until the window
// that answers it has been painted. Step files are written as in real use, in
// a fresh folder of its own under $TMPDIR.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "CompletingComboBox.h"
#include "Controls.h"
#include "History.h"
#include "Startup.h"
#include "StepFiles.h"
#include "Unit1.h"
#include "Unit2.h"
#include "WizardApplication.h"

namespace vesmira {
namespace {

constexpr int kRoads = 25;
constexpr int kDeadlineMs = 30000;  // generous: also run under valgrind
constexpr double kMedianTargetMs = 5;
constexpr double kWorstTargetMs = 20;
constexpr double kDialogRatioTarget = 1.3;  // 完了 against an empty dialog shown
constexpr int kBigRuns = 5;
constexpr double kBigTextTargetMs = 200;

// Notes paints and title changes of the watched window and, while armed for
// it, the first paint of a modal dialog, behind which the dialog's answer is
// queued.
class PaintWatch : public QObject {
  public:
    QWidget* window = nullptr;
    bool painted = false;
    std::function<void(QWidget*)> onDialogPainted;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window && event->type() == QEvent::WindowTitleChange) {
            painted = true;  // a step that leaves the client area as it was
        }
        if (event->type() != QEvent::Paint || !watched->isWidgetType()) {
            return false;
        }
        QWidget* top = static_cast<QWidget*>(watched)->window();
        if (top == window) {
            painted = true;
        }
        if (onDialogPainted && top == QApplication::activeModalWidget()) {
            auto answer = std::exchange(onDialogPainted, nullptr);
            QTimer::singleShot(0, top, [answer, top] { answer(top); });
        }
        return false;
    }
};

PaintWatch* watch = nullptr;

double Ms(const QElapsedTimer& timer) {
    return timer.nsecsElapsed() / 1e6;
}

// Lets the previous action's window settle, so that none of its paints is
// taken for the next one's.
void Settle() {
    QTest::qWait(15);
}

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "bench_steps: %s\n", what);
    std::exit(1);
}

// Any paint the action has queued is finished first, also after a title change.
void WaitForPaint(const char* what) {
    QElapsedTimer deadline;
    deadline.start();
    QCoreApplication::processEvents();
    while (!watch->painted) {
        if (deadline.elapsed() > kDeadlineMs) {
            Fail(what);
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
}

// Times one key press up to the paint of the window that answers it.
double Timed(const char* what, QWidget* answering, const std::function<void()>& press) {
    Settle();
    watch->window = answering;
    watch->painted = false;
    QElapsedTimer timer;
    timer.start();
    press();
    WaitForPaint(what);
    return Ms(timer);
}

void Retype(QLineEdit* edit, const char* text) {
    edit->setFocus(Qt::TabFocusReason);
    edit->selectAll();
    QTest::keyClicks(edit, QString::fromLatin1(text));
}

// Typed into the combo box one character at a time, as a user (or the input
// method) would; the combo box completes each to the first matching school.
void TypeSchool(CompletingComboBox* combo, const QString& text) {
    combo->setFocus(Qt::TabFocusReason);
    combo->lineEdit()->selectAll();
    for (const QChar c : text) {
        QTest::sendKeyEvent(QTest::Click, combo, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

void Press(QWidget* target, Qt::Key key) {
    QTest::keyClick(target, key);
}

struct Action {
    const char* name;
    std::vector<double> ms;
};

enum ActionIndex {
    kStep1Next,
    kSchool1,
    kSchool2,
    kSchool3,
    kBack1,
    kBack2,
    kTickLast,
    kFinish,
    kAnswerOk,
    kActionCount
};

std::vector<Action> actions = {
    {"STEP1 Enter: temp.1 saved, STEP2 shown", {}},
    {"STEP2 Enter (高等学校): temp.2, retitled", {}},
    {"STEP3 Enter (大学, 浪人 1): temp.3", {}},
    {"STEP4 Enter (大学院): temp.4", {}},
    {"戻る: temp.3 read, STEP4", {}},
    {"戻る: temp.2 read, STEP3", {}},
    {"Space on 最終学歴: button reads 完了", {}},
    {"Enter on 完了: information dialog shown", {}},
    {"OK: step files deleted, STEP1 shown", {}},
};

enum BigTextIndex { kBigFailure, kBigFailureOk, kBigResult, kBigResultOk };

std::vector<Action> bigTexts = {
    {"戻る, a 1 MiB first line: failure box shown", {}},
    {"OK: failure box closed", {}},
    {"完了, 300,000 lines: information dialog shown", {}},
    {"OK: STEP1 shown", {}},
};

// Presses a key that opens a modal dialog, which runs a loop of its own: its
// first paint stops the first clock, and the answer (OK by Enter) starts the
// second, which stops when the answering window is painted, or, without one,
// when the press has been handled.
std::pair<double, double> TimedDialog(const char* what, QWidget* answering,
                                      const std::function<void()>& press) {
    Settle();
    QElapsedTimer timer;
    double shown = -1;
    watch->onDialogPainted = [&](QWidget* dialog) {
        shown = Ms(timer);
        watch->window = answering;
        watch->painted = false;
        timer.start();
        Press(dialog, Qt::Key_Return);
    };
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [what] { Fail(what); });
    deadline.start(kDeadlineMs);
    watch->window = nullptr;
    timer.start();
    press();
    if (shown < 0) {
        Fail(what);
    }
    if (answering != nullptr) {
        WaitForPaint(what);
    }
    return {shown, Ms(timer)};
}

void Road() {
    TForm1& f1 = *Form1;
    TForm2& f2 = *Form2;

    Retype(f1.EdYear, "1985");
    Retype(f1.EdMth, "5");
    Retype(f1.EdDay, "10");
    actions[kStep1Next].ms.push_back(
        Timed(actions[kStep1Next].name, &f2, [&] { Press(f1.EdDay, Qt::Key_Return); }));

    TypeSchool(f2.CBSchool, QStringLiteral("高"));
    actions[kSchool1].ms.push_back(
        Timed(actions[kSchool1].name, &f2, [&] { Press(f2.EdYears, Qt::Key_Return); }));

    TypeSchool(f2.CBSchool, QStringLiteral("大"));
    Retype(f2.EdRo, "1");
    actions[kSchool2].ms.push_back(
        Timed(actions[kSchool2].name, &f2, [&] { Press(f2.EdRo, Qt::Key_Return); }));

    TypeSchool(f2.CBSchool, QStringLiteral("大学院"));
    actions[kSchool3].ms.push_back(
        Timed(actions[kSchool3].name, &f2, [&] { Press(f2.CBSchool, Qt::Key_Return); }));

    f2.BtnBack->setFocus(Qt::TabFocusReason);
    actions[kBack1].ms.push_back(
        Timed(actions[kBack1].name, &f2, [&] { Press(f2.BtnBack, Qt::Key_Return); }));
    actions[kBack2].ms.push_back(
        Timed(actions[kBack2].name, &f2, [&] { Press(f2.BtnBack, Qt::Key_Return); }));

    f2.ChkLast->setFocus(Qt::TabFocusReason);
    actions[kTickLast].ms.push_back(
        Timed(actions[kTickLast].name, &f2, [&] { Press(f2.ChkLast, Qt::Key_Space); }));

    const auto [shown, back] =
        TimedDialog("完了 showed no dialog", &f1, [&] { Press(f2.ChkLast, Qt::Key_Return); });
    actions[kFinish].ms.push_back(shown);
    actions[kAnswerOk].ms.push_back(back);
    if (QDir().exists(QString::fromStdString(StepFileName(1)))) {
        Fail("the step files were not deleted");
    }
}

void WriteStepFile(const std::string& bytes) {
    QFile file(QString::fromStdString(StepFileName(1)));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size())) {
        Fail("cannot plant a step file");
    }
}

// The largest texts the wizard can meet: a step file whose first line is a
// megabyte of letters (戻る shows it whole in the failure box), and a history
// of 300,000 lines read back by 戻る and shown by 完了.
void BigTexts() {
    TForm1& f1 = *Form1;
    TForm2& f2 = *Form2;
    Timed("STEP2 not shown", &f2, [&] { Press(f1.EdDay, Qt::Key_Return); });
    Timed("STEP3 not shown", &f2, [&] { Press(f2.EdYears, Qt::Key_Return); });

    WriteStepFile(std::string(kMaxStepFileSize - 2, 'a') + "\r\n");
    f2.BtnBack->setFocus(Qt::TabFocusReason);
    const auto [failureShown, failureClosed] =
        TimedDialog("戻る showed no failure", nullptr, [&] { Press(f2.BtnBack, Qt::Key_Return); });
    bigTexts[kBigFailure].ms.push_back(failureShown);
    bigTexts[kBigFailureOk].ms.push_back(failureClosed);

    std::string lines = "2001\r\n";
    for (int i = 0; i < 300000; ++i) {
        lines += "a\r\n";
    }
    WriteStepFile(lines);
    Timed("戻る did not read the lines", &f2, [&] { Press(f2.BtnBack, Qt::Key_Return); });
    f2.ChkLast->setFocus(Qt::TabFocusReason);
    Timed("最終学歴 not ticked", &f2, [&] { Press(f2.ChkLast, Qt::Key_Space); });
    const auto [resultShown, back] =
        TimedDialog("完了 showed no dialog", &f1, [&] { Press(f2.ChkLast, Qt::Key_Return); });
    bigTexts[kBigResult].ms.push_back(resultShown);
    bigTexts[kBigResultOk].ms.push_back(back);
}

// What the platform (and window manager) alone costs for the commonest step:
// one empty dialog hidden and another shown, timed the same way.
std::vector<double> PlatformFloor() {
    QDialog first;
    QDialog second;
    first.setFixedSize(Form1->size());
    second.setFixedSize(Form2->size());
    first.move(Form1->pos());
    second.move(Form2->pos());
    first.show();
    std::vector<double> ms;
    for (int i = 0; i < kRoads; ++i) {
        QDialog& from = i % 2 == 0 ? first : second;
        QDialog& to = i % 2 == 0 ? second : first;
        ms.push_back(Timed("an empty dialog was not painted", &to, [&] {
            from.hide();
            ShowOnTop(&to);
        }));
    }
    return ms;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void PrintRow(const Action& a) {
    std::printf("  %8.2f %8.2f %8.2f   %s\n", a.ms.front(), Median(a.ms),
                *std::max_element(a.ms.begin(), a.ms.end()), a.name);
}

void Report(const std::vector<double>& floor) {
    std::printf("  %d runs of the typical use; ms from key press to the answering window painted\n",
                kRoads);
    std::printf("  %8s %8s %8s   %s\n", "first", "median", "worst", "action");
    double worstMedian = 0;
    double worst = 0;
    std::vector<double> all;
    for (const Action& a : actions) {
        const double median = Median(a.ms);
        const double max = *std::max_element(a.ms.begin(), a.ms.end());
        std::printf("  %8.2f %8.2f %8.2f   %s\n", a.ms.front(), median, max, a.name);
        worstMedian = std::max(worstMedian, median);
        worst = std::max(worst, max);
        all.insert(all.end(), a.ms.begin(), a.ms.end());
    }
    std::printf("  %8.2f %8.2f %8.2f   (reference: an empty dialog hidden, another shown)\n",
                floor.front(), Median(floor), *std::max_element(floor.begin(), floor.end()));
    std::printf(
        "  all steps: median %.2f ms, slowest step's median %.2f ms (target < %.0f), "
        "worst %.2f ms (target < %.0f): %s\n",
        Median(all), worstMedian, kMedianTargetMs, worst, kWorstTargetMs,
        worstMedian < kMedianTargetMs && worst < kWorstTargetMs ? "met" : "MISSED");
    const double dialogRatio = Median(actions[kFinish].ms) / Median(floor);
    const double backMs = Median(actions[kAnswerOk].ms);
    std::printf(
        "  dialogs: 完了 median %.2f x the reference (target <= %.1f): %s; "
        "OK back to STEP1 median %.2f ms (target < %.0f): %s\n",
        dialogRatio, kDialogRatioTarget, dialogRatio <= kDialogRatioTarget ? "met" : "MISSED",
        backMs, kMedianTargetMs, backMs < kMedianTargetMs ? "met" : "MISSED");

    std::printf("  %d runs with the largest texts\n", kBigRuns);
    std::printf("  %8s %8s %8s   %s\n", "first", "median", "worst", "action");
    double slowest = 0;
    for (const Action& a : bigTexts) {
        PrintRow(a);
        slowest = std::max(slowest, *std::max_element(a.ms.begin(), a.ms.end()));
    }
    std::printf("  largest texts: worst %.2f ms (target < %.0f): %s\n", slowest, kBigTextTargetMs,
                slowest < kBigTextTargetMs ? "met" : "MISSED");
}

}  // namespace
}  // namespace vesmira

int main(int, char* argv[]) {
    using namespace vesmira;
    int argc = 1;
    WizardApplication app(argc, argv);

    // DeleteStepFiles works on the working directory; never let it be the
    // caller's.
    QTemporaryDir folder;
    if (!folder.isValid() || !QDir::setCurrent(folder.path())) {
        Fail("cannot make a working folder");
    }

    PaintWatch paintWatch;
    watch = &paintWatch;
    app.installEventFilter(watch);
    PrepareApplication();
    CreateForms();
    watch->window = Form1;
    ShowMainForm();
    WaitForPaint("the birth-date window was never painted");
    // What follows the first paint is not a step's to pay for.
    while (!StartFinished()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }

    for (int i = 0; i < kRoads; ++i) {
        Road();
    }
    for (int i = 0; i < kBigRuns; ++i) {
        BigTexts();
    }
    Report(PlatformFloor());

    DestroyForms();
    ResetWizard();
    DeleteStepFiles();
    app.removeEventFilter(watch);
    return 0;
}
