// The program's own start, step for step as RunProgram does it (less the
// folder lock and the end signals), ended once the birth-date window has been
// painted. The start tells each of its steps.
#include "Startup.h"
#include "FirstPaint.h"
#include "History.h"
#include "Marks.h"
#include "Unit1.h"
#include "WizardApplication.h"

int main(int, char* argv[]) {
    vesmira_bench_mark("libraries loaded");
    int argc = 1;
    vesmira::WizardApplication app(argc, argv);
    vesmira_bench_mark("toolkit and platform up");
    vesmira::ObserveStart(&vesmira_bench_mark);
    vesmira::PrepareApplication();
    vesmira::CreateForms();
    new vesmira::bench::QuitAfterFirstPaint(vesmira::Form1);
    vesmira::ShowMainForm();
    const int status = app.exec();
    vesmira::DestroyForms();
    vesmira::ResetWizard();
    return status;
}
