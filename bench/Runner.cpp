// bench_run PAIRS BASELINE PROBE
//
// Starts BASELINE and PROBE in turn, PAIRS times each after one warm-up pair
// that is not counted (it fills the file cache), and prints the median wall
// time and peak resident memory of each with their ratios. Alternating keeps a
// drift of the machine (another job, the clock) from landing on one side only.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace {

// A probe that hangs (no paint ever arrives) is ended by the alarm, which
// survives exec.
constexpr unsigned kTimeoutSeconds = 30;

struct Sample {
    double wallMs;
    double peakMiB;
};

double Seconds(const timespec& t) {
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

void CopyToStderr(int fd) {
    lseek(fd, 0, SEEK_SET);
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) {
        fwrite(buffer, 1, static_cast<size_t>(n), stderr);
    }
}

// The child's diagnostics (the offscreen platform warns on every start) are
// kept aside and shown only when it fails.
std::optional<Sample> RunOnce(const char* path) {
    FILE* log = tmpfile();
    if (log == nullptr) {
        perror("tmpfile");
        return std::nullopt;
    }
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(fileno(log), STDERR_FILENO);
        alarm(kTimeoutSeconds);
        execl(path, path, static_cast<char*>(nullptr));
        _exit(127);
    }
    if (pid < 0) {
        perror("fork");
        fclose(log);
        return std::nullopt;
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) < 0) {
        perror("wait4");
        fclose(log);
        return std::nullopt;
    }
    timespec end{};
    clock_gettime(CLOCK_MONOTONIC, &end);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "bench_run: %s failed (status %d); its output:\n", path, status);
        CopyToStderr(fileno(log));
        fclose(log);
        return std::nullopt;
    }
    fclose(log);
    return Sample{(Seconds(end) - Seconds(start)) * 1e3, usage.ru_maxrss / 1024.0};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Series {
    std::string name;
    std::vector<double> wall;
    std::vector<double> rss;
};

void PrintRow(const Series& s) {
    printf("  %-16s %9.1f ms  (%6.1f .. %6.1f)  %8.1f MiB  (%6.1f .. %6.1f)\n", s.name.c_str(),
           Median(s.wall), *std::min_element(s.wall.begin(), s.wall.end()),
           *std::max_element(s.wall.begin(), s.wall.end()), Median(s.rss),
           *std::min_element(s.rss.begin(), s.rss.end()),
           *std::max_element(s.rss.begin(), s.rss.end()));
}

std::string BaseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 4 || std::atoi(argv[1]) < 1) {
        fprintf(stderr, "usage: bench_run PAIRS BASELINE PROBE\n");
        return 2;
    }
    const int pairs = std::atoi(argv[1]);
    const char* programs[2] = {argv[2], argv[3]};
    Series series[2] = {{BaseName(argv[2]), {}, {}}, {BaseName(argv[3]), {}, {}}};

    for (int round = 0; round <= pairs; ++round) {
        for (int i = 0; i < 2; ++i) {
            const std::optional<Sample> sample = RunOnce(programs[i]);
            if (!sample) {
                return 1;
            }
            if (round > 0) {
                series[i].wall.push_back(sample->wallMs);
                series[i].rss.push_back(sample->peakMiB);
            }
        }
    }

    printf("  %d pairs, alternating, after one warm-up pair; median (min .. max)\n", pairs);
    printf("  %-16s %12s  %16s  %12s  %16s\n", "", "wall", "", "peak RSS", "");
    PrintRow(series[0]);
    PrintRow(series[1]);
    const double wallRatio = Median(series[1].wall) / Median(series[0].wall);
    const double rssRatio = Median(series[1].rss) / Median(series[0].rss);
    printf("  %-16s %9.3f x  %20s %8.3f x    target <= 1.10 x: %s\n", "ratio", wallRatio, "",
           rssRatio, wallRatio <= 1.10 && rssRatio <= 1.10 ? "met" : "MISSED");
    return 0;
}
