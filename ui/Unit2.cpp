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
constexpr ControlLayout kControls[] = {
    {"Label2", K::kLabel, {8, 8, 0, 0}, "次の進学先を入力してください。", "次の進学先"},
    {"Label1", K::kLabel, {184, 32, 0, 0}, "年制", "年制"},
    {"Label3", K::kLabel, {16, 64, 0, 0}, "浪人", "浪人"},
    {"Label5", K::kLabel, {80, 64, 0, 0}, "年", "年"},
    {"Label4", K::kLabel, {120, 64, 0, 0}, "留年", "留年"},
    {"Label6", K::kLabel, {184, 64, 0, 0}, "年", "年"},
    {"Label8", K::kLabel, {224, 64, 0, 0}, "中退", "中退"},
    {"Label7", K::kLabel, {288, 64, 0, 0}, "年次", "年次"},
    {"CBSchool", K::kCombo, {8, 24, 129, 20}, "", "次の進学先", 0, true, false, kSchoolItems},
    {"EdYears", K::kEdit, {152, 24, 25, 20}, "3", "年制", 1},
    {"EdRo", K::kEdit, {48, 56, 25, 20}, "0", "浪人 年", 2},
    {"EdRyu", K::kEdit, {152, 56, 25, 20}, "0", "留年 年", 3},
    {"ChkLast", K::kCheck, {16, 88, 105, 17}, "最終学歴", "最終学歴", 4},
    {"BtnNF", K::kButton, {272, 88, 49, 25}, "次へ", "次へ", 5, true, true},
    {"EdTai", K::kEdit, {256, 56, 25, 20}, "0", "中退 年次", 6, false},
    {"BtnBack", K::kButton, {216, 88, 49, 25}, "戻る", "戻る", 7},
};

constexpr WindowLayout kForm2 = {kFirstCaption, {330, 275}, {331, 123}, kControls};

QString StepCaption(int32_t step, const std::string& suffix = {}) {
    return QStringLiteral("STEP%1").arg(step) + QString::fromStdString(suffix);
}

}  // namespace

TForm2::TForm2()
    : StepWindow(kForm2),
      CBSchool(Control<CompletingComboBox>(this, "CBSchool")),
      EdYears(Control<NumericEdit>(this, "EdYears")),
      EdRo(Control<NumericEdit>(this, "EdRo")),
      EdRyu(Control<NumericEdit>(this, "EdRyu")),
      ChkLast(Control<QCheckBox>(this, "ChkLast")),
      BtnNF(Control<QPushButton>(this, "BtnNF")),
      EdTai(Control<NumericEdit>(this, "EdTai")),
      BtnBack(Control<QPushButton>(this, "BtnBack")) {
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
        if (ShowMessageDialog(message, DialogKind::kInformation) == kDialogOk) {
            ReturnToStep1();
        } else {
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
}

void TForm2::ReturnToStep1() {
    CBSchool->SelectItem(0);
    EdYears->setText(kCourseLengths[0]);
    ClearStepCounts();
    ChkLast->setChecked(false);
    setWindowTitle(QString::fromUtf8(kFirstCaption));
    Wizard.StepNumber = 2;
    DeleteStepFiles();
    hide();
    ShowOnTop(Form1);
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
