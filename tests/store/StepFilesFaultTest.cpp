// Step files under real faults of the system: exhausted limits, a process
// killed while saving, folders and links where files are expected.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "History.h"
#include "StepFileTesting.h"
#include "StepFiles.h"

namespace vesmira {
namespace {

namespace fs = std::filesystem;
using namespace testing_support;

#ifndef _WIN32
// Lowers the soft limit of open files just above those already open and
// takes the rest, so that the next open fails with EMFILE.
class OpenFilesExhausted {
  public:
    OpenFilesExhausted() {
        getrlimit(RLIMIT_NOFILE, &saved_);
        const int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        ::close(probe);
        rlimit lowered = saved_;
        lowered.rlim_cur = static_cast<rlim_t>(probe) + 4;
        setrlimit(RLIMIT_NOFILE, &lowered);
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) {
            fds_.push_back(fd);
        }
        exhausted_ = errno == EMFILE;
    }
    ~OpenFilesExhausted() {
        for (const int fd : fds_) {
            ::close(fd);
        }
        setrlimit(RLIMIT_NOFILE, &saved_);
    }
    OpenFilesExhausted(const OpenFilesExhausted&) = delete;
    OpenFilesExhausted& operator=(const OpenFilesExhausted&) = delete;
    bool exhausted() const { return exhausted_; }

  private:
    rlimit saved_{};
    std::vector<int> fds_;
    bool exhausted_ = false;
};

// Limits the size of files this process writes. SIGXFSZ is ignored so that
// the write fails with EFBIG instead of ending the process.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGXFSZ, &ignore, &savedAction_);
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        sigaction(SIGXFSZ, &savedAction_, nullptr);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit saved_{};
    struct sigaction savedAction_ {};
};
#endif

class StepFilesFaultTest : public ScratchFolderTest {
  protected:
    StepFilesFaultTest() : ScratchFolderTest("stepfaults") {}
};

TEST_F(StepFilesFaultTest, FailedOperationsChangeNothing) {
    const struct {
        const char* name;
        std::function<void()> setUp;
        std::function<void()> operation;
        const char* text;
    } cases[] = {
        {"loadFromAFolder",
         [] {
             fs::create_directory("temp.1");
             WriteBytes("temp.1/keep", "x");
         },
         [] { LoadStepFile(2); }, kFolderText},
        {"saveOverAFolder",
         [] {
             fs::create_directory("temp.1");
             WriteBytes("temp.1/keep", "x");
         },
         [] { SaveStepFile("temp.1", kFiveLines); }, kFolderText},
        {"loadMissingBesideOthers", [] { WriteBytes("temp.2", "2004\r\n"); },
         [] { LoadStepFile(2); }, "ファイルが見つかりません"},
        {"saveIntoMissingFolder", [] {}, [] { SaveStepFile("nofolder/temp.1", kFiveLines); },
         "不正なファイル名です"},
        {"saveTwoFoldersDeep", [] { fs::create_directory("a"); },
         [] { SaveStepFile("a/b/temp.1", kFiveLines); }, "不正なファイル名です"},
        {"saveUnderAFile", [] { WriteBytes("plainfile", "user"); },
         [] { SaveStepFile("plainfile/temp.1", kFiveLines); }, "不正なファイル名です"},
#ifndef _WIN32
        {"saveThroughADanglingLink", [] { fs::create_symlink("nowhere", "gone"); },
         [] { SaveStepFile("gone/temp.1", kFiveLines); }, "不正なファイル名です"},
        // A link in the step file's place is refused, never read through,
        // whatever it points at; so is a FIFO.
        {"loadThroughALinkToAFileWithANumber",
         [this] {
             WriteBytes(outside_ / "diary", "2024\r\nsecret\r\n");
             fs::create_symlink(outside_ / "diary", "temp.1");
         },
         [] { LoadStepFile(2); }, "I/O エラー (40)"},
        {"loadThroughALinkToAFolder", [this] { fs::create_symlink(outside_, "temp.1"); },
         [] { LoadStepFile(2); }, "I/O エラー (40)"},
        {"loadThroughADanglingLink", [] { fs::create_symlink("nowhere", "temp.1"); },
         [] { LoadStepFile(2); }, "I/O エラー (40)"},
        {"loadFromAFifo", [] { ASSERT_EQ(mkfifo("temp.1", 0600), 0); }, [] { LoadStepFile(2); },
         "I/O エラー (22)"},
#endif
    };
    for (const auto& c : cases) {
        Empty(".");
        Empty(outside_);
        c.setUp();
        const auto before = Contents(".");
        const auto outsideBefore = Contents(outside_);
        EXPECT_EQ(FailureText(c.operation), c.text) << c.name;
        EXPECT_EQ(Wizard.CursorYear, kCursor) << c.name;
        EXPECT_EQ(Contents("."), before) << c.name;
        EXPECT_EQ(Contents(outside_), outsideBefore) << c.name;
    }
}

#ifndef _WIN32
TEST_F(StepFilesFaultTest, TooManyOpenFiles) {
    Wizard.CursorYear = 2001;
    SaveStepFile("temp.1", kFiveLines);
    const std::string old = ReadBytes("temp.1");
    Wizard.CursorYear = kCursor;

    std::string loadText, saveText;
    bool exhausted = false;
    {
        // Nothing in here may need a file of its own, GoogleTest's output included.
        OpenFilesExhausted limit;
        exhausted = limit.exhausted();
        loadText = FailureText([] { LoadStepFile(2); });
        saveText = FailureText([] { SaveStepFile("temp.1", "other\r\n"); });
    }
    ASSERT_TRUE(exhausted);
    EXPECT_EQ(loadText, "オープンしたファイルが多すぎます");
    EXPECT_EQ(saveText, "オープンしたファイルが多すぎます");
    EXPECT_EQ(Wizard.CursorYear, kCursor);
    EXPECT_EQ(Contents("."), (std::map<std::string, std::string>{{"temp.1", old}}));

    {
        OpenFilesExhausted limit;
        exhausted = limit.exhausted();
        DeleteStepFiles();  // by name: needs no open file
    }
    ASSERT_TRUE(exhausted);
    EXPECT_TRUE(fs::is_empty("."));

    Wizard.CursorYear = 2001;
    SaveStepFile("temp.1", kFiveLines);
    EXPECT_EQ(LoadStepFile(2), kFiveLines) << "works again once files are closed";
}

TEST_F(StepFilesFaultTest, FileSizeLimitKeepsTheOldSnapshot) {
    constexpr rlim_t kLimit = 4096;
    const std::string old = FormatStepFile(2001, kFiveLines);
    const struct {
        const char* name;
        size_t fileSize;
        const char* text;  // nullptr: the save succeeds
    } cases[] = {
        {"upToTheLimit", kLimit, nullptr},
        {"oneByteOver", kLimit + 1, "I/O エラー (27)"},
        {"farOver", 10 * kLimit, "I/O エラー (27)"},
    };
    struct sigaction before {};
    sigaction(SIGXFSZ, nullptr, &before);
    for (const auto& c : cases) {
        WriteBytes("temp.1", old);
        Wizard.CursorYear = 2004;
        const std::string history(c.fileSize - 6, 'a');  // after "2004\r\n"
        std::string text;
        {
            FileSizeLimit limit(kLimit);
            text = FailureText([&] { SaveStepFile("temp.1", history); });
        }
        EXPECT_EQ(text, c.text ? c.text : "(no failure)") << c.name;
        EXPECT_EQ(ReadBytes("temp.1"), c.text ? old : "2004\r\n" + history) << c.name;
        EXPECT_FALSE(fs::exists(".temp.1.part")) << c.name;
    }
    struct sigaction after {};
    sigaction(SIGXFSZ, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler) << "SIGXFSZ handling restored";
}

// A saving process killed at any moment leaves either no step file (when no
// save had finished yet) or one complete snapshot, never a mixture; what else
// it leaves is hidden partial files, private to the user, which the next
// copy does not take for its own.
TEST_F(StepFilesFaultTest, SaveKilledAtAnyMomentLeavesOneWholeSnapshot) {
    std::string longHistory;
    for (int i = 0; i < 300; ++i) {
        longHistory += "大学院入学は" + std::to_string(2000 + i) + "（平成12）年4月\r\n";
    }
    const std::string a = FormatStepFile(2001, kFiveLines);
    const std::string b = FormatStepFile(2004, longHistory);
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<useconds_t> delay(0, 1500);

    int sawA = 0, sawB = 0;
    for (int round = 0; round < 100; ++round) {
        fs::remove("temp.1");  // a leftover partial file stays, as after a crash
        int saved[2];
        ASSERT_EQ(pipe(saved), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(saved[0]);
            try {
                for (bool told = false;; told = true) {
                    Wizard.CursorYear = 2001;
                    SaveStepFile("temp.1", kFiveLines);
                    if (!told && ::write(saved[1], "s", 1) != 1) {
                        _exit(2);
                    }
                    Wizard.CursorYear = 2004;
                    SaveStepFile("temp.1", longHistory);
                }
            } catch (...) {
                _exit(1);
            }
        }
        ::close(saved[1]);
        usleep(delay(random));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        char byte;
        const bool aSaveFinished = ::read(saved[0], &byte, 1) == 1;
        ::close(saved[0]);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << "round " << round << ": the saving process stopped by itself, status " << status;

        if (!fs::exists("temp.1")) {
            EXPECT_FALSE(aSaveFinished) << "round " << round;
            continue;
        }
        const std::string bytes = ReadBytes("temp.1");
        sawA += bytes == a;
        sawB += bytes == b;
        EXPECT_TRUE(bytes == a || bytes == b)
            << "round " << round << ": " << bytes.size() << " bytes";
    }
    EXPECT_GT(sawA + sawB, 0) << "no save finished before a kill: the test proved nothing";
    RecordProperty("roundsEndingWithA", sawA);
    RecordProperty("roundsEndingWithB", sawB);

    auto leftovers = Contents(".");
    leftovers.erase("temp.1");
    for (const auto& [name, bytes] : leftovers) {
        EXPECT_TRUE(name.starts_with(".temp.1.") && name.ends_with(".part")) << name;
        EXPECT_EQ(fs::status(name).permissions(), fs::perms::owner_read | fs::perms::owner_write)
            << name;
    }
    Wizard.CursorYear = 2010;
    SaveStepFile("temp.1", "c\r\n");
    DeleteStepFiles();
    EXPECT_EQ(Contents("."), leftovers);
}

// Another program rewrites the step file in place (truncates it, then writes
// it in pieces) while "戻る" reads it: the load gives the whole version it
// started on, or is refused with the cursor untouched; never a snapshot cut
// off midway. The rewrite starts at the load's first read (inotify), and the
// next load waits until it has ended.
TEST_F(StepFilesFaultTest, FileRewrittenWhileReadIsRefusedNotTorn) {
    std::string histories[2];
    for (int i = 0; i < 25000; ++i) {
        histories[0] += "高等学校入学は" + std::to_string(i) + "年4月\r\n";
        histories[1] += "大学卒業は" + std::to_string(i) + "年3月\r\n";
    }
    const std::string versions[] = {FormatStepFile(2001, histories[0]),
                                    FormatStepFile(2004, histories[1])};
    WriteBytes("temp.1", versions[0]);
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, "temp.1", IN_ACCESS), 0);

    std::atomic<int> armed = -1, rewritten = -1;
    std::atomic<bool> stop = false;
    std::thread writer([&] {
        while (!stop) {
            pollfd ready{watch, POLLIN, 0};
            char events[4096];
            if (poll(&ready, 1, 20) <= 0 || ::read(watch, events, sizeof events) <= 0) {
                continue;
            }
            const int round = armed;
            if (round == rewritten) {
                continue;  // the load's later reads, after this round's rewrite
            }
            const std::string& bytes = versions[(round + 1) % 2];
            const int fd = ::open("temp.1", O_WRONLY | O_TRUNC | O_CLOEXEC);
            for (size_t at = 0; fd >= 0 && at < bytes.size(); at += 8192) {
                if (::write(fd, bytes.data() + at, std::min<size_t>(8192, bytes.size() - at)) < 0) {
                    break;
                }
            }
            ::close(fd);
            rewritten = round;
        }
    });

    int whole = 0, refused = 0;
    for (int round = 0; round < 500 && refused < 10; ++round) {
        Wizard.CursorYear = kCursor;
        armed = round;
        try {
            const std::string history = LoadStepFile(2);
            const int version = round % 2;
            EXPECT_EQ(Wizard.CursorYear, version == 0 ? 2001 : 2004) << "round " << round;
            EXPECT_TRUE(history == histories[version])
                << "round " << round << ": " << history.size() << " bytes of history";
            ++whole;
        } catch (const FileFailure& failure) {
            EXPECT_EQ(failure.message(), "I/O エラー (5)") << "round " << round;
            EXPECT_EQ(Wizard.CursorYear, kCursor) << "round " << round;
            ++refused;
        }
        for (int waited = 0; rewritten != round && waited < 5000; ++waited) {
            usleep(1000);
        }
        ASSERT_EQ(rewritten, round) << "the rewrite never started";
    }
    stop = true;
    writer.join();
    ::close(watch);
    EXPECT_GT(refused, 0) << "no load overlapped a rewrite: the test proved nothing";
    RecordProperty("wholeLoads", whole);
    RecordProperty("refusedLoads", refused);
}

// Links the user (or anyone who may write into the folder) put beside the
// step files or in their place: a save replaces one at its own name, nothing
// else touches them or what they point at.
TEST_F(StepFilesFaultTest, LinksAreReplacedOrLeftNeverFollowed) {
    const fs::path userFile = outside_ / "letter.txt";
    const fs::path userFolder = outside_ / "folder";
    const std::string saved = FormatStepFile(2001, kFiveLines);
    const struct {
        const char* name;
        const char* link;
        fs::path target;
        bool saveFirst;  // the link comes in place of a saved temp.1
        bool saveAfter;
        std::map<std::string, std::string> left;  // after the saves and a deletion
    } cases[] = {
        {"saveOverStepFileLink", "temp.1", userFile, false, true, {}},
        {"saveOverLinkToAFolder", "temp.1", userFolder, false, true, {}},
        {"deleteLeavesAStepFileLink",
         "temp.1",
         userFile,
         false,
         false,
         {{"temp.1", "-> " + userFile.string()}}},
        {"linkInPlaceOfASavedFile",
         "temp.1",
         userFile,
         true,
         false,
         {{"temp.1", "-> " + userFile.string()}}},
        {"linkToAFolderOfStepFiles",
         "temp.2",
         userFolder,
         false,
         true,
         {{"temp.2", "-> " + userFolder.string()}}},
        {"linkAtAPartialName",
         ".temp.1.part",
         userFile,
         false,
         true,
         {{".temp.1.part", "-> " + userFile.string()}}},
    };
    for (const auto& c : cases) {
        Empty(".");
        Empty(outside_);
        WriteBytes(userFile, "user data");
        fs::create_directory(userFolder);
        WriteBytes(userFolder / "temp.1", "user step file");
        const auto outsideBefore = Contents(outside_);
        Wizard.CursorYear = 2001;
        if (c.saveFirst) {
            SaveStepFile("temp.1", kFiveLines);
            fs::remove("temp.1");
        }
        fs::create_symlink(c.target, c.link);
        if (c.saveAfter) {
            SaveStepFile("temp.1", kFiveLines);
            EXPECT_EQ(ReadBytes("temp.1"), saved) << c.name;
            EXPECT_FALSE(fs::is_symlink("temp.1")) << c.name;
        }
        DeleteStepFiles();
        EXPECT_EQ(Contents("."), c.left) << c.name;
        EXPECT_EQ(Contents(outside_), outsideBefore) << c.name;
    }
}

#endif

// Files of the user's beside the step files, some of the very form of a step
// file or a partial file (temp.01, .temp.1.part): no save and no deletion
// touches them, in a whole run of the wizard or when a file of the user's
// took the place of one the wizard had written.
TEST_F(StepFilesFaultTest, UserFilesSurviveEveryDeletion) {
    const std::map<std::string, std::string> users = {
        {"temp.01", "zero one"},
        {"temp.00", "zero zero"},
        {"temp.2024", "year"},
        {".temp.1.part", "partial"},
        {".temp.01.part", "hidden"},
        {"temp.docx", "report"},
        {"temp.bak", "backup"},
        {"temp.1x", "one x"},
        {".temp..part", "hidden dot"},
#ifndef _WIN32
        {"temp.", "dot"},  // Windows drops a final dot
#endif
    };
    for (const auto& [name, bytes] : users) {
        WriteBytes(name, bytes);
    }
    fs::create_directory(".temp.2.part");
    auto expected = users;
    expected[".temp.2.part"] = "(folder)";
#ifdef _WIN32
    if (MakeJunction("temp.d", outside_)) {
        expected["temp.d"] = "(link)";
    }
#else
    fs::create_symlink(outside_, "temp.d");
    expected["temp.d"] = "-> " + outside_.string();
#endif

    // A run of the wizard: steps forward, one back, then back to the first
    // step; and once more with no step file at all.
    for (int run = 1; run <= 3; ++run) {
        for (int32_t step = 1; step <= run + 1; ++step) {
            Wizard.CursorYear = 2000 + step;
            SaveStepFile(StepFileName(step), kFiveLines);
        }
        LoadStepFile(run + 1);
        DeleteStepFiles();
        EXPECT_EQ(Contents("."), expected) << "run " << run;
    }
    DeleteStepFiles();
    EXPECT_EQ(Contents("."), expected);

    // The user's own file renamed over a step file the wizard wrote.
    SaveStepFile("temp.3", kFiveLines);
    WriteBytes(outside_ / "mine", "the user's temp.3");
    fs::rename(outside_ / "mine", "temp.3");
    DeleteStepFiles();
    expected["temp.3"] = "the user's temp.3";
    EXPECT_EQ(Contents("."), expected);
}

}  // namespace
}  // namespace vesmira
