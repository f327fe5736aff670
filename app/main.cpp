#include <cstdio>
#include <cstdlib>

#include "History.h"
#include "Startup.h"
#include "WizardApplication.h"

namespace {

// Without a display the toolkit would abort with a core dump; say it plainly.
bool DisplayAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int, char* argv[]) {
    if (!DisplayAvailable()) {
        std::fputs("vesmira: 画面に接続できません (no display: DISPLAY is not set)\n", stderr);
        return 1;
    }
    // The program takes no command line, not even the toolkit's options.
    int argc = 1;
    vesmira::WizardApplication app(argc, argv);
    vesmira::PrepareApplication();
    vesmira::CreateForms();
    vesmira::ShowMainForm();
    const int status = app.exec();
    vesmira::DestroyForms();
    vesmira::ResetWizard();
    return status;
}
