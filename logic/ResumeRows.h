#pragma once

// The history as rows of a 履歴書's 学歴 table, for pasting into a
// spreadsheet: one row per school entry, graduation or drop-out.

#include <string>
#include <string_view>
#include <vector>

namespace vesmira {

struct ResumeRow {
    std::string year;   // Western year as in the line: "1992"
    std::string era;    // era year as in the label: "平成4", "昭和63"
    std::string month;  // "4" for an entry, "3" for a leaving
    std::string entry;  // school and event: "小学校 入学", "大学 中退"
};

// The rows of a history text (or of the final message that ends with the age
// sentence). Lines are read from their end, so a school name may hold
// anything, "入学は" included; a name that was split over lines (a line break
// typed into it, made CR LF by a step file) is joined again with a blank. The
// birth line and anything that is not an event line of the wizard's own form
// give no row. The year 1989 reads 平成元: its Marches and Aprils are Heisei.
std::vector<ResumeRow> ResumeRows(std::string_view history);

// The rows as tab-separated text, columns 年, 和暦, 月, 学歴, each row ended by
// a line feed. Tabs and line breaks inside a school name become blanks, so
// they cannot shift or split the columns.
std::string ResumeRowsText(std::string_view history);

}  // namespace vesmira
