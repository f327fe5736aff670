#include "Session.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

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

bool LockWorkingFolder() {
    // Never closed: the lock lasts as long as this descriptor, which the
    // system closes when the process ends, however it ends.
    const int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return true;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        return true;
    }
    const int error = errno;
    ::close(fd);
    return error != EWOULDBLOCK;
}

int CatchEndSignals() {
    if (endSignalPipe[0] < 0 && ::pipe2(endSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return -1;
    }
    struct sigaction action {};
    action.sa_handler = WriteEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        ::sigaction(signal, &action, nullptr);
    }
    return endSignalPipe[0];
}

}  // namespace vesmira
