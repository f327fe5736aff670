#pragma once

#include "Controls.h"

class QCheckBox;
class QPushButton;

namespace vesmira {

class CompletingComboBox;

// The school-step window: one school after junior high school per step.
class TForm2 : public StepWindow {
    Q_OBJECT
  public:
    TForm2();

    CompletingComboBox* CBSchool = nullptr;
    NumericEdit* EdYears = nullptr;
    NumericEdit* EdRo = nullptr;
    NumericEdit* EdRyu = nullptr;
    QCheckBox* ChkLast = nullptr;
    QPushButton* BtnNF = nullptr;
    NumericEdit* EdTai = nullptr;
    QPushButton* BtnBack = nullptr;

    void CBSchoolChange();
    void ChkLastClick();
    void EdYearsExit();
    void EdRoExit();
    void EdRyuExit();
    void EdTaiExit();
    void BtnNFClick();
    void BtnBackClick();
    void ReturnToStep1();
    void ClearStepCounts();

  protected:
    void ControlsBuilt() override;
    void FormClose() override;
};

extern TForm2* Form2;

}  // namespace vesmira
