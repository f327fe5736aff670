#include "Unit1.h"

#include <QCheckBox>
#include <QPushButton>

#include "Calendar.h"
#include "CompletingComboBox.h"
#include "FailureDisplay.h"
#include "FormLayout.h"
#include "History.h"
#include "InputChecks.h"
#include "MessageDialog.h"
#include "StepFiles.h"
#include "Unit2.h"
#include "Unit3.h"

namespace vesmira {

TForm1* Form1 = nullptr;

namespace {

constexpr const char* kEraItems[] = {"西暦", "昭和", "平成"};

using K = ControlKind;
constexpr ControlLayout kControls[] = {
    {"Label1", K::kLabel, {16, 24, 0, 0}, "生年月日", "生年月日"},
    {"Label2", K::kLabel, {184, 24, 0, 0}, "年", "年"},
    {"Label3", K::kLabel, {232, 24, 0, 0}, "月", "月"},
    {"Label4", K::kLabel, {280, 24, 0, 0}, "日", "日"},
    {"CBSeiwa", K::kCombo, {72, 16, 57, 20}, "", "生年月日 暦", 0, true, false, kEraItems},
    {"EdYear", K::kEdit, {136, 16, 41, 20}, "1985", "生年月日 年", 1},
    {"EdMth", K::kEdit, {200, 16, 25, 20}, "1", "生年月日 月", 2},
    {"EdDay", K::kEdit, {248, 16, 25, 20}, "1", "生年月日 日", 3},
    {"ChkJ", K::kCheck, {16, 48, 137, 25}, "最終学歴が中学卒業", "最終学歴が中学卒業", 4},
    {"BtnNF", K::kButton, {248, 72, 49, 25}, "次へ", "次へ", 5, true, true},
};

constexpr WindowLayout kForm1 = {"STEP1（中学卒業まで）", {330, 274}, {315, 107}, kControls};

}  // namespace

TForm1::TForm1()
    : StepWindow(kForm1),
      CBSeiwa(Control<CompletingComboBox>(this, "CBSeiwa")),
      EdYear(Control<NumericEdit>(this, "EdYear")),
      EdMth(Control<NumericEdit>(this, "EdMth")),
      EdDay(Control<NumericEdit>(this, "EdDay")),
      ChkJ(Control<QCheckBox>(this, "ChkJ")),
      BtnNF(Control<QPushButton>(this, "BtnNF")) {
    OnEvent(ChkJ, &QCheckBox::toggled, this, &TForm1::ChkJClick);
    OnEvent(EdYear, &NumericEdit::exited, this, &TForm1::EdYearExit);
    OnEvent(EdMth, &NumericEdit::exited, this, &TForm1::EdMthExit);
    OnEvent(EdDay, &NumericEdit::exited, this, &TForm1::EdDayExit);
    OnEvent(BtnNF, &QPushButton::clicked, this, &TForm1::BtnNFClick);
}

void TForm1::FormShow() {
    // Below Form1, which is mapped after this; the backdrop takes no focus.
    Form3->show();
    Form3->raise();
}

void TForm1::FormClose() {
    EndProgram();
}

void TForm1::ChkJClick() {
    ShowFinishOrNext(BtnNF, ChkJ->isChecked());
}

void TForm1::EdYearExit() {
    CheckNumberField(*EdYear);
}

void TForm1::EdMthExit() {
    CheckNumberField(*EdMth);
}

void TForm1::EdDayExit() {
    CheckNumberField(*EdDay);
}

void TForm1::BtnNFClick() {
    // Any era text other than 西暦 counts as an era name (昭和, else Heisei).
    const std::string era = CBSeiwa->currentText().toStdString();
    const int32_t year = ToInteger(FieldText(EdYear));
    Wizard.BirthYear = era == "西暦" ? year : EraToWestern(era, year);
    if (const int32_t code =
            ValidateBirthDate(Wizard.BirthYear, FieldText(EdMth), FieldText(EdDay))) {
        ShowInputError(code);
        return;
    }
    CompleteStep1();
}

void TForm1::CompleteStep1() {
    const int32_t juniorHighEnd =
        BeginHistory(Wizard.BirthYear, FieldText(EdMth), FieldText(EdDay));
    if (ChkJ->isChecked()) {
        const std::string message =
            FinalMessage(ToInteger(FieldText(EdMth)), ToInteger(FieldText(EdDay)));
        if (ShowMessageDialog(message, DialogKind::kInformation) == kDialogOk) {
            ChkJ->setChecked(false);
        }
        return;
    }
    Wizard.CursorYear = juniorHighEnd;
    SaveStepFile(StepFileName(1), Wizard.HistoryText);
    hide();
    ShowOnTop(Form2);
}

}  // namespace vesmira
