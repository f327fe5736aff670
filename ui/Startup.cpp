#include "Startup.h"

#include <QApplication>
#include <QFont>

#include "FormLayout.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"

namespace vesmira {

void PrepareApplication() {
    // Platform name (window class, desktop entry); the Japanese title is
    // carried by the windows themselves.
    QCoreApplication::setApplicationName(QStringLiteral("vesmira"));
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
