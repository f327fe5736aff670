#include "Startup.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

#include "FormLayout.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"

// The icons are compiled into a static library, which nothing else refers to.
static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace vesmira {

namespace {

// The packaged icon, where the toolkit can draw SVG (its SVG plugin is a
// package of its own); else renders of it at the sizes task bars use.
QIcon ProgramIcon() {
    InitIconResources();
    QIcon icon(QStringLiteral(":/vesmira/vesmira.svg"));
    if (!icon.pixmap(32).isNull()) {
        return icon;
    }
    QIcon rendered;
    for (const int size : {16, 32, 48, 64, 128}) {
        rendered.addFile(QStringLiteral(":/vesmira/vesmira-%1.png").arg(size));
    }
    return rendered;
}

// The toolkit's own texts (a field's context menu) in Japanese, whatever the
// desktop's language: every other text of the program is Japanese too.
void LoadToolkitTranslation() {
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QStringLiteral("qtbase_ja"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator);
    } else {
        delete translator;  // not installed: the toolkit's English stays
    }
}

}  // namespace

void PrepareApplication() {
    // Platform name (window class, desktop entry); the Japanese title is
    // carried by the windows themselves.
    QCoreApplication::setApplicationName(QStringLiteral("vesmira"));
    // Task bars group the windows under the menu entry, vesmira.desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral("vesmira"));
    QApplication::setWindowIcon(ProgramIcon());
    LoadToolkitTranslation();
    // The windows were drawn for a proportional Japanese gothic; where it is
    // not installed, the nearest free ones stand in for it.
    QFont::insertSubstitutions(
        QString::fromUtf8(kFormFontFamily),
        {QStringLiteral("IPAPGothic"), QStringLiteral("IPAexGothic"),
         QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic"),
         QStringLiteral("IPAGothic"), QStringLiteral("Droid Sans Fallback")});
}

void CreateForms() {
    Form1 = new TForm1;
    Form2 = new TForm2;
    Form3 = new TForm3;
}

void ShowMainForm() {
    ShowOnTop(Form1);
}

void DestroyForms() {
    delete Form1;
    delete Form2;
    delete Form3;
    Form1 = nullptr;
    Form2 = nullptr;
    Form3 = nullptr;
}

}  // namespace vesmira
