#include "Calendar.h"

#include "Clock.h"
#include "Wrap.h"

namespace vesmira {

int32_t EraToWestern(const std::string& eraName, int32_t eraYear) {
    if (eraName == "昭和") {
        return eraYear >= 1 && eraYear <= 64 ? WrapAdd(eraYear, 1925) : kInvalidYear;
    }
    return eraYear >= 1 ? WrapAdd(eraYear, 1988) : kInvalidYear;
}

std::string EraLabel(int32_t year) {
    if (year >= 1940 && year <= 1988) {
        return "（昭和" + std::to_string(year - 1925) + "）";
    }
    if (year == 1989) {
        return "（昭和64、平成元）";
    }
    return "（平成" + std::to_string(WrapSub(year, 1988)) + "）";
}

namespace {

struct EraStart {
    const char* name;
    int32_t year, month, day;
};

// Newest first. Meiji counts from 1 January 1868, the day its first year was
// dated back to.
constexpr EraStart kEras[] = {{"令和", 2019, 5, 1},
                              {"平成", 1989, 1, 8},
                              {"昭和", 1926, 12, 25},
                              {"大正", 1912, 7, 30},
                              {"明治", 1868, 1, 1}};

}  // namespace

std::string EraOfMonth(int32_t year, int32_t month) {
    for (const EraStart& era : kEras) {
        // The month's first day lies on or after the era's first day.
        if (year > era.year || (year == era.year && month > era.month) ||
            (year == era.year && month == era.month && era.day == 1)) {
            const int32_t eraYear = year - era.year + 1;  // year > 1867: no overflow
            return era.name + (eraYear == 1 ? std::string("元") : std::to_string(eraYear));
        }
    }
    return {};
}

int32_t IsLeapFebruary(int32_t year, int32_t month) {
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 1 : 0;
}

int32_t SchoolYearShift(int32_t month, int32_t day) {
    return (month >= 1 && month <= 3) || (month == 4 && day == 1) ? -1 : 0;
}

std::string AgeText(int32_t birthYear, int32_t birthMonth, int32_t birthDay) {
    const CivilDate today = Today();
    int32_t age = WrapSub(today.year, birthYear);
    if (birthMonth > today.month || (birthMonth == today.month && today.day < birthDay)) {
        age = WrapSub(age, 1);
    }
    return "現在" + std::to_string(age) + "歳です。";
}

}  // namespace vesmira
