#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "Failure.h"
#include "InputChecks.h"

namespace vesmira {
namespace {

struct IntegerCase {
    const char* name;
    const char* text;
    std::optional<int32_t> value;
};

class IntegerTextTest : public testing::TestWithParam<IntegerCase> {};

TEST_P(IntegerTextTest, AcceptsExactlyTheIntegerSyntax) {
    const auto& c = GetParam();
    EXPECT_EQ(TryToInteger(c.text), c.value);
    if (c.value) {
        EXPECT_EQ(ToInteger(c.text), *c.value);
        EXPECT_EQ(CheckNumberText(c.text), 0);
    } else {
        EXPECT_THROW(ToInteger(c.text), ConversionFailure);
        EXPECT_EQ(CheckNumberText(c.text), *c.text == '\0' ? kEmptyField : kNotANumber);
    }
}

const IntegerCase kIntegerCases[] = {
    {"plain", "1985", 1985},
    {"zero", "0", 0},
    {"leadingZeros", "007", 7},
    {"leadingBlanks", "  12", 12},
    {"trailingBlank", "12 ", std::nullopt},
    {"tabIsNotABlank", "\t12", std::nullopt},
    {"plusSign", "+7", 7},
    {"minusZero", "-0", 0},
    {"negative", "-15", -15},
    {"blanksThenSign", "  -3", -3},
    {"blankAfterSign", "- 3", std::nullopt},
    {"twoSigns", "+-1", std::nullopt},
    {"dollarHex", "$1F", 31},
    {"xHex", "x1F", 31},
    {"upperXHex", "X1f", 31},
    {"zeroXHex", "0x1F", 31},
    {"zeroUpperXHex", "0X1f", 31},
    {"hexAllOnesIsMinusOne", "$FFFFFFFF", -1},
    {"hexTopBit", "$80000000", INT32_MIN},
    {"hexLeadingZerosDoNotCount", "$000000001", 1},
    {"hexTooLong", "$100000000", std::nullopt},
    {"signedHexNegates", "-$1", -1},
    {"signedHexWraps", "-$80000000", INT32_MIN},
    {"empty", "", std::nullopt},
    {"blanksOnly", "   ", std::nullopt},
    {"signOnly", "+", std::nullopt},
    {"minusOnly", "-", std::nullopt},
    {"dollarOnly", "$", std::nullopt},
    {"zeroXOnly", "0x", std::nullopt},
    {"badHexDigit", "$1G", std::nullopt},
    {"innerBlank", "1 2", std::nullopt},
    {"decimalPoint", "1.5", std::nullopt},
    {"letters", "abc", std::nullopt},
    {"fullWidthDigits", "１２", std::nullopt},
    {"maximum", "2147483647", INT32_MAX},
    {"aboveMaximum", "2147483648", std::nullopt},
    {"plusAboveMaximum", "+2147483648", std::nullopt},
    {"minimum", "-2147483648", INT32_MIN},
    {"belowMinimum", "-2147483649", std::nullopt},
    {"manyLeadingZeros", "000000000000000000002147483647", INT32_MAX},
    {"hugeNumber", "99999999999999999999999", std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Syntax, IntegerTextTest, testing::ValuesIn(kIntegerCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IntegerTextTest, EmbeddedNulIsNotInteger) {
    EXPECT_EQ(TryToInteger(std::string_view("12\0", 3)), std::nullopt);
}

TEST(ConversionFailureTest, NamesTheWholeUnchangedText) {
    using namespace std::string_literals;
    const struct {
        std::string text;
        std::string message;
    } cases[] = {{"abc", "'abc' は整数ではありません"},
                 {"", "'' は整数ではありません"},
                 {" 1 ", "' 1 ' は整数ではありません"},
                 {"１２", "'１２' は整数ではありません"},
                 {"20\0"
                  "01"s,
                  "'20\0"
                  "01' は整数ではありません"s}};  // NUL kept, not cut
    for (const auto& c : cases) {
        try {
            ToInteger(c.text);
            ADD_FAILURE() << c.text;
        } catch (const ConversionFailure& failure) {
            EXPECT_EQ(failure.message(), c.message);
            EXPECT_EQ(failure.text(), c.text);
        }
    }
}

TEST(InputErrorTextTest, FixedMessages) {
    EXPECT_EQ(InputErrorText(1), "入力データに誤りがあります");
    EXPECT_EQ(InputErrorText(2), "このプログラムでサポートされていない年代です");
    EXPECT_EQ(InputErrorText(3), "数字以外の値が入力されています。");
    EXPECT_EQ(InputErrorText(4), "値が入力されていません。");
    EXPECT_EQ(InputErrorText(0), "");
    EXPECT_EQ(InputErrorText(5), "");
}

struct BirthDateCase {
    const char* name;
    int32_t year;
    const char* month;
    const char* day;
    int32_t result;  // or -1: the conversion failure below
    const char* failingText = nullptr;
};

class BirthDateTest : public testing::TestWithParam<BirthDateCase> {};

TEST_P(BirthDateTest, Validates) {
    const auto& c = GetParam();
    if (c.failingText == nullptr) {
        EXPECT_EQ(ValidateBirthDate(c.year, c.month, c.day), c.result);
        return;
    }
    try {
        ValidateBirthDate(c.year, c.month, c.day);
        ADD_FAILURE() << "no conversion failure";
    } catch (const ConversionFailure& failure) {
        EXPECT_EQ(failure.text(), c.failingText);
    }
}

const BirthDateCase kBirthDateCases[] = {
    {"workedExample", 1985, "5", "10", 0},
    {"typedWithLeadingZero", 1985, "04", "01", 0},
    {"firstAprilOf1940", 1940, "4", "1", kUnsupportedYear},
    {"secondAprilOf1940", 1940, "4", "2", 0},
    {"thirtyFirstMarchOf1940", 1940, "3", "31", kUnsupportedYear},
    {"december1940", 1940, "12", "31", 0},
    {"anyDayOf1939", 1939, "12", "31", kUnsupportedYear},
    {"leapDay2000", 2000, "2", "29", 0},
    {"leapDay2100", 2100, "2", "29", kDateDoesNotExist},
    {"leapDay1900", 1900, "2", "29", kUnsupportedYear},
    {"thirtiethFebruary", 2000, "2", "30", kDateDoesNotExist},
    {"thirtyFirstApril", 1985, "4", "31", kDateDoesNotExist},
    {"monthZero", 1985, "0", "1", kDateDoesNotExist},
    {"monthThirteen", 1985, "13", "1", kDateDoesNotExist},
    {"dayZero", 1985, "1", "0", kDateDoesNotExist},
    {"negativeDay", 1985, "1", "-1", kDateDoesNotExist},
    {"year9999", 9999, "12", "31", 0},
    {"year10000", 10000, "1", "1", kUnsupportedYear},
    {"eraOutOfRangeMarker", 10000, "5", "10", kUnsupportedYear},
    {"negativeYear", -2147481661, "1", "1", kUnsupportedYear},
    {"futureDatePasses", 2099, "1", "1", 0},
    // Texts that are not numbers are only looked at when a test needs them.
    {"1939IgnoresBadTexts", 1939, "x", "y", kUnsupportedYear},
    {"10000IgnoresBadTexts", 10000, "x", "y", kUnsupportedYear},
    {"1940ConvertsMonthFirst", 1940, "x", "y", -1, "x"},
    {"1940MarchIgnoresDay", 1940, "3", "y", kUnsupportedYear},
    {"1940AprilNeedsDay", 1940, "4", "y", -1, "y"},
    {"otherYearsConvertDayFirst", 1985, "x", "y", -1, "y"},
    {"badMonthAfterGoodDay", 1985, "x", "10", -1, "x"},
    {"emptyDay", 1985, "5", "", -1, ""},
    {"dayZeroDecidedBeforeBadMonth", 1985, "x", "0", kDateDoesNotExist},
};

INSTANTIATE_TEST_SUITE_P(Dates, BirthDateTest, testing::ValuesIn(kBirthDateCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vesmira
