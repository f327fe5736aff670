// The ends of the program as POSIX delivers them, and its standard
// descriptors.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

#include "Session.h"

namespace vesmira {

namespace {

int endSignalPipe[2] = {-1, -1};

void WriteEndSignal(int signal) {
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    // Non-blocking: a full pipe already holds an end to act on.
    [[maybe_unused]] const ssize_t written = ::write(endSignalPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

bool OpenStandardDescriptors() {
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        // The lowest free number, which is fd: those below are open by now.
        const int opened = ::open("/dev/null", O_RDWR);
        if (opened != fd) {
            if (opened >= 0) {
                ::close(opened);
            }
            return false;
        }
    }
    return true;
}

int CatchEndSignals() {
    if (endSignalPipe[0] < 0 && ::pipe2(endSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return -1;
    }
    struct sigaction action {};
    action.sa_handler = WriteEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGHUP, SIGINT, SIGQUIT}) {
        ::sigaction(signal, &action, nullptr);
    }
    return endSignalPipe[0];
}

}  // namespace vesmira
