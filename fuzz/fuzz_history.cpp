// The wizard's road from era year to final message on arbitrary years and
// field texts. The input is the fields one per line: era name (empty for a
// Western year), year, month, day, then per school its name, waiting years,
// course length, repeated years and drop-out year of study.

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "Calendar.h"
#include "Clock.h"
#include "Failure.h"
#include "FuzzCheck.h"
#include "History.h"
#include "InputChecks.h"

namespace {

using namespace vesmira;

constexpr CivilDate kToday{2025, 6, 15};
constexpr size_t kMaxSchools = 32;

std::vector<std::string> SplitFields(std::string_view input) {
    std::vector<std::string> fields;
    for (;;) {
        const size_t lf = input.find('\n');
        fields.emplace_back(input.substr(0, lf));
        if (lf == std::string_view::npos) {
            return fields;
        }
        input.remove_prefix(lf + 1);
    }
}

// Integer text as typed, any other bytes as a raw 32-bit pattern, so that
// every year is reachable from both readable and binary inputs.
int32_t NumberOf(const std::string& field) {
    if (const auto value = TryToInteger(field)) {
        return *value;
    }
    uint32_t pattern = 0;
    for (const char c : field) {
        pattern = pattern << 8 | static_cast<unsigned char>(c);
    }
    return static_cast<int32_t>(pattern);
}

int32_t Wrapped(int64_t sum) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(sum)));
}

size_t LineCount(std::string_view text) {
    size_t count = 0;
    for (size_t at = text.find("\r\n"); at != std::string_view::npos;
         at = text.find("\r\n", at + 2)) {
        ++count;
    }
    return count;
}

// The era label has to name the era year the Western year came from.
void CheckLabelNamesEraYear(const std::string& era, int32_t eraYear, int32_t western) {
    const std::string label = EraLabel(western);
    if (western == 1989) {
        FUZZ_CHECK(label == "（昭和64、平成元）");
    } else if (era != "昭和") {
        FUZZ_CHECK(label == "（平成" + std::to_string(eraYear) + "）");
    } else if (western >= 1940) {
        // Earlier Showa years lie before the supported dates and carry no Showa label.
        FUZZ_CHECK(label == "（昭和" + std::to_string(eraYear) + "）");
    }
}

// What validation must answer: the text it fails on, or its result. Uses the
// standard calendar for whether a date exists.
struct Verdict {
    std::optional<std::string> failsOn;
    int32_t result = 0;
};

Verdict ExpectedValidation(int32_t year, const std::string& monthText, const std::string& dayText) {
    if (year < 1940 || year >= 10000) {
        return {std::nullopt, kUnsupportedYear};
    }
    const std::optional<int32_t> month = TryToInteger(monthText);
    const std::optional<int32_t> day = TryToInteger(dayText);
    if (year == 1940) {
        if (!month) {
            return {monthText, 0};
        }
        if (*month < 4) {
            return {std::nullopt, kUnsupportedYear};
        }
        if (*month == 4 && !day) {
            return {dayText, 0};
        }
        if (*month == 4 && *day == 1) {
            return {std::nullopt, kUnsupportedYear};
        }
    }
    if (!day) {
        return {dayText, 0};
    }
    if (*day <= 0) {
        return {std::nullopt, kDateDoesNotExist};
    }
    if (!month) {
        return {monthText, 0};
    }
    if (*month <= 0 || *month >= 13 || *day > 31) {
        return {std::nullopt, kDateDoesNotExist};
    }
    const std::chrono::year_month_day date{std::chrono::year(year),
                                           std::chrono::month(static_cast<unsigned>(*month)),
                                           std::chrono::day(static_cast<unsigned>(*day))};
    return {std::nullopt, date.ok() ? 0 : kDateDoesNotExist};
}

// Runs one school step as the school-step window does and checks what changed.
void AddOneSchool(const std::string& name, const std::string& wait, const std::string& course,
                  const std::string& repeated, const std::string& dropOut) {
    const bool leftEarly = !dropOut.empty() && dropOut != "0";
    const std::string& study = leftEarly ? dropOut : course;
    std::optional<std::string> failsOn;
    for (const std::string* text : {&wait, &study, &repeated}) {
        if (!TryToInteger(*text)) {
            failsOn = *text;
            break;
        }
    }

    const std::string before = Wizard.HistoryText;
    const int32_t cursor = Wizard.CursorYear;
    try {
        const SchoolLeaving leaving = AddSchool(name, wait, course, repeated, dropOut);
        FUZZ_CHECK(!failsOn);
        const int32_t entry = Wrapped(int64_t{cursor} + ToInteger(wait));
        FUZZ_CHECK(leaving.leaveYear ==
                   Wrapped(int64_t{entry} + ToInteger(study) + ToInteger(repeated)));
        FUZZ_CHECK(leaving.leavePhrase == (leftEarly ? "中退後" : "卒業後"));

        const std::string& after = Wizard.HistoryText;
        FUZZ_CHECK(after.starts_with(before));
        const std::string_view added = std::string_view(after).substr(before.size());
        FUZZ_CHECK(LineCount(added) == 2 && added.ends_with("\r\n"));
        FUZZ_CHECK(added.starts_with(name + "入学は" + std::to_string(entry) + EraLabel(entry) +
                                     "年4月\r\n"));
        FUZZ_CHECK(added.ends_with(name + (leftEarly ? "中退は" : "卒業は") +
                                   std::to_string(leaving.leaveYear) + EraLabel(leaving.leaveYear) +
                                   "年3月\r\n"));
        FUZZ_CHECK(Wizard.CursorYear == cursor);
        Wizard.CursorYear = leaving.leaveYear;
    } catch (const ConversionFailure& failure) {
        FUZZ_CHECK(failsOn && failure.text() == *failsOn);
        FUZZ_CHECK(failure.message() == "'" + *failsOn + "' は整数ではありません");
        FUZZ_CHECK(Wizard.HistoryText == before && Wizard.CursorYear == cursor);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FixToday(kToday);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> fields =
        SplitFields(std::string_view(reinterpret_cast<const char*>(data), size));
    fields.resize(std::max<size_t>(fields.size(), 4));
    // Copies: the school fields below may grow the vector.
    const std::string era = fields[0];
    const std::string monthText = fields[2];
    const std::string dayText = fields[3];
    ResetWizard();

    const int32_t eraYear = NumberOf(fields[1]);
    const int32_t western = EraToWestern(era, eraYear);
    if (western != kInvalidYear) {
        CheckLabelNamesEraYear(era, eraYear, western);
    }
    const int32_t birthYear = era.empty() ? eraYear : western;

    // Sentences for any year and date, with no validation in front of them.
    EraLabel(birthYear);
    AgeText(birthYear, NumberOf(monthText), NumberOf(dayText));

    const Verdict expected = ExpectedValidation(birthYear, monthText, dayText);
    int32_t result = -1;
    try {
        result = ValidateBirthDate(birthYear, monthText, dayText);
        FUZZ_CHECK(!expected.failsOn && result == expected.result);
    } catch (const ConversionFailure& failure) {
        FUZZ_CHECK(expected.failsOn && failure.text() == *expected.failsOn);
        FUZZ_CHECK(failure.message() == "'" + *expected.failsOn + "' は整数ではありません");
    }
    if (result != 0) {
        return 0;
    }

    const int32_t month = ToInteger(monthText);
    const int32_t day = ToInteger(dayText);
    const bool withPreviousYear = std::tie(month, day) <= std::make_tuple(4, 1);
    const int32_t juniorHighEnd = BeginHistory(birthYear, monthText, dayText);
    FUZZ_CHECK(juniorHighEnd == birthYear + 16 - (withPreviousYear ? 1 : 0));
    FUZZ_CHECK(LineCount(Wizard.HistoryText) == 5);
    FUZZ_CHECK(Wizard.HistoryText.starts_with(std::to_string(birthYear) + EraLabel(birthYear) +
                                              "年" + monthText + "月" + dayText + "日"));
    FUZZ_CHECK(Wizard.HistoryText.ends_with("中学校卒業は" + std::to_string(juniorHighEnd) +
                                            EraLabel(juniorHighEnd) + "年3月\r\n"));
    Wizard.BirthYear = birthYear;
    Wizard.CursorYear = juniorHighEnd;

    for (size_t at = 4, schools = 0; at < fields.size() && schools < kMaxSchools;
         at += 5, ++schools) {
        fields.resize(std::max(fields.size(), at + 5));
        AddOneSchool(fields[at], fields[at + 1], fields[at + 2], fields[at + 3], fields[at + 4]);
    }

    const bool birthdayPassed = std::tie(month, day) <= std::tie(kToday.month, kToday.day);
    const int32_t age = kToday.year - birthYear - (birthdayPassed ? 0 : 1);
    const std::string ageText = "現在" + std::to_string(age) + "歳です。";
    FUZZ_CHECK(AgeText(birthYear, month, day) == ageText);
    FUZZ_CHECK(FinalMessage(month, day) == Wizard.HistoryText + ageText);
    return 0;
}
