#include "Unit2.h"

#include <QCheckBox>
#include <QPushButton>
#include <iterator>

#include "CompletingComboBox.h"
#include "FailureDisplay.h"
#include "FormLayout.h"
#include "History.h"
#include "InputChecks.h"
#include "MessageDialog.h"
#include "StepFiles.h"
#include "Unit1.h"
#include "Wrap.h"

namespace vesmira {

TForm2* Form2 = nullptr;

namespace {

constexpr const char* kSchoolItems[] = {
    "高等学校", "高等専門学校",       "専門学校",           "短期大学",
    "大学",     "大学院（修士課程）", "大学院（博士課程）",
};
// Course length that choosing each school kind puts into EdYears.
constexpr const char* kCourseLengths[] = {"3", "5", "2", "2", "4", "2", "3"};
static_assert(std::size(kSchoolItems) == std::size(kCourseLengths));
constexpr char kTypedSchoolCourseLength[] = "1";

constexpr char kFirstCaption[] = "STEP2（中学卒業後）";

using K = ControlKind;
// One control per row, kept as a table.
// clang-format off
constexpr ControlLayout kControls[] = {
    {.name = "Label2", .kind = K::kLabel, .geometry = {8, 8, 0, 0},
     .text = "次の進学先を入力してください。", .labelFor = "CBSchool"},
    {.name = "Label1", .kind = K::kLabel, .geometry = {184, 32, 0, 0}, .text = "年制",
     .labelFor = "EdYears"},
    {.name = "Label3", .kind = K::kLabel, .geometry = {16, 64, 0, 0}, .text = "浪人",
     .labelFor = "EdRo"},
    {.name = "Label5", .kind = K::kLabel, .geometry = {80, 64, 0, 0}, .text = "年",
     .labelFor = "EdRo"},
    {.name = "Label4", .kind = K::kLabel, .geometry = {120, 64, 0, 0}, .text = "留年",
     .labelFor = "EdRyu"},
    {.name = "Label6", .kind = K::kLabel, .geometry = {184, 64, 0, 0}, .text = "年",
     .labelFor = "EdRyu"},
    {.name = "Label8", .kind = K::kLabel, .geometry = {224, 64, 0, 0}, .text = "中退",
     .labelFor = "EdTai"},
    {.name = "Label7", .kind = K::kLabel, .geometry = {288, 64, 0, 0}, .text = "年次",
     .labelFor = "EdTai"},
    {.name = "CBSchool", .kind = K::kCombo, .geometry = {8, 24, 129, 20},
     .accessibleName = "次の進学先", .tabOrder = 0, .items = kSchoolItems},
    {.name = "EdYears", .kind = K::kEdit, .geometry = {152, 24, 25, 20}, .text = "3",
     .accessibleName = "年制", .tabOrder = 1},
    {.name = "EdRo", .kind = K::kEdit, .geometry = {48, 56, 25, 20}, .text = "0",
     .accessibleName = "浪人 年", .tabOrder = 2},
    {.name = "EdRyu", .kind = K::kEdit, .geometry = {152, 56, 25, 20}, .text = "0",
     .accessibleName = "留年 年", .tabOrder = 3},
    {.name = "ChkLast", .kind = K::kCheck, .geometry = {16, 88, 105, 17}, .text = "最終学歴",
     .tabOrder = 4},
    {.name = "BtnNF", .kind = K::kButton, .geometry = {272, 88, 49, 25}, .text = "次へ",
     .tabOrder = 5, .defaultButton = true},
    // Tab passes it by, as designed; the mouse and its own key reach it.
    {.name = "EdTai", .kind = K::kEdit, .geometry = {256, 56, 25, 20}, .text = "0",
     .accessibleName = "中退 年次",
     .accessibleDescription = "中退した年次。Tab では移動せず、Alt+T で移動します",
     .shortcut = "Alt+T", .tabOrder = 6, .tabStop = false},
    {.name = "BtnBack", .kind = K::kButton, .geometry = {216, 88, 49, 25}, .text = "戻る",
     .tabOrder = 7},
};
// clang-format on

constexpr WindowLayout kForm2 = {.caption = kFirstCaption,
                                 .position = {330, 275},
                                 .size = {331, 123},
                                 .controls = kControls,
                                 .entryField = "CBSchool"};

QString StepCaption(int32_t step, const std::string& suffix = {}) {
    return QStringLiteral("STEP%1").arg(step) + QString::fromStdString(suffix);
}

}  // namespace

// The controls follow once the birth-date window is on the screen (see
// FinishStart): nothing reaches this window before the first input.
TForm2::TForm2() : StepWindow(kForm2) {}

void TForm2::ControlsBuilt() {
    CBSchool = Control<CompletingComboBox>(this, "CBSchool");
    EdYears = Control<NumericEdit>(this, "EdYears");
    EdRo = Control<NumericEdit>(this, "EdRo");
    EdRyu = Control<NumericEdit>(this, "EdRyu");
    ChkLast = Control<QCheckBox>(this, "ChkLast");
    BtnNF = Control<QPushButton>(this, "BtnNF");
    EdTai = Control<NumericEdit>(this, "EdTai");
    BtnBack = Control<QPushButton>(this, "BtnBack");
    OnEvent(CBSchool, &CompletingComboBox::changed, this, &TForm2::CBSchoolChange);
    OnEvent(ChkLast, &QCheckBox::toggled, this, &TForm2::ChkLastClick);
    OnEvent(EdYears, &NumericEdit::exited, this, &TForm2::EdYearsExit);
    OnEvent(EdRo, &NumericEdit::exited, this, &TForm2::EdRoExit);
    OnEvent(EdRyu, &NumericEdit::exited, this, &TForm2::EdRyuExit);
    OnEvent(EdTai, &NumericEdit::exited, this, &TForm2::EdTaiExit);
    OnEvent(BtnNF, &QPushButton::clicked, this, &TForm2::BtnNFClick);
    OnEvent(BtnBack, &QPushButton::clicked, this, &TForm2::BtnBackClick);
}

void TForm2::CBSchoolChange() {
    const int index = CBSchool->currentIndex();
    EdYears->setText(index >= 0 ? kCourseLengths[index] : kTypedSchoolCourseLength);
}

void TForm2::ChkLastClick() {
    ShowFinishOrNext(BtnNF, ChkLast->isChecked());
}

void TForm2::EdYearsExit() {
    CheckNumberField(*EdYears);
}

void TForm2::EdRoExit() {
    CheckNumberField(*EdRo);
}

void TForm2::EdRyuExit() {
    CheckNumberField(*EdRyu);
}

void TForm2::EdTaiExit() {
    CheckNumberField(*EdTai);
}

void TForm2::BtnNFClick() {
    const std::string school = CBSchool->currentText().toStdString();
    const WizardState before = Wizard;
    const SchoolLeaving leaving =
        AddSchool(school, FieldText(EdRo), FieldText(EdYears), FieldText(EdRyu), FieldText(EdTai));

    if (ChkLast->isChecked()) {
        const std::string message =
            FinalMessage(ToInteger(FieldText(Form1->EdMth)), ToInteger(FieldText(Form1->EdDay)));
        // STEP1 comes up before the dialog goes, so that nothing else is
        // activated in between.
        if (ShowResult(message, [this] { ReturnToStep1(); }) != kDialogOk) {
            // Closed without OK: the step stays, so pressing 完了 again must
            // not list this school twice.
            Wizard.HistoryText = before.HistoryText;
        }
        return;
    }

    Wizard.CursorYear = leaving.leaveYear;
    try {
        SaveStepFile(StepFileName(Wizard.StepNumber), Wizard.HistoryText);
    } catch (...) {
        // The window stays on its step; so does the wizard state.
        Wizard.HistoryText = before.HistoryText;
        Wizard.CursorYear = before.CursorYear;
        throw;
    }
    Wizard.StepNumber = WrapAdd(Wizard.StepNumber, 1);
    setWindowTitle(StepCaption(Wizard.StepNumber, "（" + school + leaving.leavePhrase + "）"));
    ClearStepCounts();
    AnnounceStep();
}

void TForm2::BtnBackClick() {
    if (Wizard.StepNumber == 2) {
        ReturnToStep1();
        return;
    }
    // The step goes down only once its file has been read.
    const int32_t step = WrapSub(Wizard.StepNumber, 1);
    Wizard.HistoryText = LoadStepFile(step);
    Wizard.StepNumber = step;
    setWindowTitle(StepCaption(step));
    ClearStepCounts();
    AnnounceStep();
}

void TForm2::ReturnToStep1() {
    CBSchool->SelectItem(0);
    EdYears->setText(kCourseLengths[0]);
    ClearStepCounts();
    ChkLast->setChecked(false);
    setWindowTitle(QString::fromUtf8(kFirstCaption));
    Wizard.StepNumber = 2;
    DeleteStepFiles();
    Form1->TakeOver(this);
}

void TForm2::ClearStepCounts() {
    EdRo->setText("0");
    EdRyu->setText("0");
    EdTai->setText("0");
}

void TForm2::FormClose() {
    EndProgram();
}

}  // namespace vesmira
