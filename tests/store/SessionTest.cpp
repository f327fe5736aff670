// The folder lock and the files of a copy as other users and other copies
// meet them. Each copy is a child process; where this test runs as root, the
// copies run as an unprivileged user and "another user" is a second one, as
// root would pass every permission by.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "History.h"
#include "Session.h"
#include "StepFileTesting.h"
#include "StepFiles.h"

namespace vesmira {
namespace {

namespace fs = std::filesystem;
using namespace testing_support;

const bool kRoot = geteuid() == 0;
constexpr uid_t kUser = 65534;   // nobody
constexpr uid_t kOther = 65533;  // no one's, but a user all the same

// Runs fn in a child process in folder, as the given user where this test is
// root; the child reports fn's text, then holds on (to a lock, say) until the
// parent lets it go.
class Copy {
  public:
    Copy(const fs::path& folder, uid_t uid, const std::function<std::string()>& fn) {
        int report[2], release[2];
        if (pipe(report) != 0 || pipe(release) != 0) {
            ADD_FAILURE() << "pipe";
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            close(report[0]);
            close(release[1]);
            if (kRoot && (setgroups(0, nullptr) != 0 || setgid(uid) != 0 || setuid(uid) != 0)) {
                _exit(120);
            }
            std::string text = chdir(folder.c_str()) == 0 ? fn() : "no chdir";
            text += '\n';
            [[maybe_unused]] const ssize_t n = write(report[1], text.data(), text.size());
            char byte;
            [[maybe_unused]] const ssize_t r = read(release[0], &byte, 1);
            _exit(0);
        }
        close(report[1]);
        close(release[0]);
        release_ = release[1];
        for (char c; read(report[0], &c, 1) == 1 && c != '\n';) {
            result_ += c;
        }
        close(report[0]);
    }
    ~Copy() {
        close(release_);
        if (pid_ > 0) {
            waitpid(pid_, nullptr, 0);
        }
    }
    Copy(const Copy&) = delete;
    Copy& operator=(const Copy&) = delete;
    const std::string& result() const { return result_; }

  private:
    pid_t pid_ = -1;
    int release_ = -1;
    std::string result_;
};

std::string TakeLock() {
    return LockOutcome(LockWorkingFolder());
}

std::string ModeAndOwner(const fs::path& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        return "(none)";
    }
    char text[32];
    snprintf(text, sizeof text, "%04o %u", st.st_mode & 07777, static_cast<unsigned>(st.st_uid));
    return text;
}

// A folder of the user's, made and removed by root where this test is root.
class SessionTest : public testing::Test {
  protected:
    void SetUp() override {
        ResetWizard();
        std::string pattern = (fs::temp_directory_path() / "session.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        pattern = (fs::temp_directory_path() / "session-outside.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        outside_ = pattern;
        user_ = kRoot ? kUser : geteuid();
        ASSERT_EQ(chown(dir_.c_str(), user_, user_), 0);
        lockName_ = Copy(dir_, user_, [] { return LockFileName(); }).result();
        ASSERT_EQ(lockName_, ".vesmira." + std::to_string(user_) + ".lock");
    }
    void TearDown() override {
        fs::permissions(dir_, fs::perms::owner_all);
        fs::remove_all(dir_);
        fs::remove_all(outside_);
    }
    void Empty() {
        for (const fs::directory_entry& entry : fs::directory_iterator(dir_)) {
            fs::remove_all(entry.path());
        }
    }
    // A file of the user's in the folder, as the user would have made it.
    void UserFile(const std::string& name, const std::string& bytes, mode_t mode) {
        WriteBytes(dir_ / name, bytes);
        ASSERT_EQ(lchown((dir_ / name).c_str(), user_, user_), 0);
        ASSERT_EQ(chmod((dir_ / name).c_str(), mode), 0);
    }

    fs::path dir_, outside_;
    uid_t user_ = 0;
    std::string lockName_;
};

TEST_F(SessionTest, LockOutcomes) {
    enum Holder { kNoOne, kAnotherCopy, kOtherUserLocksTheFolder };
    const struct {
        const char* name;
        mode_t folderMode;
        std::function<void()> setUp;  // in the folder
        Holder holder;
        const char* outcome;
        bool otherUser;  // needs a second user: only where this test is root
    } cases[] = {
        {"emptyFolder", 0700, [] {}, kNoOne, "taken", false},
        {"anotherCopyRunsHere", 0700, [] {}, kAnotherCopy, "held", false},
        {"leftoverOfAKilledCopy", 0700, [&] { UserFile(lockName_, "", 0600); }, kNoOne, "taken",
         false},
        {"leftoverReadableByOthers", 0700, [&] { UserFile(lockName_, "", 0644); }, kNoOne, "taken",
         false},
        {"folderWritableNotReadable", 0300, [] {}, kNoOne, "taken", false},
        {"anotherCopyInAFolderWritableNotReadable", 0300, [] {}, kAnotherCopy, "held", false},
        {"folderNotWritable", 0500, [] {}, kNoOne, "failed 13", false},
        {"linkAtTheName", 0700,
         [&] {
             WriteBytes(outside_ / "target", "user data");
             fs::create_symlink(outside_ / "target", dir_ / lockName_);
         },
         kNoOne, "failed 40", false},
        {"folderAtTheName", 0700, [&] { fs::create_directory(dir_ / lockName_); }, kNoOne,
         "failed 21", false},
        {"fifoAtTheName", 0700,
         [&] {
             ASSERT_EQ(mkfifo((dir_ / lockName_).c_str(), 0600), 0);
             ASSERT_EQ(chown((dir_ / lockName_).c_str(), user_, user_), 0);
         },
         kNoOne, "failed 22", false},
        {"secondNameOfAUsersFile", 0700,
         [&] {
             UserFile("notes", "the user's notes", 0644);
             fs::create_hard_link(dir_ / "notes", dir_ / lockName_);
         },
         kNoOne, "failed 1", false},
        {"anotherUsersFile", 0777,
         [&] {
             WriteBytes(dir_ / lockName_, "");
             ASSERT_EQ(chown((dir_ / lockName_).c_str(), kOther, kOther), 0);
         },
         kNoOne, "failed 13", true},
        {"anotherUsersFileWritableByAll", 0777,
         [&] {
             WriteBytes(dir_ / lockName_, "");
             ASSERT_EQ(chown((dir_ / lockName_).c_str(), kOther, kOther), 0);
             ASSERT_EQ(chmod((dir_ / lockName_).c_str(), 0666), 0);
         },
         kNoOne, "failed 1", true},
        {"anotherUserLocksTheFolder", 0755, [] {}, kOtherUserLocksTheFolder, "taken", true},
    };
    for (const auto& c : cases) {
        if (c.otherUser && !kRoot) {
            continue;
        }
        SCOPED_TRACE(c.name);
        fs::permissions(dir_, fs::perms::owner_all);
        Empty();
        c.setUp();
        const auto before = Contents(dir_);
        const auto outsideBefore = Contents(outside_);
        ASSERT_EQ(chmod(dir_.c_str(), c.folderMode), 0);
        std::vector<std::unique_ptr<Copy>> holders;
        if (c.holder == kAnotherCopy) {
            holders.push_back(std::make_unique<Copy>(dir_, user_, TakeLock));
            ASSERT_EQ(holders.back()->result(), "taken");
        } else if (c.holder == kOtherUserLocksTheFolder) {
            // The old way of locking, open to anyone who may read the folder.
            holders.push_back(std::make_unique<Copy>(dir_, kOther, [] {
                const int fd = open(".", O_RDONLY | O_DIRECTORY);
                return std::to_string(flock(fd, LOCK_EX | LOCK_NB));
            }));
            ASSERT_EQ(holders.back()->result(), "0");
        }
        EXPECT_EQ(Copy(dir_, user_, TakeLock).result(), c.outcome);
        fs::permissions(dir_, fs::perms::owner_all);  // for this test to look inside
        if (std::string(c.outcome) == "taken") {
            EXPECT_EQ(ModeAndOwner(dir_ / lockName_), "0600 " + std::to_string(user_));
        } else if (c.holder == kNoOne) {
            EXPECT_EQ(Contents(dir_), before);
            EXPECT_NE(ModeAndOwner(dir_ / "notes"), "0600 " + std::to_string(user_));
        }
        EXPECT_EQ(Contents(outside_), outsideBefore);
    }
}

// Another user can neither read what a copy writes nor hold its lock, even
// with read access to the folder and a umask that would let it read.
TEST_F(SessionTest, AnotherUserCannotReadTheFilesOrTakeTheLock) {
    if (!kRoot) {
        GTEST_SKIP() << "needs a second user";
    }
    ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
    Copy running(dir_, user_, [] {
        umask(0);
        const std::string lock = TakeLock();
        Wizard.CursorYear = 2001;
        SaveStepFile("temp.1", kFiveLines);
        return lock;
    });
    ASSERT_EQ(running.result(), "taken");
    for (const std::string& name : {std::string("temp.1"), lockName_}) {
        EXPECT_EQ(ModeAndOwner(dir_ / name), "0600 " + std::to_string(user_)) << name;
        const std::string opened = Copy(dir_, kOther, [&name] {
                                       const int fd = open(name.c_str(), O_RDONLY);
                                       return fd < 0 ? std::to_string(errno) : "opened";
                                   }).result();
        EXPECT_EQ(opened, std::to_string(EACCES)) << name;
    }
}

// Every end removes what the copy wrote, also in a folder that cannot be
// listed; the user's files and a lock file it did not make stay.
TEST_F(SessionTest, ReleaseRemovesOnlyWhatTheCopyWrote) {
    const struct {
        const char* name;
        mode_t folderMode;
        bool locked;
    } cases[] = {
        {"locked", 0700, true},
        {"folderWritableNotReadable", 0300, true},
        {"withoutTheLock", 0700, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::permissions(dir_, fs::perms::owner_all);
        Empty();
        UserFile("temp.01", "user", 0644);
        UserFile(".temp.2.part", "user", 0644);
        if (!c.locked) {
            UserFile(lockName_, "", 0600);
        }
        const auto users = Contents(dir_);
        ASSERT_EQ(chmod(dir_.c_str(), c.folderMode), 0);
        const bool locked = c.locked;
        EXPECT_EQ(Copy(dir_, user_,
                       [locked] {
                           const std::string lock = locked ? TakeLock() : "not asked";
                           for (int32_t step = 1; step <= 3; ++step) {
                               Wizard.CursorYear = 2000 + step;
                               SaveStepFile(StepFileName(step), kFiveLines);
                           }
                           ReleaseWorkingFolder();
                           ReleaseWorkingFolder();  // the exit handler after EndProgram
                           return lock;
                       })
                      .result(),
                  c.locked ? "taken" : "not asked");
        fs::permissions(dir_, fs::perms::owner_all);
        EXPECT_EQ(Contents(dir_), users);
    }
}

// Copies that start and end all the time, each removing its lock file as it
// ends: never two at once, also when one opened the lock file just as the
// copy before it removed it.
TEST_F(SessionTest, CopiesStartingAndEndingAreNeverTwoAtOnce) {
    constexpr int kStreams = 6, kStarts = 60;
    std::vector<pid_t> streams;
    for (int s = 0; s < kStreams; ++s) {
        const pid_t stream = fork();
        ASSERT_GE(stream, 0);
        if (stream > 0) {
            streams.push_back(stream);
            continue;
        }
        if (chdir(dir_.c_str()) != 0) {
            _exit(120);
        }
        int together = 0;
        for (int i = 0; i < kStarts; ++i) {
            const pid_t copy = fork();
            if (copy == 0) {
                if (LockWorkingFolder().outcome != FolderLock::kTaken) {
                    _exit(0);
                }
                // Alone inside: a second copy here finds the mark.
                const int mark = open("inside", O_WRONLY | O_CREAT | O_EXCL, 0600);
                usleep(200);
                unlink("inside");
                ReleaseWorkingFolder();
                _exit(mark >= 0 ? 0 : 1);
            }
            int status = 0;
            waitpid(copy, &status, 0);
            together += !WIFEXITED(status) || WEXITSTATUS(status) != 0;
        }
        _exit(together > 0 ? 1 : 0);
    }
    int failed = 0;
    for (const pid_t stream : streams) {
        int status = 0;
        waitpid(stream, &status, 0);
        failed += !WIFEXITED(status) || WEXITSTATUS(status) != 0;
    }
    EXPECT_EQ(failed, 0) << "streams that saw two copies at once";
    EXPECT_FALSE(fs::exists(dir_ / lockName_));
}

}  // namespace
}  // namespace vesmira
