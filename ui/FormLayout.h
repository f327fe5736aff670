#pragma once

// Window layouts as declared data: each window is one table of its controls
// with position, size, initial text, tab order and font, and one builder.

#include <QPoint>
#include <QRect>
#include <QRgb>
#include <QSize>
#include <QWidget>
#include <span>

class QFont;

namespace vesmira {

// The font every window asks for; resolved to an installed Japanese gothic
// where it is missing (see PrepareApplication).
inline constexpr char kFormFontFamily[] = "ＭＳ Ｐゴシック";
inline constexpr int kFormFontPixels = 12;

enum class ControlKind { kLabel, kEdit, kCombo, kCheck, kButton };

struct ControlLayout {
    const char* name;  // object name, as the code refers to the control
    ControlKind kind;
    QRect geometry;  // client pixels; a label of size 0 sizes itself to its text
    const char* text = "";
    // What a screen reader calls a control that shows no text of its own (an
    // edit field, a combo box and its text part). Controls that show text are
    // read by it, and follow it when it changes.
    const char* accessibleName = nullptr;
    const char* accessibleDescription = nullptr;
    const char* labelFor = nullptr;  // a label: the field it names (buddy)
    const char* shortcut = nullptr;  // a key that moves the focus here
    int tabOrder = -1;               // -1: takes no focus
    bool tabStop = true;             // false: skipped by Tab, still reached by the mouse
    bool defaultButton = false;
    std::span<const char* const> items = {};  // combo box items; item 0 selected
    int fontPixels = 0;                       // 0: the window's font
    bool boldItalic = false;
    QRgb textColor = 0;  // 0: the window's text colour
};

struct WindowLayout {
    const char* caption;
    QPoint position;
    QSize size;  // client area of a step window; the restored size of the backdrop
    std::span<const ControlLayout> controls;
    // The field that has the focus whenever the window takes over from the
    // other step window.
    const char* entryField = nullptr;
};

// The window font at a pixel size.
QFont FormFont(int pixels = kFormFontPixels, bool boldItalic = false);

// Sets caption, position, size and font of a window from its table.
void BuildFrame(QWidget* form, const WindowLayout& layout);

// Creates the controls of a window from its table.
void BuildControls(QWidget* form, const WindowLayout& layout);

// Both: the whole window.
void BuildForm(QWidget* form, const WindowLayout& layout);

// A control built from a table, by name.
template <typename T>
T* Control(QWidget* form, const char* name) {
    return form->findChild<T*>(QString::fromUtf8(name), Qt::FindDirectChildrenOnly);
}

}  // namespace vesmira
