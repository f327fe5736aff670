#include "Session.h"
#include "Startup.h"

int main(int, char* argv[]) {
    // Before anything may open a file or a connection.
    if (!vesmira::OpenStandardDescriptors()) {
        return 1;
    }
    return vesmira::RunProgram(argv[0]);
}
