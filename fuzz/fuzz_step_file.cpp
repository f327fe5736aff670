// Arbitrary bytes as a step file: loading either fails cleanly with the
// cursor untouched, or gives a state that saves and loads back unchanged.

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "Failure.h"
#include "FuzzCheck.h"
#include "History.h"
#include "InputChecks.h"
#include "StepFiles.h"

namespace {

using namespace vesmira;

constexpr int32_t kCursorBefore = 1234;  // what a failed load must leave alone

// The step files live in a private folder, entered only while an input runs:
// libFuzzer writes its corpus and artifacts relative to where it was started.
int homeFd = -1;
int workFd = -1;
std::string workDir;

class InWorkDir {
  public:
    InWorkDir() { FUZZ_CHECK(fchdir(workFd) == 0); }
    ~InWorkDir() { FUZZ_CHECK(fchdir(homeFd) == 0); }
    InWorkDir(const InWorkDir&) = delete;
    InWorkDir& operator=(const InWorkDir&) = delete;
};

void RemoveWorkDir() {
    {
        InWorkDir inside;
        DeleteStepFiles();
        unlink("temp.1");  // written by the target itself, so not the store's to remove
    }
    rmdir(workDir.c_str());
}

// Nothing beside temp.1: a save leaves no partial file behind.
bool OnlyTheStepFile() {
    DIR* dir = opendir(".");
    FUZZ_CHECK(dir != nullptr);
    bool only = true;
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        only = only && (name == "." || name == ".." || name == "temp.1");
    }
    closedir(dir);
    return only;
}

void WriteFile(const char* name, std::string_view bytes) {
    const int fd = open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    FUZZ_CHECK(fd >= 0);
    FUZZ_CHECK(write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()));
    FUZZ_CHECK(close(fd) == 0);
}

std::string ReadFile(const char* name) {
    const int fd = open(name, O_RDONLY | O_CLOEXEC);
    FUZZ_CHECK(fd >= 0);
    std::string bytes;
    char buffer[8192];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) {
        bytes.append(buffer, static_cast<size_t>(n));
    }
    FUZZ_CHECK(n == 0);
    FUZZ_CHECK(close(fd) == 0);
    return bytes;
}

// The bytes that count: Ctrl-Z ends the file.
std::string_view Content(std::string_view bytes) {
    return bytes.substr(0, bytes.find('\x1a'));
}

std::string FirstLine(std::string_view bytes) {
    std::string line(Content(bytes).substr(0, Content(bytes).find('\n')));
    std::erase(line, '\r');
    return line;
}

// After the first line: what the history has to be made of.
std::string_view Rest(std::string_view bytes) {
    const std::string_view content = Content(bytes);
    const size_t lf = content.find('\n');
    return lf == std::string_view::npos ? std::string_view() : content.substr(lf + 1);
}

std::string WithoutLineBreaks(std::string_view text) {
    std::string kept(text);
    std::erase(kept, '\r');
    std::erase(kept, '\n');
    return kept;
}

// Every line ended by CR LF, and no CR, LF or Ctrl-Z inside a line.
bool IsHistory(std::string_view history) {
    for (size_t i = 0; i < history.size(); ++i) {
        const char c = history[i];
        if (c == '\x1a' || (c == '\r' && (i + 1 == history.size() || history[i + 1] != '\n')) ||
            (c == '\n' && (i == 0 || history[i - 1] != '\r'))) {
            return false;
        }
    }
    return history.empty() || history.ends_with('\n');
}

// Exactly what a save of cursor and some history writes.
bool IsCanonical(std::string_view bytes, int32_t cursor) {
    const std::string first = std::to_string(cursor) + "\r\n";
    return bytes.starts_with(first) && IsHistory(bytes.substr(first.size()));
}

size_t ExpectedLineCount(std::string_view rest) {
    return static_cast<size_t>(std::count(rest.begin(), rest.end(), '\n')) +
           (rest.empty() || rest.ends_with('\n') ? 0 : 1);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    homeFd = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    FUZZ_CHECK(homeFd >= 0);
    // A save renames over the old file, which ext4 follows with a flush: in
    // memory the target runs about ten times faster.
    const char* tmp = std::getenv("TMPDIR");
    if (tmp == nullptr || *tmp == '\0') {
        tmp = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    }
    std::string pattern = std::string(tmp) + "/vesmira-fuzz-step-file.XXXXXX";
    FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
    workDir = pattern;
    workFd = open(workDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    FUZZ_CHECK(workFd >= 0);
    std::atexit(RemoveWorkDir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    InWorkDir inside;
    WriteFile("temp.1", input);
    ResetWizard();
    Wizard.CursorYear = kCursorBefore;

    std::string history;
    try {
        history = LoadStepFile(2);
    } catch (const ConversionFailure& failure) {
        FUZZ_CHECK(Wizard.CursorYear == kCursorBefore);
        const std::string first = FirstLine(input);
        FUZZ_CHECK(!TryToInteger(first));
        FUZZ_CHECK(failure.text() == first);
        FUZZ_CHECK(failure.message() == "'" + first + "' は整数ではありません");
        return 0;
    } catch (const FileFailure& failure) {
        // A plain file in a private folder can only be refused for its size.
        FUZZ_CHECK(Wizard.CursorYear == kCursorBefore);
        FUZZ_CHECK(size > kMaxStepFileSize && failure.error() == EFBIG);
        FUZZ_CHECK(failure.message() == FileFailureText(EFBIG));
        return 0;
    }

    const int32_t cursor = Wizard.CursorYear;
    FUZZ_CHECK(TryToInteger(FirstLine(input)) == cursor);
    FUZZ_CHECK(IsHistory(history));
    FUZZ_CHECK(static_cast<size_t>(std::count(history.begin(), history.end(), '\n')) ==
               ExpectedLineCount(Rest(input)));
    FUZZ_CHECK(WithoutLineBreaks(history) == WithoutLineBreaks(Rest(input)));
    const StepSnapshot parsed = ParseStepFile(input);
    FUZZ_CHECK(parsed.cursorYear == cursor && parsed.history == history);

    // Lines that ended in LF alone come back ended by CR LF, so a file within
    // the limit can give a snapshot over it: the save refuses that one and
    // leaves the file as it was.
    if (FormatStepFile(cursor, history).size() > kMaxStepFileSize) {
        try {
            SaveStepFile("temp.1", history);
            FUZZ_CHECK(!"a snapshot over the limit was saved");
        } catch (const FileFailure& failure) {
            FUZZ_CHECK(failure.error() == EFBIG);
        }
        FUZZ_CHECK(ReadFile("temp.1") == input);
        FUZZ_CHECK(OnlyTheStepFile());
        return 0;
    }
    SaveStepFile("temp.1", history);
    const std::string saved = ReadFile("temp.1");
    FUZZ_CHECK(saved == FormatStepFile(cursor, history));
    FUZZ_CHECK((saved == input) == IsCanonical(input, cursor));
    FUZZ_CHECK(OnlyTheStepFile());

    Wizard.CursorYear = kCursorBefore;
    FUZZ_CHECK(LoadStepFile(2) == history);
    FUZZ_CHECK(Wizard.CursorYear == cursor);
    SaveStepFile("temp.1", history);
    FUZZ_CHECK(ReadFile("temp.1") == saved);
    return 0;
}
