#pragma once

// The history as rows of a 履歴書's 学歴 table, for pasting into a
// spreadsheet: one row per school entry, graduation or drop-out.

#include <string>
#include <string_view>

#include "Clock.h"

namespace vesmira {

// The history (or the final message that ends with the age sentence) as
// rows, one per school entry, graduation or drop-out, each ended by a line
// feed: tab-separated columns 年 (Western year as in the line), 和暦 (the era
// the month really falls in, EraOfMonth: "平成4", "令和5", "平成元"; not the
// wizard's own label, which knows no era after 平成), 月 ("4" for an entry,
// "3" for a leaving) and 学歴 (school and event: "小学校 入学", "大学 中退").
// The end of a graduate school (a name holding 大学院) is 修了, of any other
// school 卒業. What lies ahead of today is what a 履歴書 writes for it: a
// leaving in a March not yet over is 卒業見込み (修了見込み), an entry in an
// April not yet begun 入学予定; a drop-out stays 中退.
// Lines are read from their end, so a school name may hold anything, "入学は"
// included; a name that was split over lines (a line break typed into it,
// made CR LF by a step file) is joined again with a blank, and a tab or line
// break inside it becomes a blank, so it cannot shift or split the columns.
// The birth line and anything that is not an event line of the wizard's own
// form give no row.
std::string ResumeRowsText(std::string_view history, const CivilDate& today);

}  // namespace vesmira
