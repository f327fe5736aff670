// The wizard's own work behind each step, without the windows: building the
// history and the step files that "戻る" reads back.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "History.h"
#include "StepFiles.h"

namespace vesmira {
namespace {

namespace fs = std::filesystem;

struct School {
    const char* name;
    const char* wait;
    const char* course;
    const char* repeated;
    const char* dropOut;
};

// A long road: the ten schools of someone who kept studying, with years of
// waiting and of repeating, and one school left early.
constexpr School kSchools[] = {
    {"高等学校", "0", "3", "0", "0"},
    {"大学", "1", "4", "1", "0"},
    {"大学院（修士課程）", "0", "2", "0", "0"},
    {"大学院（博士課程）", "0", "3", "0", "2"},
    {"専門学校", "2", "2", "0", "0"},
    {"短期大学", "0", "2", "0", "0"},
    {"大学", "0", "4", "0", "0"},
    {"高等専門学校", "1", "5", "0", "0"},
    {"放送大学", "0", "4", "2", "0"},
    {"大学院（修士課程）", "0", "2", "0", "0"},
};

// The history as the windows build it: the first step, then one school per
// step, the cursor moving to each leaving year.
void BuildHistory(int schools) {
    ResetWizard();
    Wizard.BirthYear = 1985;
    Wizard.CursorYear = BeginHistory(Wizard.BirthYear, "5", "10");
    for (int i = 0; i < schools; ++i) {
        const School& s = kSchools[i];
        Wizard.CursorYear = AddSchool(s.name, s.wait, s.course, s.repeated, s.dropOut).leaveYear;
    }
}

// Each case works in a folder of its own inside the run's folder.
class WorkFolder {
  public:
    explicit WorkFolder(const std::string& name) : path_(fs::current_path() / name) {
        fs::create_directory(path_);
        fs::current_path(path_);
    }
    ~WorkFolder() {
        DeleteStepFiles();
        std::error_code ignored;
        fs::current_path(path_.parent_path(), ignored);
        fs::remove_all(path_, ignored);
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

  private:
    fs::path path_;
};

void Touch(const std::string& name) {
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0 || ::close(fd) != 0) {
        std::perror(name.c_str());
        std::exit(1);
    }
}

void BM_BuildHistory(benchmark::State& state) {
    const int schools = static_cast<int>(state.range(0));
    for (auto _ : state) {
        BuildHistory(schools);
        benchmark::DoNotOptimize(Wizard.HistoryText.data());
    }
    state.SetLabel(std::to_string(Wizard.HistoryText.size()) + " bytes");
}
BENCHMARK(BM_BuildHistory)->Arg(3)->Arg(10);

void BM_SaveStepFile(benchmark::State& state) {
    WorkFolder folder("save");
    BuildHistory(10);
    const std::string name = StepFileName(11);
    for (auto _ : state) {
        SaveStepFile(name, Wizard.HistoryText);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Wizard.HistoryText.size()));
}
BENCHMARK(BM_SaveStepFile);

void BM_LoadStepFile(benchmark::State& state) {
    WorkFolder folder("load");
    BuildHistory(10);
    SaveStepFile(StepFileName(11), Wizard.HistoryText);
    const std::string expected = Wizard.HistoryText;
    for (auto _ : state) {
        benchmark::DoNotOptimize(LoadStepFile(12));
    }
    if (LoadStepFile(12) != expected) {
        state.SkipWithError("the step file did not read back as written");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(expected.size()));
}
BENCHMARK(BM_LoadStepFile);

// A working folder shared with the user's own files, some of them named almost
// like step files; only the step files of a ten-school road may go, each
// checked to be still the file written.
void BM_DeleteStepFiles(benchmark::State& state) {
    WorkFolder folder("delete");
    const int unrelated = static_cast<int>(state.range(0));
    const char* const patterns[] = {"temp.%dx", "temp.docx%d", "report-%d.txt", "Temp.%d"};
    for (int i = 0; i < unrelated; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, patterns[i % 4], i);
        Touch(name);
    }
    for (auto _ : state) {
        state.PauseTiming();
        for (int step = 1; step <= 11; ++step) {
            SaveStepFile(StepFileName(step), "");
        }
        state.ResumeTiming();
        DeleteStepFiles();
    }
    const auto left = std::distance(fs::directory_iterator("."), fs::directory_iterator());
    if (left != unrelated) {
        state.SkipWithError("DeleteStepFiles removed the wrong files");
    }
}
BENCHMARK(BM_DeleteStepFiles)->Arg(100);

}  // namespace
}  // namespace vesmira

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    // The step file routines work in the working directory: a fresh one.
    std::string pattern = (std::filesystem::temp_directory_path() / "vesmira-bench-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr || ::chdir(pattern.c_str()) != 0) {
        std::perror("vesmira-bench");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::current_path("/", ignored);
    std::filesystem::remove_all(pattern, ignored);
    return 0;
}
