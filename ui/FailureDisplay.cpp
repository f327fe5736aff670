#include "FailureDisplay.h"

#include <QMessageBox>

#include "AppInfo.h"
#include "WizardApplication.h"

namespace vesmira {

std::string FailureDisplayText(const std::string& text) {
    if (text.empty()) {
        return text;
    }
    const auto last = static_cast<unsigned char>(text.back());
    return last <= 0x2E ? text : text + ".";
}

void ShowFailure(const std::string& text) {
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kApplicationTitle),
                    QString::fromStdString(FailureDisplayText(text)), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    ExecModal(box);
}

}  // namespace vesmira
