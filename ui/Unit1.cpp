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
// One control per row, kept as a table.
// clang-format off
constexpr ControlLayout kControls[] = {
    {.name = "Label1", .kind = K::kLabel, .geometry = {16, 24, 0, 0}, .text = "生年月日",
     .labelFor = "CBSeiwa"},
    {.name = "Label2", .kind = K::kLabel, .geometry = {184, 24, 0, 0}, .text = "年",
     .labelFor = "EdYear"},
    {.name = "Label3", .kind = K::kLabel, .geometry = {232, 24, 0, 0}, .text = "月",
     .labelFor = "EdMth"},
    {.name = "Label4", .kind = K::kLabel, .geometry = {280, 24, 0, 0}, .text = "日",
     .labelFor = "EdDay"},
    {.name = "CBSeiwa", .kind = K::kCombo, .geometry = {72, 16, 57, 20},
     .accessibleName = "生年月日 暦", .tabOrder = 0, .items = kEraItems},
    {.name = "EdYear", .kind = K::kEdit, .geometry = {136, 16, 41, 20}, .text = "1985",
     .accessibleName = "生年月日 年", .tabOrder = 1},
    {.name = "EdMth", .kind = K::kEdit, .geometry = {200, 16, 25, 20}, .text = "1",
     .accessibleName = "生年月日 月", .tabOrder = 2},
    {.name = "EdDay", .kind = K::kEdit, .geometry = {248, 16, 25, 20}, .text = "1",
     .accessibleName = "生年月日 日", .tabOrder = 3},
    {.name = "ChkJ", .kind = K::kCheck, .geometry = {16, 48, 137, 25},
     .text = "最終学歴が中学卒業", .tabOrder = 4},
    {.name = "BtnNF", .kind = K::kButton, .geometry = {248, 72, 49, 25}, .text = "次へ",
     .tabOrder = 5, .defaultButton = true},
};
// clang-format on

constexpr WindowLayout kForm1 = {.caption = "STEP1（中学卒業まで）",
                                 .position = {330, 274},
                                 .size = {315, 107},
                                 .controls = kControls,
                                 .entryField = "EdYear"};

}  // namespace

TForm1::TForm1() : StepWindow(kForm1) {
    Build();
}

void TForm1::ControlsBuilt() {
    CBSeiwa = Control<CompletingComboBox>(this, "CBSeiwa");
    EdYear = Control<NumericEdit>(this, "EdYear");
    EdMth = Control<NumericEdit>(this, "EdMth");
    EdDay = Control<NumericEdit>(this, "EdDay");
    ChkJ = Control<QCheckBox>(this, "ChkJ");
    BtnNF = Control<QPushButton>(this, "BtnNF");
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
        if (ShowResult(message) == kDialogOk) {
            ChkJ->setChecked(false);
        }
        return;
    }
    Wizard.CursorYear = juniorHighEnd;
    SaveStepFile(StepFileName(1), Wizard.HistoryText);
    Form2->TakeOver(this);
}

}  // namespace vesmira
