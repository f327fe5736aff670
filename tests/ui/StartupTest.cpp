// The program as main runs it, each copy in a child process of its own:
// a second copy in the same folder, a folder it cannot lock, the end by a
// signal wherever the wizard stands or by the loss of its display, a closed
// standard error, and a display that cannot be reached.

#include <QCheckBox>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <map>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Session.h"
#include "Startup.h"
#include "UiTestSupport.h"
#include "Unit1.h"
#include "Unit2.h"

using namespace vesmira;

namespace {

// Where a copy is driven to before it reports "ready" to the test.
enum class Scene {
    kStarted,
    kKeyBeforePaint,
    kStep3,
    kFinalDialog,
    kInputErrorDialog,
    kFailureBox,
    kSecondCopy
};

// In the child: the scene it plays and the pipe it reports on.
Scene scene;
int reportFd = -1;

void Report(const QByteArray& line) {
    const QByteArray bytes = line + '\n';
    [[maybe_unused]] const ssize_t n = ::write(reportFd, bytes.data(), bytes.size());
}

// Reports "ready" once a modal dialog is up; the call that opened it is still
// running, and reports "returned" should it ever come back.
void ReadyWhenModal() {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [poll] {
        if (QApplication::activeModalWidget() != nullptr) {
            poll->stop();
            Report("ready");
        }
    });
    poll->start(10);
}

void EnterOn(QWidget* window) {
    QVERIFY(QTest::qWaitForWindowActive(window));
    QVERIFY(QTest::qWaitFor([] { return QApplication::focusWidget() != nullptr; }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
}

void PlayScene() {
    if (scene == Scene::kSecondCopy) {
        test::Dialogs().Expect(test::Answer::kEnter);
        return;
    }
    QVERIFY(QTest::qWaitForWindowActive(Form1));
    if (scene != Scene::kStarted && scene != Scene::kKeyBeforePaint) {
        test::TypeInto(Form1->EdMth, "5");
        test::TypeInto(Form1->EdDay, "10");
        EnterOn(Form1);
        EnterOn(Form2);  // 高等学校, as offered: on to STEP3
    }
    switch (scene) {
        case Scene::kFinalDialog:
            Form2->ChkLast->click();
            ReadyWhenModal();
            Form2->BtnNF->click();
            break;
        case Scene::kInputErrorDialog:
            test::TypeInto(Form2->EdRo, "");
            ReadyWhenModal();
            QTest::keyClick(Form2->EdRo, Qt::Key_Tab);
            break;
        case Scene::kFailureBox:
            Form2->EdRo->setText("x");
            ReadyWhenModal();
            Form2->BtnNF->click();
            break;
        default:
            Report("ready");
            return;
    }
    Report("returned");
}

// Runs once the copy's application exists, before its start-up goes on.
void DriveCopy() {
    QTimer::singleShot(0, &PlayScene);
}

// The exit status of pid (128 + the signal that ended it), or -1 when it did
// not end by itself in 60 s; it is killed then.
int WaitForExit(pid_t pid) {
    for (int i = 0; i < 6000; ++i) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        ::usleep(10000);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
}

// Told each step of the start: once the main window is shown, and before the
// event loop has run, a key is pressed; the copy reports what of the start
// was missing when the key reached its field, and the end of the start.
void PressKeyOnceShown(const char* step) {
    if (std::strcmp(step, "shown") == 0) {
        test::FirstInputWatch watch(Form1->EdYear);
        QTest::keyClick(Form1->EdYear, Qt::Key_End);
        Report("missing at the first key: " + watch.missing.join(", ").toUtf8());
    } else if (std::strcmp(step, "painted") == 0) {
        Report("painted");
    } else if (std::strcmp(step, "ready") == 0) {
        Report("the rest of the start done");
    }
}

// One copy of the program in a child process, killed if the test leaves it.
class Copy {
  public:
    // display: an X server to run on instead of the test's platform.
    Copy(Scene played, const QString& folder, bool intIgnored = false,
         const QByteArray& display = {}) {
        int fds[2];
        QVERIFY(::pipe(fds) == 0);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            reportFd = fds[1];
            scene = played;
            if (::chdir(QFile::encodeName(folder).constData()) != 0) {
                ::_exit(120);
            }
            if (intIgnored) {
                ::signal(SIGINT, SIG_IGN);  // as a launcher's background child has it
            }
            if (!display.isEmpty()) {
                ::setenv("QT_QPA_PLATFORM", "xcb", 1);
                ::setenv("DISPLAY", display.constData(), 1);
            }
            qAddPreRoutine(&DriveCopy);
            if (played == Scene::kKeyBeforePaint) {
                ObserveStart(&PressKeyOnceShown);
            }
            static char name[] = "vesmira";
            const int status = RunProgram(name);
            for (const test::SeenDialog& d : test::Dialogs().Seen()) {
                Report("dialog " + (d.title + "|" + d.text).toUtf8());
            }
            ::_exit(status);
        }
        ::close(fds[1]);
        report_ = fds[0];
    }
    ~Copy() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(report_);
    }
    Copy(const Copy&) = delete;
    Copy& operator=(const Copy&) = delete;

    // Everything reported so far, once line has come (or, for no line, once
    // the copy has closed its end; at most 60 s).
    QByteArray ReportUntil(const QByteArray& line = {}) {
        QElapsedTimer clock;
        clock.start();
        while ((line.isEmpty() || !reported_.contains(line + '\n')) && clock.elapsed() < 60000) {
            pollfd fd{report_, POLLIN, 0};
            if (::poll(&fd, 1, 100) > 0) {
                char buffer[4096];
                const ssize_t n = ::read(report_, buffer, sizeof buffer);
                if (n <= 0) {
                    break;
                }
                reported_.append(buffer, n);
            }
        }
        return reported_;
    }

    // The copy's exit status, or -1 when it did not exit by itself in 60 s.
    int ExitStatus() { return WaitForExit(std::exchange(pid_, -1)); }

    bool Running() { return ::waitpid(pid_, nullptr, WNOHANG) == 0; }
    void Signal(int signal) const { ::kill(pid_, signal); }

  private:
    pid_t pid_ = -1;
    int report_ = -1;
    QByteArray reported_;
};

// Every entry of the folder, hidden ones too, with its bytes.
std::map<QString, QByteArray> Contents(const QString& folder) {
    std::map<QString, QByteArray> contents;
    for (const QFileInfo& entry :
         QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        QFile file(entry.filePath());
        contents[entry.fileName()] = file.open(QIODevice::ReadOnly) ? file.readAll() : "(?)";
    }
    return contents;
}

// An X server of the test's own, on a display it finds free itself.
class XServer {
  public:
    XServer() {
        int fds[2];
        QVERIFY(::pipe(fds) == 0);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
            const std::string fd = std::to_string(fds[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", nullptr);
            ::_exit(127);
        }
        ::close(fds[1]);
        // The number comes once the server takes connections.
        for (char c = 0; c != '\n';) {
            pollfd ready{fds[0], POLLIN, 0};
            if (::poll(&ready, 1, 30000) <= 0 || ::read(fds[0], &c, 1) != 1) {
                break;
            }
            display_ += c;
        }
        ::close(fds[0]);
        display_ = ":" + display_.trimmed();
    }
    ~XServer() { Stop(); }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool Running() const { return display_.size() > 1; }
    const QByteArray& display() const { return display_; }
    // As a server that goes away: every connection to it breaks.
    void Stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

  private:
    pid_t pid_ = -1;
    QByteArray display_;
};

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT

  private slots:
    void secondCopyInTheSameFolderIsTurnedAway() {
        QTemporaryDir folder;
        Copy first(Scene::kStep3, folder.path());
        QVERIFY(first.ReportUntil("ready").endsWith("ready\n"));
        const auto before = Contents(folder.path());
        QVERIFY(before.contains("temp.1") && before.contains("temp.2"));

        Copy second(Scene::kSecondCopy, folder.path());
        QCOMPARE(second.ExitStatus(), 1);
        QCOMPARE(QString::fromUtf8(second.ReportUntil()),
                 QString("dialog エラー|このフォルダではすでにヴェスミラが動いています。\n"));
        QVERIFY(Contents(folder.path()) == before);
        QVERIFY(first.Running());

        first.Signal(SIGTERM);
        QCOMPARE(first.ExitStatus(), 0);
        QVERIFY(Contents(folder.path()).empty());
    }

    // The program's own start, with a key pressed before anything is
    // painted: the rest of the start runs, once, before the key is handled,
    // and every window and control, the icon and the toolkit's Japanese texts
    // are there.
    void aKeyBeforeThePaintFindsTheStartFinished() {
        QTemporaryDir folder;
        Copy copy(Scene::kKeyBeforePaint, folder.path());
        QCOMPARE(QString::fromUtf8(copy.ReportUntil("ready")),
                 QString("the rest of the start done\nmissing at the first key: \nready\n"));
        copy.Signal(SIGTERM);
        QCOMPARE(copy.ExitStatus(), 0);
    }

    void lockGoesWithAKilledCopy() {
        QTemporaryDir folder;
        {
            Copy killed(Scene::kStarted, folder.path());
            QVERIFY(killed.ReportUntil("ready").endsWith("ready\n"));
            killed.Signal(SIGKILL);
            QCOMPARE(killed.ExitStatus(), 128 + SIGKILL);
        }
        Copy next(Scene::kStarted, folder.path());
        QVERIFY(next.ReportUntil("ready").endsWith("ready\n"));
        next.Signal(SIGTERM);
        QCOMPARE(next.ExitStatus(), 0);
    }

    void endSignal_data() {
        QTest::addColumn<Scene>("scene");
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("intIgnored");
        QTest::newRow("termAtStep3") << Scene::kStep3 << SIGTERM << false;
        QTest::newRow("hupAtStep3") << Scene::kStep3 << SIGHUP << false;
        QTest::newRow("intAtStep3IgnoredAtStart") << Scene::kStep3 << SIGINT << true;
        QTest::newRow("quitAtStep3") << Scene::kStep3 << SIGQUIT << false;
        QTest::newRow("termInTheFinalDialog") << Scene::kFinalDialog << SIGTERM << false;
        QTest::newRow("hupInAnInputError") << Scene::kInputErrorDialog << SIGHUP << false;
        QTest::newRow("intInTheFailureBox") << Scene::kFailureBox << SIGINT << false;
    }

    // As closing a step window: the step files go and the status is 0; and
    // the code waiting on an open dialog never goes on as if it was answered.
    void endSignal() {
        QFETCH(Scene, scene);
        QFETCH(int, signal);
        QFETCH(bool, intIgnored);
        QTemporaryDir folder;
        Copy copy(scene, folder.path(), intIgnored);
        QVERIFY(copy.ReportUntil("ready").endsWith("ready\n"));
        QVERIFY(Contents(folder.path()).contains("temp.2"));
        copy.Signal(signal);
        QCOMPARE(copy.ExitStatus(), 0);
        QVERIFY(Contents(folder.path()).empty());
        QCOMPARE(copy.ReportUntil(), QByteArray("ready\n"));
    }

    // No copy runs where it cannot make sure it is alone: the dialog names the
    // lock file and why, and nothing in the folder changes.
    void lockThatCannotBeTaken_data() {
        QTest::addColumn<QString>("occupant");
        QTest::addColumn<QString>("reason");
        QTest::newRow("folderAtTheName") << "folder"
                                         << "I/O エラー (21)";
        QTest::newRow("linkAtTheName") << "link"
                                       << "I/O エラー (40)";
    }
    void lockThatCannotBeTaken() {
        QFETCH(QString, occupant);
        QFETCH(QString, reason);
        QTemporaryDir folder;
        const QString lock = QString::fromStdString(LockFileName());
        if (occupant == "folder") {
            QVERIFY(QDir(folder.path()).mkdir(lock));
        } else {
            QVERIFY(QFile::link(folder.filePath("elsewhere"), folder.filePath(lock)));
        }
        const auto before = Contents(folder.path());
        Copy copy(Scene::kSecondCopy, folder.path());
        QCOMPARE(copy.ExitStatus(), 1);
        QCOMPARE(QString::fromUtf8(copy.ReportUntil()),
                 "dialog エラー|このフォルダでは、ほかにヴェスミラが動いていないことを確かめられ"
                 "ないため、起動できません。ほかのフォルダで起動してください。\n" +
                     lock + ": " + reason + "\n");
        QVERIFY(Contents(folder.path()) == before);
    }

    // The X server goes away at STEP3: the toolkit ends the program through
    // exit(), whose handlers still remove the step files and the lock file.
    void displayLostRemovesTheStepFiles() {
        XServer server;
        QVERIFY(server.Running());
        QTemporaryDir folder;
        Copy copy(Scene::kStep3, folder.path(), false, server.display());
        QVERIFY(copy.ReportUntil("ready").endsWith("ready\n"));
        QVERIFY(Contents(folder.path()).contains("temp.2"));
        server.Stop();
        QCOMPARE(copy.ExitStatus(), 1);
        QVERIFY(Contents(folder.path()).empty());
    }

    // Started with standard error closed and no runtime folder, the toolkit's
    // first warning would go into whatever took descriptor 2, the X
    // connection; the program hung there, deaf to SIGTERM.
    void closedStandardErrorIsNoConnection() {
        XServer server;
        QVERIFY(server.Running());
        QTemporaryDir folder;
        const QByteArray path = QFile::encodeName(folder.path());
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::unsetenv("XDG_RUNTIME_DIR");
            ::setenv("QT_QPA_PLATFORM", "xcb", 1);
            ::setenv("DISPLAY", server.display().constData(), 1);
            if (::chdir(path.constData()) != 0) {
                ::_exit(120);
            }
            ::close(STDERR_FILENO);
            ::execl(VESMIRA_PROGRAM_FILE, "vesmira", nullptr);
            ::_exit(127);
        }
        QVERIFY(pid > 0);
        // The lock file is there once the end signals are caught.
        const bool locked =
            QTest::qWaitFor([&] { return !Contents(folder.path()).empty(); }, 60000);
        QTest::qWait(500);  // on to the windows, where it hung
        ::kill(pid, SIGTERM);
        const int status = WaitForExit(pid);
        QVERIFY(locked);
        QCOMPARE(status, 0);
        QVERIFY(Contents(folder.path()).empty());
    }

    void unreachableDisplay_data() {
        QTest::addColumn<QStringList>("environment");
        QTest::newRow("noDisplayAtAll") << QStringList{};
        QTest::newRow("displayNowhere") << QStringList{"DISPLAY=:31999"};
        QTest::newRow("onlyWayland") << QStringList{"WAYLAND_DISPLAY=wayland-31999"};
        QTest::newRow("unknownPlatform") << QStringList{"QT_QPA_PLATFORM=nowhere"};
        QTest::newRow("xcbDisplayNowhere") << QStringList{"QT_QPA_PLATFORM=xcb", "DISPLAY=:31999"};
    }

    void unreachableDisplay() {
        QFETCH(QStringList, environment);
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            env.remove(name);
        }
        for (const QString& setting : environment) {
            env.insert(setting.section('=', 0, 0), setting.section('=', 1));
        }
        QTemporaryDir folder;
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(folder.path());
        program.start(VESMIRA_PROGRAM_FILE, {});
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(program.readAllStandardError()),
                 QString("vesmira: 画面に接続できません (no display could be opened)\n"));
        QVERIFY(Contents(folder.path()).empty());
    }
};

QTEST_APPLESS_MAIN(StartupTest)
#include "StartupTest.moc"
