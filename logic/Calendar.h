#pragma once

// The date rules of the wizard: Japanese era years, month lengths, the April
// school year and the age. Pure functions; only AgeText reads the clock.

#include <array>
#include <cstdint>
#include <string>

namespace vesmira {

// Lengths of January..December in a common year, indexed by month number
// 1..12 (index 0 is unused). Callers check the month range first.
inline constexpr std::array<int32_t, 13> DaysInMonth{0,  31, 28, 31, 30, 31, 30,
                                                     31, 31, 30, 31, 30, 31};

// The invalid-year marker: a year that birth-date validation rejects as
// unsupported, returned for era years out of range.
inline constexpr int32_t kInvalidYear = 10000;

// Western year of an era year. "昭和" 1..64 gives 1926..1989; every other era
// name counts as Heisei, 1 and up without end ("平成" 31 gives 2019). Out of
// range gives kInvalidYear. Wraps around at 32 bits.
int32_t EraToWestern(const std::string& eraName, int32_t eraYear);

// Era label with full-width brackets: 1940..1988 "（昭和15）".."（昭和63）",
// 1989 "（昭和64、平成元）", any other year Heisei: 1990 "（平成2）",
// 1939 "（平成-49）".
std::string EraLabel(int32_t year);

// The era a month of the Western calendar really falls in, as a 履歴書 writes
// it, counted from the month's first day: "明治" from 1868, "大正" from 30 July
// 1912, "昭和" from 25 December 1926, "平成" from 8 January 1989, "令和" from
// 1 May 2019, with "元" for an era's first year. March 1989 is "平成元", April
// 2019 "平成31", March 2020 "令和2"; months before 1868 have no era (empty).
// Unlike EraLabel, which stays the wizard's own text, this ends 平成.
std::string EraOfMonth(int32_t year, int32_t month);

// 1 when month is February of a Gregorian leap year (2000, not 1900), else 0.
int32_t IsLeapFebruary(int32_t year, int32_t month);

// -1 for births from 1 January to 1 April (they start school with the previous
// calendar year's children), 0 from 2 April on.
int32_t SchoolYearShift(int32_t month, int32_t day);

// "現在N歳です。" with the age as of Today(); the age goes up on the birthday
// itself. A birth date after today gives zero or a negative age as computed.
std::string AgeText(int32_t birthYear, int32_t birthMonth, int32_t birthDay);

}  // namespace vesmira
