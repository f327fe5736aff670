// The program's own start, step for step as RunProgram does it (less the
// folder lock and the end signals), ended once the start has finished: the
// birth-date window painted and what follows its first paint done. The start
// names each of its steps as it ends.
#include <QCoreApplication>
#include <cstring>

#include "History.h"
#include "Marks.h"
#include "Startup.h"
#include "WizardApplication.h"

namespace {

void Observe(const char* step) {
    vesmira_bench_mark(step);
    if (std::strcmp(step, "ready") == 0) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    }
}

}  // namespace

int main(int, char* argv[]) {
    vesmira_bench_mark("libraries loaded");
    int argc = 1;
    vesmira::WizardApplication app(argc, argv);
    vesmira_bench_mark("toolkit and platform up");
    vesmira::ObserveStart(&Observe);
    vesmira::PrepareApplication();
    vesmira::CreateForms();
    vesmira::ShowMainForm();
    const int status = app.exec();
    vesmira::DestroyForms();
    vesmira::ResetWizard();
    return status;
}
