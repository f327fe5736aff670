// The step files and the folder lock on Windows: the system's own failure
// numbers, other processes that hold the files, links and junctions, and
// the access lists that make the files private.

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "History.h"
#include "Session.h"
#include "StepFileTesting.h"
#include "StepFiles.h"
#include "WindowsTesting.h"

namespace vesmira {
namespace {

namespace fs = std::filesystem;
using namespace testing_support;

constexpr char kDeniedText[] = "ファイルへのアクセスが拒否されました";

class WindowsStoreTest : public ScratchFolderTest {
  protected:
    WindowsStoreTest() : ScratchFolderTest("winstore") {}
    void SetUp() override {
        ScratchFolderTest::SetUp();
        lockName_ = LockFileName();
    }

    std::string lockName_;
};

TEST_F(WindowsStoreTest, LockFileIsNamedAfterTheUsersSid) {
    EXPECT_TRUE(lockName_.starts_with(".vesmira.S-1-")) << lockName_;
    EXPECT_TRUE(lockName_.ends_with(".lock")) << lockName_;
    EXPECT_EQ(lockName_.find_first_not_of(".vesmiraSlock-0123456789"), std::string::npos)
        << lockName_;
}

// What another process does with a step file while the wizard loads it: a
// reader is let in beside the load, anyone who holds it for writing makes
// the load fail at once with the system's own number.
TEST_F(WindowsStoreTest, StepFileHeldByAnotherProcess) {
    const std::string saved = FormatStepFile(2001, kFiveLines);
    const struct {
        const char* name;
        const char* role;
        const char* text;  // of the load; nullptr: loaded
    } cases[] = {
        {"heldWithoutSharing", "hold", "I/O エラー (32)"},
        {"openForWritingSharedWithAll", "write", "I/O エラー (32)"},
        {"openForReading", "read", nullptr},
    };
    for (const auto& c : cases) {
        WriteBytes("temp.1", saved);
        Wizard.CursorYear = kCursor;
        {
            ChildProcess holder(dir_, c.role, "temp.1");
            ASSERT_EQ(holder.report(), "opened") << c.name;
            EXPECT_EQ(FailureText([] { LoadStepFile(2); }), c.text ? c.text : "(no failure)")
                << c.name;
        }
        EXPECT_EQ(Wizard.CursorYear, c.text ? kCursor : 2001) << c.name;
        EXPECT_EQ(Contents("."), (std::map<std::string, std::string>{{"temp.1", saved}})) << c.name;
    }
}

// A save over a step file that another process holds without sharing fails
// (the system refuses the rename) and leaves it, and nothing beside it.
TEST_F(WindowsStoreTest, SaveOverAHeldStepFileChangesNothing) {
    const std::string saved = FormatStepFile(2001, kFiveLines);
    WriteBytes("temp.1", saved);
    {
        ChildProcess holder(dir_, "hold", "temp.1");
        ASSERT_EQ(holder.report(), "opened");
        Wizard.CursorYear = 2004;
        const std::string text = FailureText([] { SaveStepFile("temp.1", "new\r\n"); });
        // NTFS and Wine refuse the access (5); a sharing violation (32)
        // would do as well.
        EXPECT_TRUE(text == kDeniedText || text == "I/O エラー (32)") << text;
    }
    EXPECT_EQ(Contents("."), (std::map<std::string, std::string>{{"temp.1", saved}}));
}

TEST_F(WindowsStoreTest, FailuresCarryTheSystemsTexts) {
    fs::create_directory("a");
    const struct {
        const char* name;
        std::function<void()> operation;
        const char* text;
    } cases[] = {
        {"missingStepFile", [] { LoadStepFile(2); }, "ファイルが見つかりません"},
        {"missingFolder", [] { SaveStepFile("nofolder/temp.1", kFiveLines); },
         "不正なファイル名です"},
        {"missingFolderBackslash", [] { SaveStepFile("nofolder\\temp.1", kFiveLines); },
         "不正なファイル名です"},
        {"missingFolderTwoDeep", [] { SaveStepFile("a\\b\\temp.1", kFiveLines); },
         "不正なファイル名です"},
        // Not UTF-8: no name at all to the system.
        {"invalidName", [] { SaveStepFile("temp.\xff", kFiveLines); }, "I/O エラー (1113)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FailureText(c.operation), c.text) << c.name;
        EXPECT_EQ(Wizard.CursorYear, kCursor) << c.name;
        EXPECT_EQ(Contents("."), (std::map<std::string, std::string>{{"a", "(folder)"}})) << c.name;
    }
}

// A save in a subfolder writes its partial file there too, whichever
// separator the name uses, and only the step file is left.
TEST_F(WindowsStoreTest, SaveIntoASubfolderByEitherSeparator) {
    fs::create_directory("a");
    for (const char* name : {"a\\temp.1", "a/temp.2"}) {
        Wizard.CursorYear = 2001;
        SaveStepFile(name, kFiveLines);
    }
    EXPECT_EQ(Contents("."), (std::map<std::string, std::string>{
                                 {"a", "(folder)"},
                                 {"a\\temp.1", FormatStepFile(2001, kFiveLines)},
                                 {"a\\temp.2", FormatStepFile(2001, kFiveLines)},
                             }));
}

// Read-only is the user's word that the file stays: a save that would
// replace it is refused, with the system's text, and changes nothing.
TEST_F(WindowsStoreTest, ReadOnlyStepFileIsNotReplaced) {
    WriteBytes("probe", "x");
    WriteBytes("probe.new", "y");
    SetFileAttributesW(L"probe", FILE_ATTRIBUTE_READONLY);
    const bool refused = !MoveFileExW(L"probe.new", L"probe", MOVEFILE_REPLACE_EXISTING);
    Empty(".");
    if (!refused) {
        GTEST_SKIP() << "this system lets a rename replace a read-only file (Wine does)";
    }
    const std::string saved = FormatStepFile(2001, kFiveLines);
    WriteBytes("temp.1", saved);
    ASSERT_TRUE(SetFileAttributesW(L"temp.1", FILE_ATTRIBUTE_READONLY));
    Wizard.CursorYear = 2004;
    EXPECT_EQ(FailureText([] { SaveStepFile("temp.1", "new\r\n"); }), kDeniedText);
    EXPECT_EQ(Contents("."), (std::map<std::string, std::string>{{"temp.1", saved}}));
    Wizard.CursorYear = kCursor;
    EXPECT_EQ(LoadStepFile(2), kFiveLines) << "still read";
    EXPECT_EQ(Wizard.CursorYear, 2001);
}

// Only the user may open what the wizard writes: owner the user, one entry
// in a protected access list, whatever the folder would pass on, also for a
// step file saved over one of another access and for a lock file left
// behind readable by all.
TEST_F(WindowsStoreTest, StepAndLockFilesArePrivate) {
    WriteBytes("temp.2", "old");  // the folder's access list, passed on
    Wizard.CursorYear = 2001;
    SaveStepFile("temp.1", kFiveLines);
    SaveStepFile("temp.2", kFiveLines);
    EXPECT_EQ(AccessOf("temp.1"), "private");
    EXPECT_EQ(AccessOf("temp.2"), "private");

    for (const bool leftover : {false, true}) {
        RemoveTree(lockName_);
        if (leftover) {
            WriteBytes(lockName_, "");
        }
        ASSERT_EQ(ChildProcess(dir_, "lock").report(), "taken") << leftover;
        EXPECT_EQ(AccessOf(lockName_), "private") << leftover;
    }
}

TEST_F(WindowsStoreTest, LockOutcomes) {
    enum Holder { kNoOne, kAnotherCopy, kAKilledCopy };
    const struct {
        const char* name;
        std::function<void()> setUp;
        Holder holder;
        const char* outcome;
    } cases[] = {
        {"emptyFolder", [] {}, kNoOne, "taken"},
        {"anotherCopyRunsHere", [] {}, kAnotherCopy, "held"},
        {"leftoverOfAKilledCopy", [&] { WriteBytes(lockName_, ""); }, kNoOne, "taken"},
        {"copyKilledWhileHoldingIt", [] {}, kAKilledCopy, "taken"},
        {"folderAtTheName", [&] { fs::create_directory(lockName_); }, kNoOne, "failed 5"},
        {"secondNameOfAUsersFile",
         [&] {
             WriteBytes("notes", "the user's notes");
             ASSERT_TRUE(CreateHardLinkW(fs::path(lockName_).wstring().c_str(), L"notes", nullptr));
         },
         kNoOne, "failed 5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Empty(".");
        c.setUp();
        const auto before = Contents(".");
        std::unique_ptr<ChildProcess> holder;
        if (c.holder != kNoOne) {
            holder = std::make_unique<ChildProcess>(dir_, "lock");
            ASSERT_EQ(holder->report(), "taken");
            if (c.holder == kAKilledCopy) {
                holder->Kill();
            }
        }
        EXPECT_EQ(ChildProcess(dir_, "lock").report(), c.outcome);
        if (c.holder == kNoOne && std::string(c.outcome) != "taken") {
            EXPECT_EQ(Contents("."), before);
            if (fs::exists("notes")) {
                EXPECT_NE(AccessOf("notes"), "private");
            }
        }
    }
}

// Every end removes what the copy wrote; the user's files and a lock file
// it did not make stay.
TEST_F(WindowsStoreTest, ReleaseRemovesOnlyWhatTheCopyWrote) {
    for (const bool locked : {true, false}) {
        SCOPED_TRACE(locked ? "locked" : "withoutTheLock");
        Empty(".");
        WriteBytes("temp.01", "user");
        WriteBytes(".temp.2.part", "user");
        if (!locked) {
            WriteBytes(lockName_, "");
        }
        const auto users = Contents(".");
        {
            ChildProcess copy(dir_, "run", locked ? "lock" : "nolock");
            EXPECT_EQ(copy.report(), locked ? "taken" : "not asked");
        }
        EXPECT_EQ(Contents("."), users);
    }
}

// A copy killed at any moment of a save leaves one complete snapshot, and
// hidden partial files private to the user, which the next copy does not
// take for its own.
TEST_F(WindowsStoreTest, SaveKilledAtAnyMomentLeavesOneWholeSnapshot) {
    std::string longHistory;
    for (int i = 0; i < 300; ++i) {
        longHistory += "大学院入学は" + std::to_string(2000 + i) + "（平成12）年4月\r\n";
    }
    const std::string a = FormatStepFile(2001, kFiveLines);
    const std::string b = FormatStepFile(2004, longHistory);
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    // Up to 3 ms after the first save, by the performance counter: Sleep's
    // steps are coarser than a save.
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::uniform_int_distribution<LONGLONG> delay(0, frequency.QuadPart * 3 / 1000);

    int sawA = 0, sawB = 0;
    for (int round = 0; round < 30; ++round) {
        ChildProcess saving(dir_, "saveloop");
        ASSERT_EQ(saving.report(), "s") << "round " << round;
        LARGE_INTEGER now, until;
        QueryPerformanceCounter(&until);
        until.QuadPart += delay(random);
        do {
            QueryPerformanceCounter(&now);
        } while (now.QuadPart < until.QuadPart);
        saving.Kill();
        const std::string bytes = ReadBytes("temp.1");
        sawA += bytes == a;
        sawB += bytes == b;
        EXPECT_TRUE(bytes == a || bytes == b)
            << "round " << round << ": " << bytes.size() << " bytes";
    }
    RecordProperty("roundsEndingWithA", sawA);
    RecordProperty("roundsEndingWithB", sawB);

    auto leftovers = Contents(".");
    leftovers.erase("temp.1");
    for (const auto& [name, bytes] : leftovers) {
        EXPECT_TRUE(name.starts_with(".temp.1.") && name.ends_with(".part")) << name;
        EXPECT_EQ(AccessOf(name), "private") << name;
    }
    Wizard.CursorYear = 2010;
    SaveStepFile("temp.1", "c\r\n");
    DeleteStepFiles();
    EXPECT_EQ(Contents("."), leftovers);
}

// Copies that start and end all the time, each removing its lock file as it
// ends: never two at once.
TEST_F(WindowsStoreTest, CopiesStartingAndEndingAreNeverTwoAtOnce) {
    constexpr int kStreams = 3, kStarts = 10;
    std::atomic<int> together = 0, alone = 0;
    std::vector<std::thread> streams;
    for (int s = 0; s < kStreams; ++s) {
        streams.emplace_back([&] {
            for (int i = 0; i < kStarts; ++i) {
                const std::string outcome = ChildProcess(dir_, "inside").report();
                together += outcome == "together";
                alone += outcome == "alone";
            }
        });
    }
    for (std::thread& stream : streams) {
        stream.join();
    }
    EXPECT_EQ(together, 0) << "copies that saw another inside";
    EXPECT_GT(alone, 0);
    RecordProperty("copiesInside", alone);
    EXPECT_FALSE(fs::exists(lockName_));
}

// Links and junctions in place of step files, beside them or at the lock's
// name: refused on load, replaced (the link itself) on save, left by the
// deletion, and what they point at never touched.
class WindowsLinksTest : public WindowsStoreTest, public testing::WithParamInterface<const char*> {
  protected:
    bool MakeLink(const fs::path& link, const fs::path& target) {
        return std::string(GetParam()) == "junction" ? MakeJunction(link, target)
                                                     : MakeFileLink(link, target);
    }
    // The link's target: a file for a file link, a folder for a junction.
    fs::path Target() const {
        return std::string(GetParam()) == "junction" ? outside_ / "folder"
                                                     : outside_ / "letter.txt";
    }
    void SetUp() override {
        WindowsStoreTest::SetUp();
        WriteBytes(outside_ / "letter.txt", "2024\r\nsecret\r\n");
        fs::create_directory(outside_ / "folder");
        WriteBytes(outside_ / "folder" / "temp.1", "user step file");
        if (!MakeLink("probe", Target())) {
            GTEST_SKIP() << "this system makes no " << GetParam()
                         << " here (Wine has none; Windows needs the privilege or "
                            "developer mode for a file link)";
        }
        RemoveTree("probe");
        outsideBefore_ = Contents(outside_);
    }
    std::map<std::string, std::string> outsideBefore_;
};

TEST_P(WindowsLinksTest, LoadRefusesALinkInPlaceOfTheStepFile) {
    ASSERT_TRUE(MakeLink("temp.1", Target()));
    EXPECT_EQ(FailureText([] { LoadStepFile(2); }), kLinkText);
    EXPECT_EQ(Wizard.CursorYear, kCursor);
    EXPECT_EQ(Contents("."), (std::map<std::string, std::string>{{"temp.1", "(link)"}}));
    EXPECT_EQ(Contents(outside_), outsideBefore_);
}

TEST_P(WindowsLinksTest, SaveReplacesTheLinkItself) {
    ASSERT_TRUE(MakeLink("temp.1", Target()));
    Wizard.CursorYear = 2001;
    SaveStepFile("temp.1", kFiveLines);
    EXPECT_EQ(Contents("."),
              (std::map<std::string, std::string>{{"temp.1", FormatStepFile(2001, kFiveLines)}}));
    EXPECT_EQ(Contents(outside_), outsideBefore_);
    DeleteStepFiles();
    EXPECT_TRUE(fs::is_empty("."));
}

TEST_P(WindowsLinksTest, DeletionLeavesLinksItDidNotWrite) {
    const struct {
        const char* name;
        const char* link;
        bool saveFirst;  // the link comes in place of a saved temp.1
    } cases[] = {
        {"linkInPlaceOfASavedFile", "temp.1", true},
        {"linkAtAStepFileName", "temp.2", false},
        {"linkAtAPartialName", ".temp.1.part", false},
    };
    for (const auto& c : cases) {
        Empty(".");
        Wizard.CursorYear = 2001;
        if (c.saveFirst) {
            SaveStepFile("temp.1", kFiveLines);
            RemoveTree("temp.1");
        }
        ASSERT_TRUE(MakeLink(c.link, Target())) << c.name;
        DeleteStepFiles();
        EXPECT_EQ(Contents("."), (std::map<std::string, std::string>{{c.link, "(link)"}}))
            << c.name;
        EXPECT_EQ(Contents(outside_), outsideBefore_) << c.name;
    }
}

TEST_P(WindowsLinksTest, LockRefusesALinkAtItsName) {
    ASSERT_TRUE(MakeLink(lockName_, Target()));
    EXPECT_EQ(ChildProcess(dir_, "lock").report(), "failed 681");
    EXPECT_EQ(Contents("."), (std::map<std::string, std::string>{{lockName_, "(link)"}}));
    EXPECT_EQ(Contents(outside_), outsideBefore_);
}

INSTANTIATE_TEST_SUITE_P(Kinds, WindowsLinksTest, testing::Values("fileLink", "junction"));

}  // namespace
}  // namespace vesmira
