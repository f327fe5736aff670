#include "History.h"

#include "Calendar.h"
#include "InputChecks.h"
#include "Wrap.h"

namespace vesmira {

WizardState Wizard;

void ResetWizard() {
    Wizard = WizardState{};
}

namespace {

// "<prefix><year><era label><suffix>" CR LF
std::string YearLine(const std::string& prefix, int32_t year, const char* suffix) {
    return prefix + std::to_string(year) + EraLabel(year) + suffix + kLineEnd;
}

}  // namespace

int32_t BeginHistory(int32_t birthYear, const std::string& monthText, const std::string& dayText) {
    const int32_t cohort =
        WrapAdd(birthYear, SchoolYearShift(ToInteger(monthText), ToInteger(dayText)));
    Wizard.HistoryText = std::to_string(birthYear) + EraLabel(birthYear) + "年" + monthText + "月" +
                         dayText + kBirthSuffix + kLineEnd +
                         YearLine("小学校入学は", WrapAdd(cohort, 7), kEntrySuffix) +
                         YearLine("小学校卒業は", WrapAdd(cohort, 13), kLeavingSuffix) +
                         YearLine("中学校入学は", WrapAdd(cohort, 13), kEntrySuffix) +
                         YearLine("中学校卒業は", WrapAdd(cohort, 16), kLeavingSuffix);
    return WrapAdd(cohort, 16);
}

SchoolLeaving AddSchool(const std::string& schoolName, const std::string& waitText,
                        const std::string& courseText, const std::string& repeatedText,
                        const std::string& dropOutText) {
    const bool leftEarly = !dropOutText.empty() && dropOutText != "0";
    const int32_t waitYears = ToInteger(waitText);
    const int32_t studyYears = ToInteger(leftEarly ? dropOutText : courseText);
    const int32_t repeatedYears = ToInteger(repeatedText);

    const int32_t entry = WrapAdd(Wizard.CursorYear, waitYears);
    const int32_t leaveYear = WrapAdd(WrapAdd(entry, studyYears), repeatedYears);
    Wizard.HistoryText += YearLine(schoolName + kEnteredWord, entry, kEntrySuffix) +
                          YearLine(schoolName + (leftEarly ? kDroppedOutWord : kGraduatedWord),
                                   leaveYear, kLeavingSuffix);
    return {leaveYear, leftEarly ? "中退後" : "卒業後"};
}

std::string FinalMessage(int32_t birthMonth, int32_t birthDay) {
    return Wizard.HistoryText + AgeText(Wizard.BirthYear, birthMonth, birthDay);
}

}  // namespace vesmira
