#pragma once

#include "Controls.h"

class QCheckBox;
class QPushButton;

namespace vesmira {

class CompletingComboBox;

// The birth-date window, the wizard's first step and main window.
class TForm1 : public StepWindow {
    Q_OBJECT
  public:
    TForm1();

    CompletingComboBox* CBSeiwa = nullptr;
    NumericEdit* EdYear = nullptr;
    NumericEdit* EdMth = nullptr;
    NumericEdit* EdDay = nullptr;
    QCheckBox* ChkJ = nullptr;
    QPushButton* BtnNF = nullptr;

    void ChkJClick();
    void EdYearExit();
    void EdMthExit();
    void EdDayExit();
    void BtnNFClick();
    void CompleteStep1();

  protected:
    void ControlsBuilt() override;
    void FormShow() override;
    void FormClose() override;
};

extern TForm1* Form1;

}  // namespace vesmira
