#include "FormLayout.h"

#include <QCheckBox>
#include <QFont>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <algorithm>
#include <vector>

#include "CompletingComboBox.h"
#include "Controls.h"

namespace vesmira {

namespace {

// The first installed family of the form font and its substitutes, looked up
// once (after PrepareApplication). Asked for by the alias, the toolkit would
// resolve the alias and then its substitute again, each time sorting every
// installed font, for every script and style the windows draw.
const QString& FormFamily() {
    static const QString family = [] {
        const QString alias = QString::fromUtf8(kFormFontFamily);
        const QStringList installed = QFontDatabase::families();
        for (const QString& name : QStringList(alias) + QFont::substitutes(alias)) {
            if (installed.contains(name, Qt::CaseInsensitive)) {
                return name;
            }
        }
        return alias;  // none installed: the toolkit's own matching decides
    }();
    return family;
}

}  // namespace

QFont FormFont(int pixels, bool boldItalic) {
    QFont font(FormFamily());
    font.setPixelSize(pixels);
    font.setBold(boldItalic);
    font.setItalic(boldItalic);
    return font;
}

namespace {

QWidget* CreateControl(const ControlLayout& control, QWidget* form) {
    const QString text = QString::fromUtf8(control.text);
    switch (control.kind) {
        case ControlKind::kLabel:
            return new QLabel(text, form);
        case ControlKind::kEdit: {
            auto* edit = new NumericEdit(form);
            edit->setText(text);
            return edit;
        }
        case ControlKind::kCombo: {
            auto* combo = new CompletingComboBox(form);
            for (const char* item : control.items) {
                combo->addItem(QString::fromUtf8(item));
            }
            combo->SelectItem(0);
            return combo;
        }
        case ControlKind::kCheck:
            return new QCheckBox(text, form);
        case ControlKind::kButton: {
            auto* button = new QPushButton(text, form);
            button->setDefault(control.defaultButton);
            return button;
        }
    }
    return nullptr;
}

void DescribeForAssistiveTools(QWidget* control, const ControlLayout& c) {
    if (c.accessibleName != nullptr) {
        const QString name = QString::fromUtf8(c.accessibleName);
        control->setAccessibleName(name);
        if (auto* combo = qobject_cast<QComboBox*>(control)) {
            combo->lineEdit()->setAccessibleName(name);  // its text part is read on its own
        }
    }
    if (c.accessibleDescription != nullptr) {
        control->setAccessibleDescription(QString::fromUtf8(c.accessibleDescription));
    }
}

}  // namespace

void BuildFrame(QWidget* form, const WindowLayout& layout) {
    form->setWindowTitle(QString::fromUtf8(layout.caption));
    form->setFont(FormFont());
    form->move(layout.position);
    form->resize(layout.size);
}

void BuildControls(QWidget* form, const WindowLayout& layout) {
    std::vector<std::pair<int, QWidget*>> tabChain;
    for (const ControlLayout& c : layout.controls) {
        QWidget* control = CreateControl(c, form);
        control->setObjectName(QString::fromUtf8(c.name));
        DescribeForAssistiveTools(control, c);
        if (c.shortcut != nullptr) {
            auto* shortcut = new QShortcut(QKeySequence(QString::fromUtf8(c.shortcut)), form);
            QObject::connect(shortcut, &QShortcut::activated, control,
                             [control] { control->setFocus(Qt::ShortcutFocusReason); });
        }
        if (c.fontPixels != 0) {
            control->setFont(FormFont(c.fontPixels, c.boldItalic));
        }
        if (c.textColor != 0) {
            QPalette palette = control->palette();
            palette.setColor(QPalette::WindowText, QColor::fromRgb(c.textColor));
            control->setPalette(palette);
        }
        if (c.geometry.isEmpty()) {
            control->move(c.geometry.topLeft());
            control->adjustSize();
        } else {
            control->setGeometry(c.geometry);
        }
        if (c.tabOrder >= 0) {
            control->setFocusPolicy(c.tabStop ? Qt::StrongFocus : Qt::ClickFocus);
            tabChain.emplace_back(c.tabOrder, control);
        }
    }
    // Label-for / labelled-by: how assistive tools tell which label names which
    // field. Without a mnemonic in its text, a label with a buddy draws the same.
    for (const ControlLayout& c : layout.controls) {
        if (c.labelFor != nullptr) {
            Control<QLabel>(form, c.name)->setBuddy(Control<QWidget>(form, c.labelFor));
        }
    }
    std::sort(tabChain.begin(), tabChain.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 1; i < tabChain.size(); ++i) {
        QWidget::setTabOrder(tabChain[i - 1].second, tabChain[i].second);
    }
}

void BuildForm(QWidget* form, const WindowLayout& layout) {
    BuildFrame(form, layout);
    BuildControls(form, layout);
}

}  // namespace vesmira
