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
    CivilDate today{2026, 12, 9};
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
    EXPECT_EQ(ResumeRowsText(Build(GetParam()), GetParam().today), GetParam().rows);
}

const std::string kFirstFour =
    "1992\t平成4\t4\t小学校 入学\n1998\t平成10\t3\t小学校 卒業\n"
    "1998\t平成10\t4\t中学校 入学\n2001\t平成13\t3\t中学校 卒業\n";

const std::string kCompulsory2001 =
    "2008\t平成20\t4\t小学校 入学\n2014\t平成26\t3\t小学校 卒業\n"
    "2014\t平成26\t4\t中学校 入学\n2017\t平成29\t3\t中学校 卒業\n";

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
    RowsCase{"emptyNameAndNegativeYears", 1985, "5", "10",
             {{"", "-70", "3", "0", "0"}, {"x", "-120", "0", "0", "0"}},
             kFirstFour + "1931\t昭和6\t4\t 入学\n1934\t昭和9\t3\t 卒業\n"
                          "1814\t\t4\tx 入学\n1814\t\t3\tx 卒業\n"},
    // The wizard's own lines say 平成35 for 2023; a 履歴書 says 令和5.
    RowsCase{"bornIn2000ReiwaFrom2020", 2000, "6", "15",
             {{"高等学校", "0", "3", "0", "0"}, {"大学", "0", "4", "0", "0"}},
             "2007\t平成19\t4\t小学校 入学\n2013\t平成25\t3\t小学校 卒業\n"
             "2013\t平成25\t4\t中学校 入学\n2016\t平成28\t3\t中学校 卒業\n"
             "2016\t平成28\t4\t高等学校 入学\n2019\t平成31\t3\t高等学校 卒業\n"
             "2019\t平成31\t4\t大学 入学\n2023\t令和5\t3\t大学 卒業\n"},
    RowsCase{"graduateSchoolsAreCompletedAndWhatIsAheadIsPlanned", 2001, "6", "1",
             {{"大学", "0", "4", "0", "0"}, {"大学院（修士課程）", "0", "2", "0", "0"},
              {"大学院（博士課程）", "0", "3", "0", "0"}},
             "2008\t平成20\t4\t小学校 入学\n2014\t平成26\t3\t小学校 卒業\n"
             "2014\t平成26\t4\t中学校 入学\n2017\t平成29\t3\t中学校 卒業\n"
             "2017\t平成29\t4\t大学 入学\n2021\t令和3\t3\t大学 卒業\n"
             "2021\t令和3\t4\t大学院（修士課程） 入学\n2023\t令和5\t3\t大学院（修士課程） 修了\n"
             "2023\t令和5\t4\t大学院（博士課程） 入学\n"
             "2026\t令和8\t3\t大学院（博士課程） 修了\n",
             {2026, 4, 1}},
    // Last day of a March and first of an April: the leaving is still ahead,
    // then the entry has begun.
    RowsCase{"marchEndsOnItsLastDay", 2001, "6", "1", {{"専門学校", "10", "0", "0", "0"}},
             kCompulsory2001 + "2027\t令和9\t4\t専門学校 入学予定\n2027\t令和9\t3\t専門学校 卒業見込み\n",
             {2027, 3, 31}},
    RowsCase{"aprilBeginsOnItsFirstDay", 2001, "6", "1", {{"専門学校", "10", "0", "0", "0"}},
             kCompulsory2001 + "2027\t令和9\t4\t専門学校 入学\n2027\t令和9\t3\t専門学校 卒業\n",
             {2027, 4, 1}},
    // Ahead of 9 December 2026: a graduation, a completion, an entry; a
    // drop-out stays a drop-out. Typed names with 卒業 or 大学院 in them.
    RowsCase{"aheadOfToday", 2004, "5", "5",
             {{"大学", "0", "4", "0", "0"}, {"東京大学大学院", "1", "2", "0", "0"},
              {"卒業大学", "0", "4", "0", "1"}},
             "2011\t平成23\t4\t小学校 入学\n2017\t平成29\t3\t小学校 卒業\n"
             "2017\t平成29\t4\t中学校 入学\n2020\t令和2\t3\t中学校 卒業\n"
             "2020\t令和2\t4\t大学 入学\n2024\t令和6\t3\t大学 卒業\n"
             "2025\t令和7\t4\t東京大学大学院 入学\n2027\t令和9\t3\t東京大学大学院 修了見込み\n"
             "2027\t令和9\t4\t卒業大学 入学予定\n2028\t令和10\t3\t卒業大学 中退\n"}),
    [](const testing::TestParamInfo<RowsCase>& info) { return info.param.name; });
// clang-format on

// After 戻る the history comes from a step file, where a line feed typed into
// a name has become a line end of its own; the rows must not change.
TEST(ResumeRowsFromStepFile, NameSplitOverLinesIsJoinedAgain) {
    const std::string read =
        "1985（昭和60）年5月10日生まれのあなたの\r\n"
        "A\r\nB卒業は2004（平成16）年3月\r\n";
    EXPECT_EQ(ResumeRowsText(read, {2026, 12, 9}), "2004\t平成16\t3\tA B 卒業\n");
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
        EXPECT_EQ(ResumeRowsText(std::string(line) + "\r\n", {2026, 12, 9}), "") << line;
    }
}

}  // namespace
}  // namespace vesmira
