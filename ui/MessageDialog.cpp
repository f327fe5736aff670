#include "MessageDialog.h"

#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "FailureDisplay.h"
#include "FormLayout.h"
#include "InputChecks.h"
#include "MessageText.h"
#include "OnScreen.h"
#include "ResumeRows.h"
#include "WizardApplication.h"

namespace vesmira {

namespace {

constexpr int kIconGap = 12;    // between the icon and the text
constexpr int kButtonGap = 14;  // between the text and "OK"

bool Undisplayable(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) ||       // control characters
           c == 0x061C || c == 0x200E || c == 0x200F ||  // bidirectional marks,
           (c >= 0x202A && c <= 0x202E) ||               // embeddings, overrides
           (c >= 0x2066 && c <= 0x2069) ||               // and isolates
           c == 0x2028 || c == 0x2029 ||                 // line and paragraph separators
           (c >= 0xFDD0 && c <= 0xFDEF) || c == 0xFFFE || c == 0xFFFF;  // non-characters
}

// Assistive technology meets the dialog as an alert, as it met the system's
// message box, so that a screen reader speaks it when it appears.
QAccessibleInterface* AccessibleFactory(const QString& className, QObject* object) {
    auto* dialog = qobject_cast<MessageDialog*>(object);
    if (dialog != nullptr &&
        className == QLatin1String(MessageDialog::staticMetaObject.className())) {
        return new QAccessibleWidget(dialog, QAccessible::AlertMessage);
    }
    return nullptr;
}

std::vector<MessageDialog*>& KeptDialogs() {
    static std::vector<MessageDialog*> dialogs;
    return dialogs;
}

}  // namespace

QString DisplayText(std::string_view text) {
    QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    QChar* out = shown.data();
    const QChar* in = out;
    const QChar* const end = in + shown.size();
    for (; in != end; ++in) {
        const char16_t c = in->unicode();
        if (c == u'\r' || c == u'\n') {
            *out++ = QLatin1Char('\n');
            if (c == u'\r' && in + 1 != end && in[1] == QLatin1Char('\n')) {
                ++in;
            }
        } else {
            *out++ = Undisplayable(c) ? QChar(QChar::ReplacementCharacter) : *in;
        }
    }
    shown.truncate(out - shown.constData());
    return shown;
}

MessageDialog::MessageDialog(DialogKind kind, const QString& caption)
    : kind_(kind),
      icon_(new QLabel(this)),
      text_(new MessageText(this)),
      ok_(new QPushButton(QStringLiteral("OK"), this)) {
    static const bool factoryInstalled = (QAccessible::installFactory(AccessibleFactory), true);
    (void)factoryInstalled;
    setWindowTitle(caption);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    // The face of the windows, for the whole dialog: one proportional gothic.
    setFont(FormFont());

    const bool error = kind == DialogKind::kError;
    const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    const QStyle::StandardPixmap pixmap =
        error ? QStyle::SP_MessageBoxCritical : QStyle::SP_MessageBoxInformation;
    icon_->setPixmap(style()->standardIcon(pixmap, nullptr, this).pixmap(side, side));
    icon_->setAccessibleName(error ? QStringLiteral("エラー") : QStringLiteral("情報"));

    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->setSizeConstraint(QLayout::SetFixedSize);  // the dialog takes the size of its parts
    grid->setHorizontalSpacing(kIconGap);
    grid->setVerticalSpacing(kButtonGap);
    grid->addWidget(icon_, 0, 0, Qt::AlignTop);
    grid->addWidget(text_, 0, 1, Qt::AlignLeft | Qt::AlignVCenter);
    grid->addWidget(ok_, 1, 0, 1, 2, Qt::AlignHCenter);
    setTabOrder(ok_, text_);

    AddEntry(new QAction(QStringLiteral("コピー(&C)"), this), QKeySequence::Copy,
             [this] { Copy(); });
    AddEntry(new QAction(QStringLiteral("すべて選択(&A)"), this), QKeySequence::SelectAll,
             [this] { text_->SelectAll(); });
}

const QString& MessageDialog::text() const {
    return text_->text();
}

DialogResult MessageDialog::Run(const std::string& text, std::span<const CopyAction> extra,
                                std::function<void()> onOk) {
    std::vector<std::unique_ptr<QAction>> added;  // for this showing only
    for (const CopyAction& entry : extra) {
        AddEntry(added.emplace_back(std::make_unique<QAction>(entry.label)).get(), entry.shortcut,
                 [copied = entry.text] { QGuiApplication::clipboard()->setText(copied); });
    }
    closedByWindow_ = false;
    onOk_ = std::move(onOk);
    text_->SetText(DisplayText(text));
    FitToScreen();
    ok_->setFocus();
    ExecModal(*this);
    // Hidden and kept, the dialog must not hold the keyboard focus until the
    // window system activates another window.
    if (QWidget* focused = focusWidget()) {
        focused->clearFocus();
    }
    text_->SetText({});  // a long text's memory goes with the dialog
    onOk_ = nullptr;
    return closedByWindow_ ? kDialogClosed : kDialogOk;
}

void MessageDialog::AddEntry(QAction* action, const QKeySequence& shortcut,
                             const std::function<void()>& run) {
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(action, &QAction::triggered, this, run);
    addAction(action);
    text_->addAction(action);  // the text's context menu
}

void MessageDialog::done(int result) {
    // Every answer but the close box is OK (Esc arrives as a rejection).
    if (!closedByWindow_ && onOk_) {
        RunGuarded(std::exchange(onOk_, nullptr));
    }
    QDialog::done(result);
}

void MessageDialog::closeEvent(QCloseEvent* event) {
    // OK, Enter, Space and Esc finish the dialog without a close event; only
    // the close box and the window manager's close command arrive here.
    closedByWindow_ = true;
    QDialog::closeEvent(event);
}

bool MessageDialog::event(QEvent* event) {
    // Painted, the dialog has its frame and its place: if either is not what
    // it was fitted and centred for, it is fitted and centred again, once.
    if (placement_.Differs(*this, *event)) {
        QTimer::singleShot(0, this, &MessageDialog::FitToScreen);
    }
    return QDialog::event(event);
}

void MessageDialog::keyPressEvent(QKeyEvent* event) {
    // Esc answers OK through reject(); Space does where the focus is on the
    // text rather than on the button.
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MessageDialog::FitToScreen() {
    const QWidget* active = QApplication::activeWindow();
    QScreen* screen = active != nullptr ? active->screen() : QGuiApplication::primaryScreen();
    setScreen(screen);
    const QRect area = screen->availableGeometry();
    const QMargins frame = placement_.seenFrame().value_or(ExpectedFrame(*this));
    const QMargins inside = layout()->contentsMargins();
    const int aroundWidth = frame.left() + inside.left() + icon_->sizeHint().width() + kIconGap +
                            inside.right() + frame.right();
    const int aroundHeight = frame.top() + inside.top() + kButtonGap + ok_->sizeHint().height() +
                             inside.bottom() + frame.bottom();
    text_->setFixedSize(
        text_->SizeFor(area.width() / 2 - aroundWidth, area.height() - aroundHeight));
    layout()->activate();
    const QSize outer = size().grownBy(frame);
    const QPoint at = ToQRect(CentredIn(outer.width(), outer.height(), ToRect(area))).topLeft();
    MoveFrameTo(*this, at, frame);
    placement_.Placed(at, frame);
}

void MessageDialog::Copy() {
    const bool selected = text_->selectionStart() < text_->selectionEnd();
    QGuiApplication::clipboard()->setText(selected ? text_->SelectedText() : text_->text());
}

DialogResult RunMessageDialog(const QString& caption, DialogKind kind, const std::string& text,
                              std::span<const CopyAction> extra, std::function<void()> onOk) {
    std::vector<MessageDialog*>& kept = KeptDialogs();
    const auto found = std::find_if(kept.begin(), kept.end(), [&](const MessageDialog* d) {
        return d->kind() == kind && d->windowTitle() == caption;
    });
    MessageDialog* dialog =
        found != kept.end() ? *found : kept.emplace_back(new MessageDialog(kind, caption));
    if (dialog->isVisible()) {
        // Asked for again while it is up (a failure while it is shown).
        MessageDialog spare(kind, caption);
        return spare.Run(text, extra, std::move(onOk));
    }
    return dialog->Run(text, extra, std::move(onOk));
}

DialogResult ShowMessageDialog(const std::string& text, DialogKind kind,
                               std::span<const CopyAction> extra, std::function<void()> onOk) {
    const QString caption =
        kind == DialogKind::kError ? QStringLiteral("エラー") : QStringLiteral("情報");
    return RunMessageDialog(caption, kind, text, extra, std::move(onOk));
}

DialogResult ShowResult(const std::string& message, std::function<void()> onOk) {
    const CopyAction rows[] = {{QStringLiteral("履歴書の行としてコピー(&R)"),
                                QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C),
                                QString::fromStdString(ResumeRowsText(message, Today()))}};
    return ShowMessageDialog(message, DialogKind::kInformation, rows, std::move(onOk));
}

void ShowInputError(int code) {
    ShowMessageDialog(InputErrorText(code), DialogKind::kError);
}

void CheckNumberField(const QLineEdit& field) {
    if (const int code = CheckNumberText(field.text().toStdString())) {
        ShowInputError(code);
    }
}

void DestroyDialogs() {
    for (MessageDialog* dialog : KeptDialogs()) {
        delete dialog;
    }
    KeptDialogs().clear();
}

}  // namespace vesmira
