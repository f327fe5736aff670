#include "Marks.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

// Not inlined, so that callgrind's --dump-before finds it.
extern "C" __attribute__((noinline)) void vesmira_bench_mark(const char* phase) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    char line[160];
    const int n = std::snprintf(line, sizeof line, "%s\t%lld\t%ld\n", phase,
                                static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec,
                                usage.ru_maxrss);
    if (n > 0) {
        // Unbuffered: the line is out even if the probe ends without flushing.
        [[maybe_unused]] const ssize_t written = write(
            STDOUT_FILENO, line, static_cast<size_t>(n < int(sizeof line) ? n : sizeof line - 1));
    }
}
