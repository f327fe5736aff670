#include "ResumeRows.h"

#include <array>
#include <charconv>
#include <optional>

#include "Calendar.h"
#include "History.h"

namespace vesmira {

namespace {

constexpr std::string_view kLabelOpen = "（";
constexpr std::string_view kLabelClose = "）";
constexpr std::string_view kGraduateSchool = "大学院";
constexpr std::string_view kAhead = "見込み";  // after a leaving not yet reached
constexpr std::string_view kPlanned = "予定";  // after an entry not yet reached

enum class Event { kEntry, kGraduation, kDropOut };

struct EventForm {
    std::string_view word;    // between the school name and the year
    std::string_view suffix;  // after the era label
    Event event;
    int32_t month;
};

constexpr std::array<EventForm, 3> kEventForms{{
    {kEnteredWord, kEntrySuffix, Event::kEntry, 4},
    {kGraduatedWord, kLeavingSuffix, Event::kGraduation, 3},
    {kDroppedOutWord, kLeavingSuffix, Event::kDropOut, 3},
}};

// Whether the month has not ended yet (a leaving) or not begun (an entry).
bool IsAhead(int32_t year, const EventForm& form, const CivilDate& today) {
    const int32_t lastMonthBehind = form.event == Event::kEntry ? form.month - 1 : form.month;
    return today.year < year || (today.year == year && today.month <= lastMonthBehind);
}

// The 学歴 column's event word, as a 履歴書 writes it.
std::string EventText(std::string_view school, int32_t year, const EventForm& form,
                      const CivilDate& today) {
    const bool ahead = IsAhead(year, form, today);
    switch (form.event) {
        case Event::kEntry:
            return ahead ? "入学" + std::string(kPlanned) : "入学";
        case Event::kGraduation: {
            const std::string word =
                school.find(kGraduateSchool) != std::string_view::npos ? "修了" : "卒業";
            return ahead ? word + std::string(kAhead) : word;
        }
        case Event::kDropOut:
            break;
    }
    return "中退";
}

// Blanks for what would break a row or a column: CR LF, CR, LF and tab.
std::string CellText(std::string_view text) {
    std::string cell;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;  // the LF makes the blank
        }
        cell += c == '\t' || c == '\r' || c == '\n' ? ' ' : c;
    }
    return cell;
}

// "<name><word><year><EraLabel(year)><suffix>", read from the end, as a row.
std::optional<std::string> ParseEventLine(std::string_view line, const CivilDate& today) {
    for (const EventForm& form : kEventForms) {
        std::string_view rest = line;
        if (!rest.ends_with(form.suffix)) {
            continue;
        }
        rest.remove_suffix(form.suffix.size());
        const size_t open = rest.rfind(kLabelOpen);
        if (open == std::string_view::npos || !rest.ends_with(kLabelClose)) {
            continue;
        }
        const std::string_view label = rest.substr(open);
        rest = rest.substr(0, open);
        size_t digits = rest.find_last_not_of("0123456789");
        digits = digits == std::string_view::npos ? 0 : digits + 1;
        if (digits > 0 && rest[digits - 1] == '-') {
            --digits;
        }
        const std::string_view yearText = rest.substr(digits);
        int32_t year = 0;
        const auto [end, error] =
            std::from_chars(yearText.data(), yearText.data() + yearText.size(), year);
        rest = rest.substr(0, digits);
        if (yearText.empty() || error != std::errc{} || end != yearText.data() + yearText.size() ||
            EraLabel(year) != label || !rest.ends_with(form.word)) {
            continue;
        }
        rest.remove_suffix(form.word.size());
        return std::string(yearText) + '\t' + EraOfMonth(year, form.month) + '\t' +
               std::to_string(form.month) + '\t' + CellText(rest) + ' ' +
               EventText(rest, year, form, today) + '\n';
    }
    return std::nullopt;
}

bool IsBirthLine(std::string_view line) {
    return line.ends_with(kBirthSuffix);
}

}  // namespace

std::string ResumeRowsText(std::string_view history, const CivilDate& today) {
    std::string rows;
    std::string pending;  // lines of a school name that a line break split
    while (!history.empty()) {
        const size_t end = history.find(kLineEnd);
        const std::string_view line = history.substr(0, end);
        history.remove_prefix(end == std::string_view::npos ? history.size()
                                                            : end + std::size(kLineEnd) - 1);
        if (pending.empty() && IsBirthLine(line)) {
            continue;
        }
        pending += line;
        if (std::optional<std::string> row = ParseEventLine(pending, today)) {
            rows += *row;
            pending.clear();
        } else {
            pending += kLineEnd;
        }
    }
    return rows;
}

}  // namespace vesmira
