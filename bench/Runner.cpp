// bench_run [--callgrind] ROUNDS BASELINE [REFERENCE...] PROBE
//
// Starts BASELINE, each REFERENCE (a floor, an older build) and PROBE in
// turn, ROUNDS times each after one warm-up round that is not counted (it
// fills the file cache), and prints the median time to the first paint, the
// median wall time of the whole run and the median peak resident memory of
// each, with their ratios; then the same broken down into the phases each
// probe marks (see Marks.h). A program given as NAME=PATH is shown as NAME,
// else by the name of its file. Alternating
// keeps a drift of the machine (another job, the clock) from landing on one
// side only. With --callgrind, each program also runs once under callgrind,
// whose instruction counts per phase do not depend on what else the machine
// is doing.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A probe that hangs (no paint ever arrives) is ended by the alarm, which
// survives exec; callgrind runs some fifty times slower.
constexpr unsigned kTimeoutSeconds = 30;
constexpr unsigned kCallgrindTimeoutSeconds = 300;

constexpr double kWallTarget = 1.25;
constexpr double kMemoryTarget = 1.35;

// The phase that ends with the first paint on the screen; the time to it is
// what a user waits for.
constexpr char kPaintedPhase[] = "painted";
constexpr char kExitPhase[] = "exit";

struct Phase {
    std::string name;
    double ms;
    double peakMiB;  // at the end of the phase
};

struct Sample {
    std::vector<Phase> phases;  // in order; the last is the exit
    double firstPaintMs = 0;
    double wallMs = 0;
    double peakMiB = 0;
};

double Ns(const timespec& t) {
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

void CopyToStderr(FILE* file) {
    rewind(file);
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) {
        fwrite(buffer, 1, n, stderr);
    }
}

std::string ReadAll(FILE* file) {
    rewind(file);
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) {
        text.append(buffer, n);
    }
    return text;
}

// Runs argv to its end with its marks on a file; the child's diagnostics
// (the offscreen platform warns on every start) are kept aside and shown
// only when it fails.
std::optional<Sample> RunOnce(const std::vector<std::string>& args, unsigned timeout) {
    FILE* marks = tmpfile();
    FILE* log = tmpfile();
    if (marks == nullptr || log == nullptr) {
        perror("tmpfile");
        return std::nullopt;
    }
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(fileno(marks), STDOUT_FILENO);
        dup2(fileno(log), STDERR_FILENO);
        alarm(timeout);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    std::optional<Sample> result;
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) < 0) {
        perror(pid < 0 ? "fork" : "wait4");
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "bench_run: %s failed (status %d); its output:\n", argv[0], status);
        CopyToStderr(log);
    } else {
        timespec end{};
        clock_gettime(CLOCK_MONOTONIC, &end);
        Sample sample;
        std::istringstream lines(ReadAll(marks));
        std::string line;
        double previous = Ns(start);
        while (std::getline(lines, line)) {
            std::istringstream fields(line);
            std::string name;
            double at = 0;
            double peakKiB = 0;
            if (!std::getline(fields, name, '\t') || !(fields >> at >> peakKiB)) {
                continue;  // not a mark (a probe's own output)
            }
            sample.phases.push_back({name, (at - previous) / 1e6, peakKiB / 1024});
            previous = at;
            if (name == kPaintedPhase) {
                sample.firstPaintMs = (at - Ns(start)) / 1e6;
            }
        }
        sample.wallMs = (Ns(end) - Ns(start)) / 1e6;
        sample.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024;
        sample.phases.push_back({kExitPhase, (Ns(end) - previous) / 1e6, sample.peakMiB});
        if (sample.firstPaintMs == 0) {
            fprintf(stderr, "bench_run: %s marked no \"%s\"\n", argv[0], kPaintedPhase);
        } else {
            result = sample;
        }
    }
    fclose(marks);
    fclose(log);
    return result;
}

// Instructions per phase (millions), in the order of the phases: callgrind
// dumps before each mark, and once more at the exit.
std::optional<std::vector<double>> CallgrindPhases(const std::string& program,
                                                   const std::string& folder, size_t phases) {
    const std::string out = folder + "/cg.out";
    const std::optional<Sample> run =
        RunOnce({"valgrind", "--tool=callgrind", "-q", "--dump-instr=no",
                 "--dump-before=vesmira_bench_mark", "--callgrind-out-file=" + out, program},
                kCallgrindTimeoutSeconds);
    if (!run || run->phases.size() != phases) {
        fprintf(stderr, "bench_run: no instruction counts for %s\n", program.c_str());
        return std::nullopt;
    }
    std::vector<double> counts;
    for (size_t i = 1; i <= phases; ++i) {
        const std::string file = i < phases ? out + "." + std::to_string(i) : out;
        std::ifstream in(file);
        std::string line;
        double total = -1;
        while (std::getline(in, line)) {
            if (line.rfind("totals: ", 0) == 0) {
                total = std::atof(line.c_str() + 8);
            }
        }
        if (total < 0) {
            fprintf(stderr, "bench_run: no totals in %s\n", file.c_str());
            return std::nullopt;
        }
        counts.push_back(total / 1e6);
    }
    return counts;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Series {
    std::string path;
    std::string name;
    std::vector<Sample> samples;
    std::optional<std::vector<double>> instructions;  // per phase, millions

    std::vector<double> Of(double Sample::*field) const {
        std::vector<double> values;
        for (const Sample& s : samples) {
            values.push_back(s.*field);
        }
        return values;
    }
    double MedianOf(double Sample::*field) const { return Median(Of(field)); }
    const std::vector<Phase>& Phases() const { return samples.front().phases; }
    // The median time and peak of the phase by name, if this probe marks it.
    std::optional<Phase> PhaseMedian(const std::string& phase, size_t* index = nullptr) const {
        const std::vector<Phase>& first = Phases();
        for (size_t i = 0; i < first.size(); ++i) {
            if (first[i].name != phase) {
                continue;
            }
            std::vector<double> ms, peak;
            for (const Sample& s : samples) {
                ms.push_back(s.phases[i].ms);
                peak.push_back(s.phases[i].peakMiB);
            }
            if (index != nullptr) {
                *index = i;
            }
            return Phase{phase, Median(ms), Median(peak)};
        }
        return std::nullopt;
    }
};

// Median (min .. max) of a column, as "  12.3 (  10.1 ..   15.0) ms".
std::string Range(const std::vector<double>& v, const char* unit) {
    char text[64];
    snprintf(text, sizeof text, "%7.1f (%6.1f .. %6.1f) %-3s", Median(v),
             *std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end()), unit);
    return text;
}

void PrintTotals(const Series& s) {
    printf("  %-22s %s  %s  %s\n", s.name.c_str(), Range(s.Of(&Sample::firstPaintMs), "ms").c_str(),
           Range(s.Of(&Sample::wallMs), "ms").c_str(),
           Range(s.Of(&Sample::peakMiB), "MiB").c_str());
}

void PrintRatio(const std::string& label, const Series& probe, const Series& reference,
                bool target) {
    const double paint =
        probe.MedianOf(&Sample::firstPaintMs) / reference.MedianOf(&Sample::firstPaintMs);
    const double wall = probe.MedianOf(&Sample::wallMs) / reference.MedianOf(&Sample::wallMs);
    const double memory = probe.MedianOf(&Sample::peakMiB) / reference.MedianOf(&Sample::peakMiB);
    printf("  %-22s %7.3f x %20s %7.3f x %20s %7.3f x", label.c_str(), paint, "", wall, "", memory);
    if (target) {
        printf("   target %.2f x (first paint), %.2f x (memory): %s", kWallTarget, kMemoryTarget,
               paint <= kWallTarget && memory <= kMemoryTarget ? "met" : "MISSED");
    }
    printf("\n");
}

// The phases of every program, each once, in the order they run: a phase of
// one program only comes before the next phase it shares with the others.
std::vector<std::string> PhaseRows(const std::vector<Series>& all) {
    std::vector<std::string> rows;
    // The probe's order first: references (an older build) may order
    // their phases otherwise.
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
        const Series& s = *it;
        size_t at = 0;
        for (const Phase& p : s.Phases()) {
            const auto found = std::find(rows.begin(), rows.end(), p.name);
            if (found != rows.end()) {
                at = static_cast<size_t>(found - rows.begin()) + 1;
                continue;
            }
            // Before the next row that this program also has, else at the end.
            size_t next = at;
            while (next < rows.size() && !s.PhaseMedian(rows[next])) {
                ++next;
            }
            rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(next), p.name);
            at = next + 1;
        }
    }
    return rows;
}

void PrintPhases(const std::vector<Series>& all) {
    const bool counted = std::all_of(all.begin(), all.end(),
                                     [](const Series& s) { return s.instructions.has_value(); });
    printf("\n  phases: median ms, growth of the peak RSS in MiB%s\n",
           counted ? ", and millions of instructions (callgrind, one run)" : "");
    printf("  %-30s", "");
    for (const Series& s : all) {
        printf(counted ? "%31s" : "%22s", s.name.c_str());
    }
    printf("\n");
    for (const std::string& row : PhaseRows(all)) {
        printf("  %-30s", row.c_str());
        for (const Series& s : all) {
            size_t index = 0;
            const std::optional<Phase> p = s.PhaseMedian(row, &index);
            if (!p) {
                printf(counted ? "%31s" : "%22s", "-");
                continue;
            }
            const double before =
                index == 0 ? 0 : s.PhaseMedian(s.Phases()[index - 1].name)->peakMiB;
            printf(" %7.2f ms %+6.1f MiB", p->ms, p->peakMiB - before);
            if (counted) {
                printf(" %6.1f M", (*s.instructions)[index]);
            }
        }
        printf("\n");
    }
    // The sums: up to the first paint, and the whole run.
    for (const bool whole : {false, true}) {
        printf("  %-30s", whole ? "= whole run" : "= to first paint");
        for (const Series& s : all) {
            printf(" %7.2f ms %10s", s.MedianOf(whole ? &Sample::wallMs : &Sample::firstPaintMs),
                   "");
            if (counted) {
                size_t last = s.Phases().size() - 1;
                if (!whole) {
                    s.PhaseMedian(kPaintedPhase, &last);
                }
                double sum = 0;
                for (size_t i = 0; i <= last; ++i) {
                    sum += (*s.instructions)[i];
                }
                printf(" %6.1f M", sum);
            }
        }
        printf("\n");
    }
}

std::string BaseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

}  // namespace

int main(int argc, char* argv[]) {
    const bool callgrind = argc > 1 && std::strcmp(argv[1], "--callgrind") == 0;
    const int first = callgrind ? 2 : 1;
    if (argc - first < 3 || std::atoi(argv[first]) < 1) {
        fprintf(stderr, "usage: bench_run [--callgrind] ROUNDS BASELINE [REFERENCE...] PROBE\n");
        return 2;
    }
    const int rounds = std::atoi(argv[first]);
    std::vector<Series> series;
    for (int i = first + 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const size_t named = arg.find('=');
        series.push_back(
            named == std::string::npos
                ? Series{arg, BaseName(arg), {}, std::nullopt}
                : Series{arg.substr(named + 1), arg.substr(0, named), {}, std::nullopt});
    }

    for (int round = 0; round <= rounds; ++round) {
        for (Series& s : series) {
            const std::optional<Sample> sample = RunOnce({s.path}, kTimeoutSeconds);
            if (!sample) {
                return 1;
            }
            if (round > 0) {
                if (!s.samples.empty() && sample->phases.size() != s.Phases().size()) {
                    fprintf(stderr, "bench_run: %s marked other phases than before\n",
                            s.path.c_str());
                    return 1;
                }
                s.samples.push_back(*sample);
            }
        }
    }
    if (callgrind) {
        char folder[] = "/tmp/bench_run.XXXXXX";
        if (mkdtemp(folder) == nullptr) {
            perror("mkdtemp");
            return 1;
        }
        for (Series& s : series) {
            s.instructions = CallgrindPhases(s.path, folder, s.Phases().size());
        }
        std::filesystem::remove_all(folder);
    }

    const Series& baseline = series.front();
    const Series& probe = series.back();
    printf("  %d rounds, alternating, after one warm-up round; median (min .. max)\n", rounds);
    printf("  %-22s %-31s%-31s%s\n", "", "   to first paint", "   whole run", "   peak RSS");
    for (const Series& s : series) {
        PrintTotals(s);
    }
    PrintRatio("ratio", probe, baseline, true);
    // A reference against the baseline (for a floor: the least the target
    // could be), and the probe against it.
    for (size_t i = 1; i + 1 < series.size(); ++i) {
        PrintRatio(series[i].name + " ratio", series[i], baseline, false);
        PrintRatio("ratio to " + series[i].name, probe, series[i], false);
    }
    PrintPhases(series);
    return 0;
}
