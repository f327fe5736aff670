#include "Startup.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QImageReader>
#include <QLibraryInfo>
#include <QPixmap>
#include <QPointer>
#include <QSocketNotifier>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "Controls.h"
#include "FormLayout.h"
#include "History.h"
#include "MessageDialog.h"
#include "Session.h"
#include "StepFiles.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "WizardApplication.h"

#ifdef Q_OS_WIN
#include <qt_windows.h>
#include <QAbstractNativeEventFilter>
#endif

// The icons are compiled into a static library, which nothing else refers to.
static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

#ifdef Q_OS_WIN
// No toolkit installation comes with the program on Windows: its Japanese
// texts are built in.
static QString ToolkitTranslations() {
    Q_INIT_RESOURCE(translations);
    return QStringLiteral(":/translations");
}
#else
static QString ToolkitTranslations() {
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}
#endif

namespace vesmira {

namespace {

// Renders of the packaged icon at the sizes task bars use. The vector icon
// would cost the toolkit's SVG plugin, and the library behind it, at every
// start; the menu entry still shows the packaged SVG. Told the format, the
// reader loads no image plugin to guess it.
QIcon ProgramIcon() {
    InitIconResources();
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128}) {
        QImageReader reader(QStringLiteral(":/vesmira/vesmira-%1.png").arg(size), "png");
        reader.setAutoDetectImageFormat(false);
        icon.addPixmap(QPixmap::fromImage(reader.read()));
    }
    return icon;
}

// The toolkit's own texts (a field's context menu) in Japanese, whatever the
// desktop's language: every other text of the program is Japanese too.
void LoadToolkitTranslation() {
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QStringLiteral("qtbase_ja"), ToolkitTranslations())) {
        QCoreApplication::installTranslator(translator);
    } else {
        delete translator;  // not installed: the toolkit's English stays
    }
}

StartObserver startObserver = nullptr;

void Passed(const char* step) {
    if (startObserver != nullptr) {
        startObserver(step);
    }
}

// The settings that no window needs to be painted, made once per process.
void FinishApplicationSettings() {
    static bool made = false;
    if (made) {
        return;
    }
    made = true;
    LoadToolkitTranslation();
    Passed("toolkit translation");
    QApplication::setWindowIcon(ProgramIcon());
    Passed("program icon");
}

bool startFinished = false;

void FinishStart();

bool IsUserInput(const QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::ShortcutOverride:
        case QEvent::InputMethod:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TabletPress:
            return true;
        default:
            return false;
    }
}

// Finishes the start once the birth-date window has been painted, or, should
// a key or a button be pressed first, before that input reaches any window.
class StartFinisher : public QObject {
  public:
    StartFinisher() : QObject(QCoreApplication::instance()) {
        QCoreApplication::instance()->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == Form1 && event->type() == QEvent::Paint && !paintSeen_) {
            paintSeen_ = true;
            // Queued: the paint and its flush to the screen come first.
            QMetaObject::invokeMethod(
                this,
                [] {
                    Passed("painted");
                    FinishStart();
                },
                Qt::QueuedConnection);
        } else if (IsUserInput(event)) {
            FinishStart();
        }
        return false;
    }

  private:
    bool paintSeen_ = false;
};

QPointer<StartFinisher> startFinisher;

void DropStartFinisher() {
    if (startFinisher != nullptr) {
        // Later: it may be the one whose event is being delivered.
        QCoreApplication::instance()->removeEventFilter(startFinisher);
        startFinisher->deleteLater();
        startFinisher = nullptr;
    }
}

// What the first paint does not need. Once per start.
void FinishStart() {
    if (startFinished) {
        return;
    }
    startFinished = true;
    DropStartFinisher();
    FinishApplicationSettings();
    if (Form2 != nullptr) {
        Form2->Build();
        Passed("Form2 controls");
    }
    Passed("ready");
}

constexpr char kNoDisplay[] = "vesmira: 画面に接続できません (no display could be opened)\n";
constexpr char kAlreadyRunning[] = "このフォルダではすでにヴェスミラが動いています。";
constexpr char kCannotLock[] =
    "このフォルダでは、ほかにヴェスミラが動いていないことを確かめられないため、起動できません。"
    "ほかのフォルダで起動してください。";

// The toolkit's messages while it opens the display. When it finds none it
// ends with a fatal message (an abort and a core dump, after a page of
// advice); the user gets one plain line instead.
struct HeldMessage {
    QtMsgType type;
    std::string category;
    QString text;
};
std::mutex heldMutex;
std::vector<HeldMessage> heldMessages;

void HoldMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        std::fputs(kNoDisplay, stderr);
        std::_Exit(1);
    }
    const std::lock_guard lock(heldMutex);
    heldMessages.push_back({type, context.category != nullptr ? context.category : "", text});
}

// Once a display is open, what was held goes out as it would have.
void ReleaseHeldMessages(QtMessageHandler handler) {
    const std::lock_guard lock(heldMutex);
    for (const HeldMessage& held : heldMessages) {
        handler(held.type, QMessageLogContext(nullptr, 0, nullptr, held.category.c_str()),
                held.text);
    }
    heldMessages.clear();
}

// On a desktop that offers an X server (a Wayland session runs XWayland for
// that), the windows go there: a Wayland client can neither place its
// windows nor centre a dialog on the screen nor keep one of its windows above
// another. Without one, the toolkit's own choice stands, as does a platform
// chosen explicitly.
void PreferXServer() {
#ifndef Q_OS_WIN  // where DISPLAY may come from the host, under Wine
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "xcb;wayland");
    }
#endif
}

#ifdef Q_OS_WIN
// Windows ends the process soon after WM_ENDSESSION (log-off, shut-down),
// without returning from the event loop: the step files go first, as they
// do at the close box.
class SessionEndFilter : public QAbstractNativeEventFilter {
  public:
    bool nativeEventFilter(const QByteArray&, void* message, qintptr*) override {
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message == WM_ENDSESSION && msg->wParam != FALSE) {
            ReleaseWorkingFolder();
        }
        return false;
    }
};

void CatchSessionEnd(QCoreApplication& app) {
    static SessionEndFilter filter;
    app.installNativeEventFilter(&filter);
}
#else
void CatchSessionEnd(QCoreApplication&) {}
#endif

}  // namespace

int RunProgram(char* programName) {
    // The program takes no command line, not even the toolkit's options.
    int argc = 1;
    char* argv[] = {programName, nullptr};
    PreferXServer();
    const QtMessageHandler toolkitHandler = qInstallMessageHandler(HoldMessage);
    WizardApplication app(argc, argv);
    qInstallMessageHandler(toolkitHandler);
    ReleaseHeldMessages(toolkitHandler);
    PrepareApplication();

    // Caught before anything is written, so every end of a copy removes what
    // it wrote; the lock file, once made, is the first of those.
    if (const int endSignals = CatchEndSignals(); endSignals >= 0) {
        auto* notifier = new QSocketNotifier(endSignals, QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &EndProgramNow);
    }
    switch (const FolderLock lock = LockWorkingFolder(); lock.outcome) {
        case FolderLock::kTaken:
            break;
        case FolderLock::kHeldByAnother:
            FinishApplicationSettings();  // no window comes first
            ShowMessageDialog(kAlreadyRunning, DialogKind::kError);
            return 1;
        case FolderLock::kFailed:
            FinishApplicationSettings();
            ShowMessageDialog(std::string(kCannotLock) + "\r\n" + LockFileName() + ": " +
                                  FileFailureText(lock.error),
                              DialogKind::kError);
            return 1;
    }
    // The toolkit ends the process by exit() when it loses the display.
    std::atexit(&ReleaseWorkingFolder);
    CatchSessionEnd(app);
    CreateForms();
    ShowMainForm();
    const int status = app.exec();
    DestroyForms();
    ResetWizard();
    return status;
}

void PrepareApplication() {
    // Platform name (window class, desktop entry); the Japanese title is
    // carried by the windows themselves.
    QCoreApplication::setApplicationName(QStringLiteral("vesmira"));
    // Task bars group the windows under the menu entry, vesmira.desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral("vesmira"));
    // The windows were drawn for a proportional Japanese gothic; where it is
    // not installed, the nearest free ones stand in for it. Windows lists it
    // under its English name where the system's language is not Japanese.
    QFont::insertSubstitutions(
        QString::fromUtf8(kFormFontFamily),
        {QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"), QStringLiteral("IPAexGothic"),
         QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic"),
         QStringLiteral("IPAGothic"), QStringLiteral("Droid Sans Fallback")});
    // The windows' face is the program's default too: an edit field lays its
    // text out in the default font before it takes its window's, which would
    // load a second face for nothing. Menus keep the face they had. (Not
    // QApplication::setFont, which would drop what the desktop sets for other
    // kinds of widget.)
    const QFont menus = QApplication::font("QMenu");
    QGuiApplication::setFont(FormFont());
    QApplication::setFont(menus, "QMenu");
    Passed("fonts");
}

void CreateForms() {
    startFinished = false;
    Form1 = new TForm1;
    Passed("Form1 created");
    Form2 = new TForm2;
    Passed("Form2 created");
    Form3 = new TForm3;
    Passed("Form3 created");
}

void ShowMainForm() {
    if (!startFinished && startFinisher == nullptr) {
        startFinisher = new StartFinisher;
    }
    ShowOnTop(Form1);
    Passed("shown");
}

bool StartFinished() {
    return startFinished;
}

void DestroyForms() {
    DropStartFinisher();
    delete Form1;
    delete Form2;
    delete Form3;
    Form1 = nullptr;
    Form2 = nullptr;
    Form3 = nullptr;
}

void ObserveStart(StartObserver observer) {
    startObserver = observer;
}

}  // namespace vesmira
