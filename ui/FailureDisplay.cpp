#include "FailureDisplay.h"

#include "AppInfo.h"
#include "MessageDialog.h"

namespace vesmira {

std::string FailureDisplayText(const std::string& text) {
    if (text.empty()) {
        return text;
    }
    const auto last = static_cast<unsigned char>(text.back());
    return last <= 0x2E ? text : text + ".";
}

void ShowFailure(const std::string& text) {
    RunMessageDialog(QString::fromUtf8(kApplicationTitle), DialogKind::kError,
                     FailureDisplayText(text));
}

}  // namespace vesmira
