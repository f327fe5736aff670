#pragma once

// The wizard state and the builder of the education history.

#include <cstdint>
#include <string>

namespace vesmira {

// Line end inside the history and the step files.
inline constexpr char kLineEnd[] = "\r\n";

// The fixed pieces of the history lines: "<school>入学は<year><era label>年4月",
// "...卒業は...年3月", "...中退は...年3月", and the birth line's ending.
inline constexpr char kEnteredWord[] = "入学は";
inline constexpr char kGraduatedWord[] = "卒業は";
inline constexpr char kDroppedOutWord[] = "中退は";
inline constexpr char kEntrySuffix[] = "年4月";
inline constexpr char kLeavingSuffix[] = "年3月";
inline constexpr char kBirthSuffix[] = "日生まれのあなたの";

// One run of the wizard; a single instance for the process (Wizard).
struct WizardState {
    int32_t BirthYear = 0;    // Western calendar, as validated on the first step
    int32_t CursorYear = 0;   // March of this year the person last left a school
    std::string HistoryText;  // one line per event, each ended by CR LF
    int32_t StepNumber = 2;   // school step shown on the school-step window
};

extern WizardState Wizard;

// Back to the state at program start.
void ResetWizard();

// Replaces the history with the birth line and the elementary and junior high
// lines, and returns the junior high graduation year. monthText and dayText
// have passed ValidateBirthDate; they appear in the birth line as typed.
int32_t BeginHistory(int32_t birthYear, const std::string& monthText, const std::string& dayText);

struct SchoolLeaving {
    int32_t leaveYear;
    std::string leavePhrase;  // "卒業後" or "中退後"
};

// Appends the entry line and the graduation or drop-out line of one school,
// counted from CursorYear. The school was left early when dropOutText is
// neither "0" nor empty (compared as text: "00" is year of study 0). The
// numbers are converted before anything changes, so a ConversionFailure leaves
// the history as it was. Neither CursorYear nor StepNumber changes.
SchoolLeaving AddSchool(const std::string& schoolName, const std::string& waitText,
                        const std::string& courseText, const std::string& repeatedText,
                        const std::string& dropOutText);

// The history followed by the age sentence on a line of its own.
std::string FinalMessage(int32_t birthMonth, int32_t birthDay);

}  // namespace vesmira
