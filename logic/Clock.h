#pragma once

#include <cstdint>
#include <optional>

namespace vesmira {

struct CivilDate {
    int32_t year;
    int32_t month;  // 1..12
    int32_t day;    // 1..31
};

// Today's date in the local time zone, or the date fixed by FixToday.
CivilDate Today();

// Fixes what Today() returns, so that nothing depends on the real date;
// std::nullopt returns to the system clock.
void FixToday(std::optional<CivilDate> date);

}  // namespace vesmira
