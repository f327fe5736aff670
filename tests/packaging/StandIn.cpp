// Stands in for the wizard under the launcher. Like the wizard it ends on
// TERM, HUP and INT even where they were ignored at its start; it leaves
// files in its working folder, reports that folder to $STANDIN_REPORT, then
// does what $STANDIN_DO says: "exit N"; "wait" for one of those signals
// (reported, then exit 40 + its number); or "kill" itself.
// As "stand_in exec PROGRAM", it runs PROGRAM with SIGINT and SIGQUIT at their
// defaults, as a desktop or a terminal would, even when a test script has
// started it in the background.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

volatile sig_atomic_t received = 0;

void Receive(int signal) {
    received = signal;
}

void Report(const std::string& line) {
    std::ofstream(std::getenv("STANDIN_REPORT"), std::ios::app) << line << '\n';
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc > 2 && std::strcmp(argv[1], "exec") == 0) {
        signal(SIGINT, SIG_DFL);
        signal(SIGQUIT, SIG_DFL);
        execv(argv[2], argv + 2);
        std::perror(argv[2]);
        return 127;
    }
    sigset_t ends;
    sigset_t others;
    sigemptyset(&ends);
    for (const int s : {SIGTERM, SIGHUP, SIGINT}) {
        sigaddset(&ends, s);
    }
    sigprocmask(SIG_BLOCK, &ends, &others);
    struct sigaction action {};
    action.sa_handler = Receive;
    for (const int s : {SIGTERM, SIGHUP, SIGINT}) {
        sigaction(s, &action, nullptr);
    }
    std::ofstream("temp.1") << "2001\r\n";
    std::ofstream(".temp.2.part") << "2004\r\n";
    Report("dir " + std::filesystem::current_path().string());

    const char* given = std::getenv("STANDIN_DO");
    const std::string todo = given != nullptr ? given : "exit 0";
    if (todo == "kill") {
        raise(SIGKILL);
    }
    if (todo == "wait") {
        alarm(60);  // never outlives a test that has gone wrong
        while (received == 0) {
            sigsuspend(&others);
        }
        Report("signal " + std::to_string(received));
        return 40 + received;
    }
    return std::atoi(todo.c_str() + 5);
}
