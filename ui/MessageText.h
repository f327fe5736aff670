#pragma once

#include <QAbstractScrollArea>
#include <QFontMetricsF>
#include <QString>
#include <algorithm>
#include <vector>

namespace vesmira {

// The text of a message dialog: plain text in rows wrapped to the view's
// width (at the text's line-break opportunities, and anywhere inside a run
// that has none), drawn only where visible, selectable with the mouse and the
// keyboard; the context menu offers the actions added to the view.
// Wrapping sums cached character widths, so a megabyte on one line or
// hundreds of thousands of lines take milliseconds, where the toolkit's text
// views need seconds to minutes for the same texts.
class MessageText : public QAbstractScrollArea {
    Q_OBJECT
  public:
    explicit MessageText(QWidget* parent = nullptr);

    // Lines are separated by "\n". Clears the selection and scrolls to the top.
    void SetText(const QString& text);
    const QString& text() const { return text_; }

    // The size that shows the text wrapped to at most maxWidth, at most
    // maxHeight high; a taller text scrolls, its scroll bar within maxWidth.
    QSize SizeFor(int maxWidth, int maxHeight);

    int cursorPosition() const { return cursor_; }
    int selectionStart() const { return std::min(anchor_, cursor_); }
    int selectionEnd() const { return std::max(anchor_, cursor_); }
    QString SelectedText() const;
    void Select(int anchor, int cursor);
    void SelectAll() { Select(0, static_cast<int>(text_.size())); }

    // Where a character lies in the viewport, and which position a point of
    // the viewport is nearest to.
    QRect CharacterRect(int position) const;
    int PositionAt(QPoint point) const;
    // Scrolls the least that brings the position into view.
    void ShowPosition(int position);

  protected:
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    struct Row {
        int start;
        int end;  // excludes the "\n" that may follow
    };

    qreal Advance(int from, int to) const;
    qreal CharWidth(int at) const;
    int CharLength(int at) const;
    qreal NaturalWidth(qreal limit) const;
    void Wrap(int width);
    void WrapLine(int from, int to, qreal width);
    int RowOf(int position) const;
    int LineHeight() const;
    int VisibleRows() const;
    void UpdateScrollBar();
    void MoveCursor(int position, bool extend);
    int Moved(QKeyEvent* event, bool* extend);
    void TellAccessibility();

    QString text_;
    std::vector<Row> rows_;
    int wrapWidth_ = -1;
    int anchor_ = 0;
    int cursor_ = 0;
    qreal goalX_ = -1;  // kept by moves up and down
    bool dragging_ = false;
    QFontMetricsF metrics_;
    mutable std::vector<float> widths_;  // by UTF-16 code unit; negative: not yet measured
};

}  // namespace vesmira
