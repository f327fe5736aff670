#include <gtest/gtest.h>

#include <climits>

#include "Calendar.h"
#include "Clock.h"

namespace vesmira {
namespace {

struct EraCase {
    const char* era;
    int32_t eraYear;
    int32_t western;
};

class EraToWesternTest : public testing::TestWithParam<EraCase> {};

TEST_P(EraToWesternTest, ConvertsOrMarksInvalid) {
    EXPECT_EQ(EraToWestern(GetParam().era, GetParam().eraYear), GetParam().western);
}

INSTANTIATE_TEST_SUITE_P(
    EraYears, EraToWesternTest,
    testing::Values(EraCase{"昭和", 1, 1926}, EraCase{"昭和", 60, 1985}, EraCase{"昭和", 64, 1989},
                    EraCase{"昭和", 65, kInvalidYear}, EraCase{"昭和", 0, kInvalidYear},
                    EraCase{"昭和", -5, kInvalidYear}, EraCase{"平成", 1, 1989},
                    EraCase{"平成", 31, 2019}, EraCase{"平成", 40, 2028},
                    EraCase{"平成", 0, kInvalidYear},
                    // Every name other than 昭和 is taken as Heisei.
                    EraCase{"令和", 1, 1989}, EraCase{"", 2, 1990}, EraCase{"showa", 1, 1989},
                    // Wraps around instead of overflowing.
                    EraCase{"平成", INT32_MAX, INT32_MIN + 1987}));

struct LabelCase {
    int32_t year;
    const char* label;
};

class EraLabelTest : public testing::TestWithParam<LabelCase> {};

TEST_P(EraLabelTest, LabelsYear) {
    EXPECT_EQ(EraLabel(GetParam().year), GetParam().label);
}

INSTANTIATE_TEST_SUITE_P(
    Years, EraLabelTest,
    testing::Values(LabelCase{1939, "（平成-49）"}, LabelCase{1940, "（昭和15）"},
                    LabelCase{1985, "（昭和60）"}, LabelCase{1988, "（昭和63）"},
                    LabelCase{1989, "（昭和64、平成元）"}, LabelCase{1990, "（平成2）"},
                    LabelCase{2019, "（平成31）"}, LabelCase{2020, "（平成32）"},
                    LabelCase{9999, "（平成8011）"}, LabelCase{0, "（平成-1988）"},
                    LabelCase{INT32_MIN, "（平成2147481660）"}));

struct MonthEraCase {
    int32_t year, month;
    const char* era;
};

class EraOfMonthTest : public testing::TestWithParam<MonthEraCase> {};

TEST_P(EraOfMonthTest, NamesTheEraOfTheMonthsFirstDay) {
    EXPECT_EQ(EraOfMonth(GetParam().year, GetParam().month), GetParam().era);
}

INSTANTIATE_TEST_SUITE_P(
    Months, EraOfMonthTest,
    testing::Values(MonthEraCase{1867, 12, ""}, MonthEraCase{1868, 1, "明治元"},
                    MonthEraCase{1912, 7, "明治45"}, MonthEraCase{1912, 8, "大正元"},
                    MonthEraCase{1926, 12, "大正15"}, MonthEraCase{1927, 1, "昭和2"},
                    MonthEraCase{1939, 4, "昭和14"}, MonthEraCase{1988, 3, "昭和63"},
                    MonthEraCase{1989, 1, "昭和64"}, MonthEraCase{1989, 3, "平成元"},
                    MonthEraCase{2019, 4, "平成31"}, MonthEraCase{2019, 5, "令和元"},
                    MonthEraCase{2020, 3, "令和2"}, MonthEraCase{2023, 4, "令和5"},
                    MonthEraCase{INT32_MAX, 3, "令和2147481629"}, MonthEraCase{INT32_MIN, 3, ""}));

TEST(IsLeapFebruaryTest, OnlyFebruaryOfGregorianLeapYears) {
    const struct {
        int32_t year, month, extra;
    } cases[] = {{2000, 2, 1}, {1900, 2, 0}, {2100, 2, 0}, {1996, 2, 1},
                 {1996, 3, 0}, {1997, 2, 0}, {2024, 1, 0}, {-4, 2, 1}};
    for (const auto& c : cases) {
        EXPECT_EQ(IsLeapFebruary(c.year, c.month), c.extra) << c.year << "-" << c.month;
    }
}

TEST(SchoolYearShiftTest, JanuaryToFirstAprilJoinThePreviousYear) {
    const struct {
        int32_t month, day, shift;
    } cases[] = {{1, 1, -1}, {2, 10, -1}, {3, 31, -1}, {4, 1, -1},
                 {4, 2, 0},  {5, 10, 0},  {12, 31, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(SchoolYearShift(c.month, c.day), c.shift) << c.month << "/" << c.day;
    }
}

class AgeTextTest : public testing::Test {
  protected:
    void TearDown() override { FixToday(std::nullopt); }
};

TEST_F(AgeTextTest, GoesUpOnTheBirthdayItself) {
    const struct {
        CivilDate today;
        int32_t year, month, day;
        const char* text;
    } cases[] = {
        {{2026, 5, 10}, 1985, 5, 10, "現在41歳です。"},  // the birthday
        {{2026, 5, 9}, 1985, 5, 10, "現在40歳です。"},   // the day before
        {{2026, 4, 30}, 1985, 5, 1, "現在40歳です。"},   // the month before
        {{2026, 12, 7}, 1985, 2, 10, "現在41歳です。"},  // later in the year
        {{2025, 2, 28}, 2000, 2, 29, "現在24歳です。"},  // 29 February, common year
        {{2025, 3, 1}, 2000, 2, 29, "現在25歳です。"},
        {{2026, 12, 7}, 2026, 12, 8, "現在-1歳です。"},  // born tomorrow
        {{2026, 12, 7}, 2030, 1, 1, "現在-4歳です。"},
    };
    for (const auto& c : cases) {
        FixToday(c.today);
        EXPECT_EQ(AgeText(c.year, c.month, c.day), c.text)
            << c.year << "-" << c.month << "-" << c.day;
    }
}

}  // namespace
}  // namespace vesmira
