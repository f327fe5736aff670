#include "MessageText.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTextBoundaryFinder>
#include <cmath>
#include <limits>

namespace vesmira {

namespace {

// Room left at the right of each row: shaping may round a row a pixel wider
// than the sum of its characters' widths.
constexpr int kSlack = 2;
// The width at which a hidden view keeps its text until it is sized: one row
// per line, found without measuring a character.
constexpr int kUnwrapped = std::numeric_limits<int>::max();

QFont WithoutKerning(QFont font) {
    // Pairs drawn closer than their widths add up to would shift the
    // selection against the text.
    font.setKerning(false);
    return font;
}

// What assistive technology sees: a label-like text (its name is the text),
// read line by line and selected through the text interface.
class MessageTextAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
  public:
    explicit MessageTextAccessible(MessageText* view)
        : QAccessibleWidget(view, QAccessible::StaticText) {}

    QString text(QAccessible::Text type) const override {
        return type == QAccessible::Name ? view()->text() : QAccessibleWidget::text(type);
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        state.multiLine = true;
        state.selectableText = true;
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) {
            return static_cast<QAccessibleTextInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }

    void selection(int index, int* start, int* end) const override {
        const bool any = index == 0 && selectionCount() == 1;
        *start = any ? view()->selectionStart() : 0;
        *end = any ? view()->selectionEnd() : 0;
    }
    int selectionCount() const override {
        return view()->selectionStart() < view()->selectionEnd() ? 1 : 0;
    }
    void addSelection(int start, int end) override { view()->Select(start, end); }
    void removeSelection(int) override { view()->Select(cursorPosition(), cursorPosition()); }
    void setSelection(int, int start, int end) override { view()->Select(start, end); }
    int cursorPosition() const override { return view()->cursorPosition(); }
    void setCursorPosition(int position) override { view()->Select(position, position); }
    QString text(int start, int end) const override {
        return view()->text().mid(start, std::max(0, end - start));
    }
    int characterCount() const override { return static_cast<int>(view()->text().size()); }
    QRect characterRect(int offset) const override {
        const QRect local = view()->CharacterRect(offset);
        return {view()->viewport()->mapToGlobal(local.topLeft()), local.size()};
    }
    int offsetAtPoint(const QPoint& point) const override {
        return view()->PositionAt(view()->viewport()->mapFromGlobal(point));
    }
    void scrollToSubstring(int start, int) override { view()->ShowPosition(start); }
    QString attributes(int, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return {};
    }

  private:
    MessageText* view() const { return static_cast<MessageText*>(widget()); }
};

QAccessibleInterface* AccessibleFactory(const QString& className, QObject* object) {
    auto* view = qobject_cast<MessageText*>(object);
    if (view != nullptr && className == QLatin1String(MessageText::staticMetaObject.className())) {
        return new MessageTextAccessible(view);
    }
    return nullptr;
}

}  // namespace

MessageText::MessageText(QWidget* parent)
    : QAbstractScrollArea(parent), metrics_(WithoutKerning(font())), widths_(0x10000, -1.0F) {
    static const bool factoryInstalled = (QAccessible::installFactory(AccessibleFactory), true);
    (void)factoryInstalled;
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setCursor(Qt::IBeamCursor);
    // Drawn like a label: on the window's background, in its text colour.
    viewport()->setBackgroundRole(QPalette::Window);
    Wrap(0);
}

void MessageText::SetText(const QString& text) {
    text_ = text;
    anchor_ = cursor_ = 0;
    goalX_ = -1;
    dragging_ = false;
    wrapWidth_ = -1;
    Wrap(isVisible() ? std::max(0, viewport()->width() - kSlack) : kUnwrapped);
    verticalScrollBar()->setValue(0);
    viewport()->update();
}

QSize MessageText::SizeFor(int maxWidth, int maxHeight) {
    const int lineHeight = LineHeight();
    const int natural = qCeil(NaturalWidth(maxWidth)) + kSlack;
    int width = std::clamp(natural, kSlack + 1, std::max(maxWidth, kSlack + 1));
    Wrap(width - kSlack);
    if (static_cast<qint64>(rows_.size()) * lineHeight <= maxHeight) {
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        return {width, static_cast<int>(rows_.size()) * lineHeight};
    }
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, verticalScrollBar());
    width = std::clamp(natural + bar, bar + kSlack + 1, std::max(maxWidth, bar + kSlack + 1));
    Wrap(width - bar - kSlack);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return {width, std::max(1, maxHeight / lineHeight) * lineHeight};
}

QString MessageText::SelectedText() const {
    return text_.mid(selectionStart(), selectionEnd() - selectionStart());
}

void MessageText::Select(int anchor, int cursor) {
    const int size = static_cast<int>(text_.size());
    anchor_ = std::clamp(anchor, 0, size);
    cursor_ = std::clamp(cursor, 0, size);
    ShowPosition(cursor_);
    viewport()->update();
    TellAccessibility();
}

QRect MessageText::CharacterRect(int position) const {
    const int row = RowOf(position);
    const Row& r = rows_[static_cast<size_t>(row)];
    const int lineHeight = LineHeight();
    const qreal x = Advance(r.start, position);
    const qreal width = position < r.end ? CharWidth(position) : 0;
    return {qFloor(x), (row - verticalScrollBar()->value()) * lineHeight, qCeil(width), lineHeight};
}

int MessageText::PositionAt(QPoint point) const {
    const int lineHeight = LineHeight();
    const int offset = point.y() < 0 ? -1 - (-1 - point.y()) / lineHeight : point.y() / lineHeight;
    const int row =
        std::clamp(verticalScrollBar()->value() + offset, 0, static_cast<int>(rows_.size()) - 1);
    const Row& r = rows_[static_cast<size_t>(row)];
    qreal x = 0;
    for (int at = r.start; at < r.end; at += CharLength(at)) {
        const qreal width = CharWidth(at);
        if (point.x() < x + width / 2) {
            return at;
        }
        x += width;
    }
    return r.end;
}

void MessageText::ShowPosition(int position) {
    const int row = RowOf(position);
    QScrollBar* bar = verticalScrollBar();
    if (row < bar->value()) {
        bar->setValue(row);
    } else if (row >= bar->value() + VisibleRows()) {
        bar->setValue(row - VisibleRows() + 1);
    }
}

void MessageText::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        metrics_ = QFontMetricsF(WithoutKerning(font()));
        std::fill(widths_.begin(), widths_.end(), -1.0F);
        wrapWidth_ = -1;
        Wrap(std::max(0, viewport()->width() - kSlack));
    }
    QAbstractScrollArea::changeEvent(event);
}

void MessageText::contextMenuEvent(QContextMenuEvent* event) {
    if (!actions().isEmpty()) {
        QMenu::exec(actions(), event->globalPos(), nullptr, this);
    }
}

void MessageText::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();  // the caret
}

void MessageText::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void MessageText::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::SelectAll)) {
        SelectAll();
        return;
    }
    bool extend = false;
    const int position = Moved(event, &extend);
    if (position < 0) {
        event->ignore();  // Enter, Esc and Space belong to the dialog
        return;
    }
    MoveCursor(position, extend);
}

void MessageText::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    // The word under the pointer, within its line.
    const int at = PositionAt(event->position().toPoint());
    const int lineStart = static_cast<int>(text_.lastIndexOf(QLatin1Char('\n'), at - 1)) + 1;
    int lineEnd = static_cast<int>(text_.indexOf(QLatin1Char('\n'), at));
    lineEnd = lineEnd < 0 ? static_cast<int>(text_.size()) : lineEnd;
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, text_.constData() + lineStart,
                              lineEnd - lineStart);
    words.setPosition(at - lineStart);
    const qsizetype start = words.isAtBoundary() ? words.position() : words.toPreviousBoundary();
    const qsizetype end = words.toNextBoundary();
    if (start >= 0 && end > start) {
        Select(lineStart + static_cast<int>(start), lineStart + static_cast<int>(end));
    }
}

void MessageText::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) {
        MoveCursor(PositionAt(event->position().toPoint()), true);
    }
}

void MessageText::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    dragging_ = true;
    goalX_ = -1;
    MoveCursor(PositionAt(event->position().toPoint()),
               event->modifiers().testFlag(Qt::ShiftModifier));
}

void MessageText::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !dragging_) {
        return;
    }
    dragging_ = false;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard->supportsSelection() && selectionStart() < selectionEnd()) {
        clipboard->setText(SelectedText(), QClipboard::Selection);
    }
}

void MessageText::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    painter.setFont(WithoutKerning(font()));
    const QPalette& colours = palette();
    const int lineHeight = LineHeight();
    const qreal ascent = metrics_.ascent();
    const int first = verticalScrollBar()->value();
    const int last = std::min(static_cast<int>(rows_.size()) - 1,
                              first + (event->rect().bottom() + 1) / lineHeight);
    const int from = selectionStart();
    const int to = selectionEnd();
    for (int row = first + std::max(0, event->rect().top() / lineHeight); row <= last; ++row) {
        const Row& r = rows_[static_cast<size_t>(row)];
        const int y = (row - first) * lineHeight;
        const QString line = text_.mid(r.start, r.end - r.start);
        painter.setPen(colours.color(QPalette::WindowText));
        painter.drawText(QPointF(0, y + ascent), line);

        // A selected line break shows as a little room after the row.
        const bool selectsBreak = from <= r.end && to > r.end && r.end < text_.size() &&
                                  text_.at(r.end) == QLatin1Char('\n');
        const int selStart = std::clamp(from, r.start, r.end);
        const int selEnd = std::clamp(to, r.start, r.end);
        if (selStart < selEnd || selectsBreak) {
            const qreal left = Advance(r.start, selStart);
            const qreal right = Advance(r.start, selEnd) +
                                (selectsBreak ? metrics_.horizontalAdvance(QLatin1Char(' ')) : 0);
            const QRectF band(left, y, right - left, lineHeight);
            painter.fillRect(band, colours.color(QPalette::Highlight));
            painter.save();
            painter.setClipRect(band);
            painter.setPen(colours.color(QPalette::HighlightedText));
            painter.drawText(QPointF(0, y + ascent), line);
            painter.restore();
        }
    }
    if (hasFocus()) {
        const QRect caret = CharacterRect(cursor_);
        painter.fillRect(QRect(caret.left(), caret.top(), 1, lineHeight),
                         colours.color(QPalette::WindowText));
    }
}

void MessageText::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    Wrap(std::max(0, viewport()->width() - kSlack));
    UpdateScrollBar();  // the rows that fit changed, if not the wrapping
}

qreal MessageText::CharWidth(int at) const {
    if (CharLength(at) == 2) {
        return metrics_.horizontalAdvance(text_.mid(at, 2));
    }
    float& width = widths_[text_.at(at).unicode()];
    if (width < 0) {
        width = static_cast<float>(metrics_.horizontalAdvance(text_.at(at)));
    }
    return width;
}

int MessageText::CharLength(int at) const {
    return text_.at(at).isHighSurrogate() && at + 1 < text_.size() &&
                   text_.at(at + 1).isLowSurrogate()
               ? 2
               : 1;
}

qreal MessageText::Advance(int from, int to) const {
    qreal x = 0;
    for (int at = from; at < to; at += CharLength(at)) {
        x += CharWidth(at);
    }
    return x;
}

qreal MessageText::NaturalWidth(qreal limit) const {
    // Stops at the limit: a longer line wraps anyway.
    qreal widest = 0;
    qreal x = 0;
    for (int at = 0; at < text_.size(); at += CharLength(at)) {
        if (text_.at(at) == QLatin1Char('\n')) {
            x = 0;
            continue;
        }
        x += CharWidth(at);
        widest = std::max(widest, x);
        if (widest > limit) {
            break;
        }
    }
    return widest;
}

void MessageText::Wrap(int width) {
    if (width == wrapWidth_) {
        return;
    }
    wrapWidth_ = width;
    rows_.clear();
    const int size = static_cast<int>(text_.size());
    for (int start = 0;;) {
        int end = static_cast<int>(text_.indexOf(QLatin1Char('\n'), start));
        end = end < 0 ? size : end;
        WrapLine(start, end, width);
        if (end == size) {
            break;
        }
        start = end + 1;
    }
    UpdateScrollBar();
    viewport()->update();
}

void MessageText::WrapLine(int from, int to, qreal width) {
    if (width >= kUnwrapped || Advance(from, to) <= width) {
        rows_.push_back({from, to});
        return;
    }
    // Break opportunities of the line (after a blank, between ideographs,
    // never before "。" or "）"), as positions in text_. A run of ASCII
    // letters and digits has none: the finder is spared a megabyte of them.
    std::vector<int> breaks;
    const bool plainRun = std::all_of(text_.cbegin() + from, text_.cbegin() + to, [](QChar c) {
        return c.unicode() < 0x80 && c.isLetterOrNumber();
    });
    QTextBoundaryFinder finder(QTextBoundaryFinder::Line, text_.constData() + from,
                               plainRun ? 0 : to - from);
    for (qsizetype at = finder.toNextBoundary(); at > 0 && at < to - from;
         at = finder.toNextBoundary()) {
        breaks.push_back(from + static_cast<int>(at));
    }
    auto nextBreak = breaks.begin();
    int rowStart = from;
    int lastBreak = -1;
    qreal x = 0;
    qreal xAtBreak = 0;
    for (int at = from; at < to; at += CharLength(at)) {
        for (; nextBreak != breaks.end() && *nextBreak <= at; ++nextBreak) {
            lastBreak = *nextBreak;
            xAtBreak = x;
        }
        const qreal w = CharWidth(at);
        // Blanks may hang past the edge; anything else starts a new row.
        if (x + w > width && at > rowStart && !text_.at(at).isSpace()) {
            if (lastBreak > rowStart) {
                rows_.push_back({rowStart, lastBreak});
                rowStart = lastBreak;
                x -= xAtBreak;
            }
            if (x + w > width && at > rowStart) {
                rows_.push_back({rowStart, at});  // a run without opportunities
                rowStart = at;
                x = 0;
            }
            lastBreak = -1;
        }
        x += w;
    }
    rows_.push_back({rowStart, to});
}

int MessageText::RowOf(int position) const {
    // The last row starting at or before the position: a position where a
    // wrapped row ends belongs to the row after it.
    const auto after = std::upper_bound(rows_.begin(), rows_.end(), position,
                                        [](int p, const Row& r) { return p < r.start; });
    return std::max(0, static_cast<int>(after - rows_.begin()) - 1);
}

int MessageText::LineHeight() const {
    return qCeil(metrics_.lineSpacing());
}

int MessageText::VisibleRows() const {
    return std::max(1, viewport()->height() / LineHeight());
}

void MessageText::UpdateScrollBar() {
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, std::max(0, static_cast<int>(rows_.size()) - VisibleRows()));
    bar->setPageStep(VisibleRows());
    bar->setSingleStep(1);
}

void MessageText::MoveCursor(int position, bool extend) {
    Select(extend ? anchor_ : position, position);
}

int MessageText::Moved(QKeyEvent* event, bool* extend) {
    enum Move {
        kBack,
        kForth,
        kUp,
        kDown,
        kRowStart,
        kRowEnd,
        kTextStart,
        kTextEnd,
        kPageUp,
        kPageDown
    };
    using K = QKeySequence;
    static constexpr struct {
        K::StandardKey move, select;
        Move where;
    } kMoves[] = {
        {K::MoveToPreviousChar, K::SelectPreviousChar, kBack},
        {K::MoveToNextChar, K::SelectNextChar, kForth},
        {K::MoveToPreviousLine, K::SelectPreviousLine, kUp},
        {K::MoveToNextLine, K::SelectNextLine, kDown},
        {K::MoveToStartOfLine, K::SelectStartOfLine, kRowStart},
        {K::MoveToEndOfLine, K::SelectEndOfLine, kRowEnd},
        {K::MoveToStartOfDocument, K::SelectStartOfDocument, kTextStart},
        {K::MoveToEndOfDocument, K::SelectEndOfDocument, kTextEnd},
        {K::MoveToPreviousPage, K::SelectPreviousPage, kPageUp},
        {K::MoveToNextPage, K::SelectNextPage, kPageDown},
    };
    for (const auto& m : kMoves) {
        if (!event->matches(m.move) && !event->matches(m.select)) {
            continue;
        }
        *extend = event->matches(m.select);
        const bool vertical =
            m.where == kUp || m.where == kDown || m.where == kPageUp || m.where == kPageDown;
        if (!vertical) {
            goalX_ = -1;
        }
        const bool collapse = !*extend && selectionStart() < selectionEnd();
        const int row = RowOf(cursor_);
        const Row& r = rows_[static_cast<size_t>(row)];
        switch (m.where) {
            case kBack:
                if (collapse) {
                    return selectionStart();
                }
                return cursor_ > 1 && text_.at(cursor_ - 1).isLowSurrogate() &&
                               text_.at(cursor_ - 2).isHighSurrogate()
                           ? cursor_ - 2
                           : std::max(0, cursor_ - 1);
            case kForth:
                if (collapse) {
                    return selectionEnd();
                }
                return cursor_ < text_.size() ? cursor_ + CharLength(cursor_) : cursor_;
            case kRowStart:
                return r.start;
            case kRowEnd:
                return r.end;
            case kTextStart:
                return 0;
            case kTextEnd:
                return static_cast<int>(text_.size());
            default:
                break;
        }
        const int rows = m.where == kUp || m.where == kDown ? 1 : VisibleRows();
        const int target = std::clamp(row + (m.where == kUp || m.where == kPageUp ? -rows : rows),
                                      0, static_cast<int>(rows_.size()) - 1);
        if (goalX_ < 0) {
            goalX_ = Advance(r.start, cursor_);
        }
        const int lineHeight = LineHeight();
        return PositionAt(
            QPoint(qRound(goalX_), (target - verticalScrollBar()->value()) * lineHeight));
    }
    return -1;
}

void MessageText::TellAccessibility() {
    if (!QAccessible::isActive()) {
        return;
    }
    QAccessibleTextCursorEvent moved(this, cursor_);
    QAccessible::updateAccessibility(&moved);
    QAccessibleTextSelectionEvent selected(this, selectionStart(), selectionEnd());
    QAccessible::updateAccessibility(&selected);
}

}  // namespace vesmira
