#pragma once

#include <QRect>
#include <QString>

#include <optional>

// One layout entry of the string table: where a control of the main view stands, in pixels of
// the view's client area, optionally with its caption. The numbers are written in the order
// top, bottom, left, right; the rectangle runs from (left, top) to (right, bottom), the right and
// bottom edges excluded, so "165 410 200 750" is 550 x 245 pixels at (200, 165).
struct LayoutEntry
{
    QString caption; // empty for form A
    QRect rect;
};

// The three forms an entry comes in.
enum class LayoutForm {
    Numbers,        // "top bottom left right"
    WordAndNumbers, // "Caption top bottom left right": a caption of one word
    CommaSeparated, // "Caption,top,bottom,left,right": the caption may hold blanks
};

// The longest caption a one-word entry takes.
inline constexpr int MAX_LAYOUT_WORD = 24;

// Parses text in the given form. Nothing (std::nullopt) for text that does not match the form
// exactly: a missing or surplus field, a number that is not a decimal integer, a word longer
// than MAX_LAYOUT_WORD, or a rectangle whose bottom lies above its top or right left of its left.
std::optional<LayoutEntry> ParseLayoutEntry(const QString &text, LayoutForm form);
