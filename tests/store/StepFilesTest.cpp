#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "History.h"
#include "StepFileTesting.h"
#include "StepFiles.h"

namespace vesmira {
namespace {

namespace fs = std::filesystem;
using namespace testing_support;
using namespace std::string_literals;

// Each test runs in a fresh working directory, as the wizard uses the one it
// was started in.
class StepFilesTest : public testing::Test {
  protected:
    void SetUp() override {
        ResetWizard();
        previous_ = fs::current_path();
        dir_ = MakeTempDir("stepfiles");
        ASSERT_FALSE(dir_.empty());
        fs::current_path(dir_);
    }
    void TearDown() override {
        DeleteStepFiles();  // as the program ends: nothing of this test's is remembered
        fs::current_path(previous_);
        RemoveTree(dir_);
    }

    fs::path previous_, dir_;
};

TEST_F(StepFilesTest, FirstStepRoundTripsByteForByte) {
    Wizard.CursorYear = 2001;
    SaveStepFile("temp.1", kFiveLines);
    EXPECT_EQ(ReadBytes("temp.1"), std::string("2001\r\n") + kFiveLines);

    Wizard.CursorYear = 0;
    EXPECT_EQ(LoadStepFile(2), kFiveLines);
    EXPECT_EQ(Wizard.CursorYear, 2001);
}

TEST_F(StepFilesTest, LoadReadsTheFileOfThePreviousStep) {
    for (int32_t step = 1; step <= 4; ++step) {
        Wizard.CursorYear = 2000 + step;
        SaveStepFile(StepFileName(step), "step " + std::to_string(step) + "\r\n");
    }
    const struct {
        int32_t step, cursor;
        const char* history;
    } cases[] = {{2, 2001, "step 1\r\n"}, {3, 2002, "step 2\r\n"}, {4, 2003, "step 3\r\n"}};
    for (const auto& c : cases) {
        EXPECT_EQ(LoadStepFile(c.step), c.history);
        EXPECT_EQ(Wizard.CursorYear, c.cursor);
    }
}

TEST_F(StepFilesTest, SaveReplacesWholeFilesAndLeavesNothingBeside) {
    Wizard.CursorYear = 2004;
    SaveStepFile("temp.2", std::string(5000, 'a') + "\r\n");
    Wizard.CursorYear = -7;
    SaveStepFile("temp.2", "");
    EXPECT_EQ(ReadBytes("temp.2"), "-7\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 1);
}

// A file of the partial file's form is someone's: the save writes under a
// new name of its own and leaves nothing of its own beside the step file.
TEST_F(StepFilesTest, SaveLeavesAFileAtThePartialNameAlone) {
    WriteBytes(".temp.1.part", "half a snapsh");
    Wizard.CursorYear = 2001;
    SaveStepFile("temp.1", "x\r\n");
    EXPECT_EQ(Contents("."), (std::map<std::string, std::string>{{".temp.1.part", "half a snapsh"},
                                                                 {"temp.1", "2001\r\nx\r\n"}}));
}

#ifndef _WIN32
// Private to the user whatever the umask: 0600 even where the umask would
// give others read access, or take the user's own away.
TEST_F(StepFilesTest, StepFilesAreCreatedPrivate) {
    const mode_t umasks[] = {0, 022, 077, 0277, 0777};
    const mode_t saved = umask(022);
    for (const mode_t mask : umasks) {
        umask(mask);
        Wizard.CursorYear = 2001;
        SaveStepFile("temp.1", kFiveLines);
        SaveStepFile("temp.2", kFiveLines);  // new, where temp.1 replaced one
        umask(saved);
        for (const char* name : {"temp.1", "temp.2"}) {
            struct stat st {};
            ASSERT_EQ(lstat(name, &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0600u) << name << " under umask 0" << std::oct << mask;
        }
        fs::remove("temp.2");
    }
    umask(saved);
}

TEST_F(StepFilesTest, SymbolicLinkIsReplacedNotWrittenThrough) {
    WriteBytes("outside", "user data");
    fs::create_symlink("outside", "temp.1");
    Wizard.CursorYear = 2001;
    SaveStepFile("temp.1", kFiveLines);
    EXPECT_EQ(ReadBytes("outside"), "user data");
    EXPECT_FALSE(fs::is_symlink("temp.1"));
    EXPECT_EQ(ReadBytes("temp.1"), std::string("2001\r\n") + kFiveLines);
}
#endif

TEST_F(StepFilesTest, ParsesLineEndsAsTextFilesDo) {
    const struct {
        const char* name;
        std::string bytes;
        int32_t cursor;
        std::string history;
    } cases[] = {
        {"crlf", "2001\r\na\r\nb\r\n", 2001, "a\r\nb\r\n"},
        {"lfOnly", "2001\na\nb\n", 2001, "a\r\nb\r\n"},
        {"lastLineWithoutEnd", "2001\r\na\r\nb", 2001, "a\r\nb\r\n"},
        {"loneCrDropped", "20\r01\r\na\rb\r\n", 2001, "ab\r\n"},
        {"ctrlZEndsTheFile",
         "2001\r\na\r\n\x1a"
         "b\r\n",
         2001, "a\r\n"},
        {"emptyLinesKept", "2001\r\n\r\n\r\n", 2001, "\r\n\r\n"},
        {"cursorOnly", "2001", 2001, ""},
        {"integerSyntax", " $7D1\r\n", 2001, ""},
    };
    for (const auto& c : cases) {
        const StepSnapshot snapshot = ParseStepFile(c.bytes);
        EXPECT_EQ(snapshot.cursorYear, c.cursor) << c.name;
        EXPECT_EQ(snapshot.history, c.history) << c.name;
    }
}

TEST_F(StepFilesTest, FailureTextsByErrorNumber) {
    const struct {
        int error;
        const char* text;
    } cases[] = {
#ifdef _WIN32
        // GetLastError's numbers.
        {2, "ファイルが見つかりません"},
        {3, "不正なファイル名です"},
        {4, "オープンしたファイルが多すぎます"},
        {5, "ファイルへのアクセスが拒否されました"},
        {32, "I/O エラー (32)"},  // held by another program
        {33, "I/O エラー (33)"},
        {80, "I/O エラー (80)"},
        {112, "I/O エラー (112)"},  // disk full
        {223, "I/O エラー (223)"},
        {681, "I/O エラー (681)"},
        {EACCES, "I/O エラー (13)"},  // errno's numbers mean nothing here
#else
        {ENOENT, "ファイルが見つかりません"},
        {ENOTDIR, "不正なファイル名です"},
        {EMFILE, "オープンしたファイルが多すぎます"},
        {ENFILE, "オープンしたファイルが多すぎます"},
        {EACCES, "ファイルへのアクセスが拒否されました"},
        {EPERM, "ファイルへのアクセスが拒否されました"},
        {EISDIR, "I/O エラー (21)"},
        {EFBIG, "I/O エラー (27)"},
        {ENOSPC, "I/O エラー (28)"},
        {EROFS, "I/O エラー (30)"},
#endif
    };
    for (const auto& c : cases) {
        const FileFailure failure(c.error);
        EXPECT_EQ(failure.message(), c.text);
        EXPECT_EQ(failure.error(), c.error);
    }
}

TEST_F(StepFilesTest, RealFailuresCarryTheirTexts) {
    fs::create_directory("temp.5");
    WriteBytes("temp.5/keep", "x");
    WriteBytes("plainfile", "x");
    const struct {
        const char* name;
        std::function<void()> operation;
        const char* text;
    } cases[] = {
        {"missingStepFile", [] { LoadStepFile(3); }, "ファイルが見つかりません"},
        {"stepFileIsAFolder", [] { LoadStepFile(6); }, kFolderText},
        {"saveOverAFolder", [] { SaveStepFile("temp.5", ""); }, kFolderText},
        {"missingFolder", [] { SaveStepFile("nofolder/temp.1", ""); }, "不正なファイル名です"},
        {"fileAsFolder", [] { SaveStepFile("plainfile/temp.1", ""); }, "不正なファイル名です"},
#ifdef _WIN32
        {"emptyName", [] { SaveStepFile("", ""); }, "不正なファイル名です"},  // Windows says 3
#else
        {"emptyName", [] { SaveStepFile("", ""); }, "ファイルが見つかりません"},
#endif
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FailureText(c.operation), c.text) << c.name;
    }
    EXPECT_TRUE(fs::exists("temp.5/keep"));
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 2)
        << "a failed save leaves no partial file";
}

TEST_F(StepFilesTest, FailedLoadLeavesCursorYearAsItWas) {
    const std::string megabyteLine(kMaxStepFileSize - 2, 'a');
    const struct {
        const char* name;
        std::string bytes;
        std::string text;
    } cases[] = {
        {"emptyFile", "", "'' は整数ではありません"},
        {"badFirstLine", "二〇〇一\r\nx\r\n", "'二〇〇一' は整数ではありません"},
        {"trailingBlank", "2001 \r\n", "'2001 ' は整数ではありません"},
        {"overOneMebibyte", "2001\r\n" + std::string(kMaxStepFileSize, 'a'), kTooBigText},
        // The text names the whole line, whatever it holds, up to the file's limit.
        {"nulInFirstLine", "'2000.\0\r\nx\r\n"s, "''2000.\0' は整数ではありません"s},
        {"controlBytesInFirstLine", "\x01\x1b[2J\x7f\r\n",
         "'\x01\x1b[2J\x7f' は整数ではありません"},
        {"oneMebibyteFirstLine", megabyteLine + "\r\n",
         "'" + megabyteLine + "' は整数ではありません"},
    };
    for (const auto& c : cases) {
        WriteBytes("temp.1", c.bytes);
        Wizard.CursorYear = 1234;
        EXPECT_EQ(FailureText([] { LoadStepFile(2); }), c.text) << c.name;
        EXPECT_EQ(Wizard.CursorYear, 1234) << c.name;
    }
}

TEST_F(StepFilesTest, ExactlyOneMebibyteIsStillRead) {
    const std::string history = std::string(kMaxStepFileSize - 8, 'a') + "\r\n";
    WriteBytes("temp.1", "2001\r\n" + history);
    EXPECT_EQ(fs::file_size("temp.1"), kMaxStepFileSize);
    EXPECT_EQ(LoadStepFile(2), history);
}

// History lines come back byte for byte, whatever bytes they hold.
TEST_F(StepFilesTest, HistoryLinesKeepEveryByte) {
    std::string manyLines;
    for (int i = 0; i < 300000; ++i) {
        manyLines += "a\r\n";
    }
    const struct {
        const char* name;
        std::string history;
    } cases[] = {
        {"nul", "大学\0入学は\r\n\0\r\n"s},
        {"controlBytes", "\x01\x1b[31m\x7f\t\r\n"},
        {"invalidUtf8", "\xff\xfe\xc3\r\n"},
        {"threeHundredThousandLines", manyLines},
    };
    for (const auto& c : cases) {
        Wizard.CursorYear = 2001;
        SaveStepFile("temp.1", c.history);
        Wizard.CursorYear = 0;
        EXPECT_EQ(LoadStepFile(2), c.history) << c.name;
        EXPECT_EQ(Wizard.CursorYear, 2001) << c.name;
    }
}

// Save refuses what load would refuse, before anything is written: the step
// stays where it was and every earlier snapshot still loads.
TEST_F(StepFilesTest, SaveRefusesWhatLoadWouldRefuse) {
    const struct {
        const char* name;
        size_t fileSize;
        const char* text;  // nullptr: saved
    } cases[] = {
        {"exactlyTheLimit", kMaxStepFileSize, nullptr},
        {"oneByteOver", kMaxStepFileSize + 1, kTooBigText},
    };
    for (const auto& c : cases) {
        WriteBytes("temp.1", "2001\r\nold\r\n");
        Wizard.CursorYear = 2004;
        const std::string history(c.fileSize - 8, 'a');
        EXPECT_EQ(FailureText([&] { SaveStepFile("temp.1", history + "\r\n"); }),
                  c.text ? c.text : "(no failure)")
            << c.name;
        EXPECT_EQ(LoadStepFile(2), c.text ? "old\r\n" : history + "\r\n") << c.name;
        EXPECT_FALSE(fs::exists(".temp.1.part")) << c.name;
    }
}

TEST_F(StepFilesTest, DeletionRemovesOnlyTheWizardsOwnFiles) {
    const char* ours[] = {"temp.1", "temp.2", "temp.10", "temp.007"};
    const char* users[] = {
        "temp.3",
        "temp.01",
        "temp.00",
        "temp.2024",
        ".temp.1.part",
        "temp.docx",
        ".temp.01.part",
        "temp.1x",
        "temp.-1",
        ".temp.3.part",
#ifndef _WIN32
        // Windows drops a final dot from a name, and "Temp.1" is "temp.1" there.
        "temp.",
        "Temp.1",
#endif
    };
    for (const char* name : users) {
        WriteBytes(name, std::string("user ") + name);
    }
    for (const char* name : ours) {
        SaveStepFile(name, kFiveLines);
    }
    fs::create_directory("temp.4");
    DeleteStepFiles();
    for (const char* name : ours) {
        EXPECT_FALSE(fs::exists(name)) << name;
    }
    for (const char* name : users) {
        EXPECT_EQ(ReadBytes(name), std::string("user ") + name) << name;
    }
    EXPECT_TRUE(fs::is_directory("temp.4"));
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()),
              std::size(users) + 1);
}

TEST_F(StepFilesTest, DeletingWithoutStepFilesDoesNothing) {
    DeleteStepFiles();
    EXPECT_TRUE(fs::is_empty("."));
}

TEST(StepFileNameTest, RecognisesStepFileNames) {
    EXPECT_EQ(StepFileName(1), "temp.1");
    EXPECT_EQ(StepFileName(-1), "temp.-1");
    const struct {
        const char* name;
        bool step;
    } cases[] = {{"temp.1", true}, {"temp.123", true}, {"temp.", false},   {"temp.1a", false},
                 {"temp", false},  {"temp.-1", false}, {"atemp.1", false}, {"temp. 1", false}};
    for (const auto& c : cases) {
        EXPECT_EQ(IsStepFileName(c.name), c.step) << c.name;
    }
}

}  // namespace
}  // namespace vesmira
