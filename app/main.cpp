#include "Startup.h"

int main(int, char* argv[]) {
    return vesmira::RunProgram(argv[0]);
}
