#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "History.h"
#include "ResumeRows.h"

namespace vesmira {
namespace {

struct School {
    const char *name, *wait, *course, *repeated, *dropOut;
};

struct RowsCase {
    const char* name;
    int32_t birthYear;
    const char *month, *day;
    std::vector<School> schools;
    std::string rows;
};

// The history as the wizard builds it, with the age sentence the dialog adds.
std::string Build(const RowsCase& c) {
    ResetWizard();
    Wizard.BirthYear = c.birthYear;
    Wizard.CursorYear = BeginHistory(c.birthYear, c.month, c.day);
    for (const School& s : c.schools) {
        Wizard.CursorYear = AddSchool(s.name, s.wait, s.course, s.repeated, s.dropOut).leaveYear;
    }
    return Wizard.HistoryText + "現在41歳です。";
}

class ResumeRowsTest : public testing::TestWithParam<RowsCase> {};

TEST_P(ResumeRowsTest, OneRowPerEventWithTheColumnsInPlace) {
    EXPECT_EQ(ResumeRowsText(Build(GetParam())), GetParam().rows);
}

const std::string kFirstFour =
    "1992\t平成4\t4\t小学校 入学\n1998\t平成10\t3\t小学校 卒業\n"
    "1998\t平成10\t4\t中学校 入学\n2001\t平成13\t3\t中学校 卒業\n";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Histories, ResumeRowsTest, testing::Values(
    RowsCase{"juniorHighOnly", 1985, "5", "10", {}, kFirstFour},
    RowsCase{"typicalRoad", 1985, "5", "10",
             {{"高等学校", "0", "3", "0", "0"}, {"大学", "1", "4", "0", "0"}},
             kFirstFour + "2001\t平成13\t4\t高等学校 入学\n2004\t平成16\t3\t高等学校 卒業\n"
                          "2005\t平成17\t4\t大学 入学\n2009\t平成21\t3\t大学 卒業\n"},
    RowsCase{"dropOut", 1985, "5", "10", {{"大学", "0", "4", "1", "2"}},
             kFirstFour + "2001\t平成13\t4\t大学 入学\n2004\t平成16\t3\t大学 中退\n"},
    RowsCase{"showaAndTheYearTheEraChanged", 1982, "4", "2", {},
             "1989\t平成元\t4\t小学校 入学\n1995\t平成7\t3\t小学校 卒業\n"
             "1995\t平成7\t4\t中学校 入学\n1998\t平成10\t3\t中学校 卒業\n"},
    RowsCase{"typedNameWithTabLineBreaksAndEventWords", 1985, "5", "10",
             {{"A\tB\r\nC入学は2001（平成13）年4月\nD", "0", "1", "0", "0"}},
             kFirstFour + "2001\t平成13\t4\tA B C入学は2001（平成13）年4月 D 入学\n"
                          "2002\t平成14\t3\tA B C入学は2001（平成13）年4月 D 卒業\n"},
    RowsCase{"emptyNameAndNegativeYears", 1985, "5", "10", {{"", "-70", "3", "0", "0"}},
             kFirstFour + "1931\t平成-57\t4\t 入学\n1934\t平成-54\t3\t 卒業\n"}),
    [](const testing::TestParamInfo<RowsCase>& info) { return info.param.name; });
// clang-format on

// After 戻る the history comes from a step file, where a line feed typed into
// a name has become a line end of its own; the rows must not change.
TEST(ResumeRowsFromStepFile, NameSplitOverLinesIsJoinedAgain) {
    const std::string read =
        "1985（昭和60）年5月10日生まれのあなたの\r\n"
        "A\r\nB卒業は2004（平成16）年3月\r\n";
    EXPECT_EQ(ResumeRowsText(read), "2004\t平成16\t3\tA B 卒業\n");
}

TEST(ResumeRowsFromStepFile, LinesNotOfTheWizardsFormGiveNoRow) {
    const char* const notEvents[] = {
        "",
        "大学入学は2001（平成14）年4月",  // label of another year
        "大学入学は2001（平成13）年3月",  // entry in March
        "大学卒業は2001（平成13）年4月",
        "大学入学は（平成13）年4月",
        "大学入学は99999999999（平成13）年4月",
        "大学入学2001（平成13）年4月",
        "現在41歳です。",
    };
    for (const char* line : notEvents) {
        EXPECT_EQ(ResumeRowsText(std::string(line) + "\r\n"), "") << line;
    }
}

}  // namespace
}  // namespace vesmira
