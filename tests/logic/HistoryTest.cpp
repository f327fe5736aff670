#include <gtest/gtest.h>

#include <algorithm>

#include "Clock.h"
#include "Failure.h"
#include "History.h"

namespace vesmira {
namespace {

class HistoryTest : public testing::Test {
  protected:
    void SetUp() override { ResetWizard(); }
    void TearDown() override { FixToday(std::nullopt); }
};

const char kAfterBirthStep[] =
    "1985（昭和60）年5月10日生まれのあなたの\r\n"
    "小学校入学は1992（平成4）年4月\r\n"
    "小学校卒業は1998（平成10）年3月\r\n"
    "中学校入学は1998（平成10）年4月\r\n"
    "中学校卒業は2001（平成13）年3月\r\n";

TEST_F(HistoryTest, WorkedExampleLineForLine) {
    Wizard.BirthYear = 1985;
    Wizard.CursorYear = BeginHistory(1985, "5", "10");
    EXPECT_EQ(Wizard.CursorYear, 2001);
    EXPECT_EQ(Wizard.HistoryText, kAfterBirthStep);

    const SchoolLeaving high = AddSchool("高等学校", "0", "3", "0", "0");
    EXPECT_EQ(high.leaveYear, 2004);
    EXPECT_EQ(high.leavePhrase, "卒業後");
    EXPECT_EQ(Wizard.CursorYear, 2001) << "AddSchool leaves the cursor to the caller";

    Wizard.CursorYear = high.leaveYear;
    const SchoolLeaving university = AddSchool("大学", "1", "4", "0", "0");
    EXPECT_EQ(university.leaveYear, 2009);
    EXPECT_EQ(Wizard.HistoryText, std::string(kAfterBirthStep) +
                                      "高等学校入学は2001（平成13）年4月\r\n"
                                      "高等学校卒業は2004（平成16）年3月\r\n"
                                      "大学入学は2005（平成17）年4月\r\n"
                                      "大学卒業は2009（平成21）年3月\r\n");

    FixToday(CivilDate{2026, 12, 7});
    EXPECT_EQ(FinalMessage(5, 10), Wizard.HistoryText + "現在41歳です。");
}

TEST_F(HistoryTest, BeginHistoryDatesTheFirstSchoolsByTheSchoolYear) {
    const struct {
        int32_t year;
        const char *month, *day;
        const char* elementaryEntry;  // second line
        const char* juniorHighEnd;    // fifth line
        int32_t returned;
    } cases[] = {
        {1985, "2", "10", "小学校入学は1991（平成3）年4月", "中学校卒業は2000（平成12）年3月",
         2000},
        {1985, "4", "1", "小学校入学は1991（平成3）年4月", "中学校卒業は2000（平成12）年3月", 2000},
        {1985, "4", "2", "小学校入学は1992（平成4）年4月", "中学校卒業は2001（平成13）年3月", 2001},
        {1988, "4", "2", "小学校入学は1995（平成7）年4月", "中学校卒業は2004（平成16）年3月", 2004},
        {1982, "1", "1", "小学校入学は1988（昭和63）年4月", "中学校卒業は1997（平成9）年3月", 1997},
        {1982, "4", "2", "小学校入学は1989（昭和64、平成元）年4月",
         "中学校卒業は1998（平成10）年3月", 1998},
        {1940, "4", "2", "小学校入学は1947（昭和22）年4月", "中学校卒業は1956（昭和31）年3月",
         1956},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BeginHistory(c.year, c.month, c.day), c.returned) << c.year << c.month << c.day;
        const std::string& h = Wizard.HistoryText;
        EXPECT_NE(h.find(std::string("\r\n") + c.elementaryEntry + "\r\n"), std::string::npos) << h;
        EXPECT_TRUE(h.ends_with(std::string(c.juniorHighEnd) + "\r\n")) << h;
    }
}

TEST_F(HistoryTest, BirthLineKeepsTheTypedTextsAndRepeatedPressesReplace) {
    BeginHistory(1985, "5", "10");
    BeginHistory(1985, "05", "010");
    EXPECT_TRUE(Wizard.HistoryText.starts_with("1985（昭和60）年05月010日生まれのあなたの\r\n"));
    EXPECT_EQ(std::count(Wizard.HistoryText.begin(), Wizard.HistoryText.end(), '\n'), 5);
}

TEST_F(HistoryTest, AddSchoolCases) {
    const struct {
        const char* name;
        const char *school, *wait, *course, *repeated, *dropOut;
        int32_t cursor;
        const char* lines;
        int32_t leaveYear;
        const char* phrase;
    } cases[] = {
        {"dropOutInSecondYearWithOneRepeated", "大学", "0", "4", "1", "2", 2001,
         "大学入学は2001（平成13）年4月\r\n大学中退は2004（平成16）年3月\r\n", 2004, "中退後"},
        {"emptyDropOutMeansGraduation", "大学", "0", "4", "0", "", 2001,
         "大学入学は2001（平成13）年4月\r\n大学卒業は2005（平成17）年3月\r\n", 2005, "卒業後"},
        {"dropOutComparedAsText", "大学", "0", "4", "0", "00", 2001,
         "大学入学は2001（平成13）年4月\r\n大学中退は2001（平成13）年3月\r\n", 2001, "中退後"},
        {"unusedCourseTextMayBeAnything", "大学", "0", "abc", "0", "1", 2001,
         "大学入学は2001（平成13）年4月\r\n大学中退は2002（平成14）年3月\r\n", 2002, "中退後"},
        {"unusedDropOutTextNeverConverted", "大学", "0", "4", "0", "0", 2001,
         "大学入学は2001（平成13）年4月\r\n大学卒業は2005（平成17）年3月\r\n", 2005, "卒業後"},
        {"typedNameUsedVerbatim", "ヴェスト美術アカデミー", "2", "1", "0", "0", 1986,
         "ヴェスト美術アカデミー入学は1988（昭和63）年4月\r\n"
         "ヴェスト美術アカデミー卒業は1989（昭和64、平成元）年3月\r\n",
         1989, "卒業後"},
        {"courseZeroGraduatesBeforeEntry", "専門学校", "0", "0", "0", "0", 2001,
         "専門学校入学は2001（平成13）年4月\r\n専門学校卒業は2001（平成13）年3月\r\n", 2001,
         "卒業後"},
        {"negativeWaitGoesBack", "高等学校", "-70", "3", "0", "0", 2001,
         "高等学校入学は1931（平成-57）年4月\r\n高等学校卒業は1934（平成-54）年3月\r\n", 1934,
         "卒業後"},
        {"sumsWrapAround", "大学", "2147483647", "1", "0", "0", 2001,
         "大学入学は-2147481648（平成-2147483636）年4月\r\n"
         "大学卒業は-2147481647（平成-2147483635）年3月\r\n",
         -2147481647, "卒業後"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResetWizard();
        Wizard.HistoryText = "前\r\n";
        Wizard.CursorYear = c.cursor;
        const SchoolLeaving leaving = AddSchool(c.school, c.wait, c.course, c.repeated, c.dropOut);
        EXPECT_EQ(Wizard.HistoryText, std::string("前\r\n") + c.lines);
        EXPECT_EQ(leaving.leaveYear, c.leaveYear);
        EXPECT_EQ(leaving.leavePhrase, c.phrase);
        EXPECT_EQ(Wizard.CursorYear, c.cursor);
    }
}

TEST_F(HistoryTest, FailedConversionLeavesTheHistoryUnchanged) {
    const struct {
        const char *wait, *course, *repeated, *dropOut, *named;
    } cases[] = {
        {"x", "y", "z", "0", "x"},  // waiting years first
        {"0", "y", "z", "0", "y"},  // then the course length
        {"0", "4", "z", "0", "z"},  // then the repeated years
        {"0", "4", "z", "w", "w"},  // the drop-out year instead of the course
        {"0", "4", "", "0", ""},
    };
    for (const auto& c : cases) {
        Wizard.HistoryText = kAfterBirthStep;
        Wizard.CursorYear = 2001;
        try {
            AddSchool("大学", c.wait, c.course, c.repeated, c.dropOut);
            ADD_FAILURE() << "no failure for " << c.named;
        } catch (const ConversionFailure& failure) {
            EXPECT_EQ(failure.text(), c.named);
        }
        EXPECT_EQ(Wizard.HistoryText, kAfterBirthStep);
        EXPECT_EQ(Wizard.CursorYear, 2001);
    }
}

TEST_F(HistoryTest, FinalMessageEndsWithTheAgeAndNoLineBreak) {
    FixToday(CivilDate{2026, 5, 9});
    Wizard.BirthYear = 1985;
    BeginHistory(1985, "5", "10");
    EXPECT_EQ(FinalMessage(5, 10), std::string(kAfterBirthStep) + "現在40歳です。");
}

TEST_F(HistoryTest, ResetRestoresTheStartState) {
    Wizard = {1985, 2001, "x\r\n", 7};
    ResetWizard();
    EXPECT_EQ(Wizard.BirthYear, 0);
    EXPECT_EQ(Wizard.CursorYear, 0);
    EXPECT_EQ(Wizard.HistoryText, "");
    EXPECT_EQ(Wizard.StepNumber, 2);
}

}  // namespace
}  // namespace vesmira
