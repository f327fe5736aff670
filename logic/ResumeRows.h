#pragma once

// The history as rows of a 履歴書's 学歴 table, for pasting into a
// spreadsheet: one row per school entry, graduation or drop-out.

#include <string>
#include <string_view>

namespace vesmira {

// The history (or the final message that ends with the age sentence) as
// rows, one per school entry, graduation or drop-out, each ended by a line
// feed: tab-separated columns 年 (Western year as in the line), 和暦 (the era
// year as in the label: "平成4"), 月 ("4" for an entry, "3" for a leaving) and
// 学歴 (school and event: "小学校 入学", "大学 中退").
// Lines are read from their end, so a school name may hold anything, "入学は"
// included; a name that was split over lines (a line break typed into it,
// made CR LF by a step file) is joined again with a blank, and a tab or line
// break inside it becomes a blank, so it cannot shift or split the columns.
// The birth line and anything that is not an event line of the wizard's own
// form give no row. The year 1989 reads 平成元: its Marches and Aprils are
// Heisei.
std::string ResumeRowsText(std::string_view history);

}  // namespace vesmira
