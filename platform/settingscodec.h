#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// The text encodings of the settings file's fields.

// ':' becomes "\:", then every UTF-16 code unit four lowercase hex digits.
QString EncodeText(const QString &text);
// Inverse of EncodeText: groups of four hex digits, then "\:" back to ':'.
QString DecodeText(const QString &field);

// Each character's low byte with its two halves swapped, as two lowercase hex digits; the high
// byte is lost, so only characters up to U+00FF survive.
QString ScramblePassword(const QString &password);
QString UnscramblePassword(const QString &field);

// Splits a line's value at ':'; a ':' directly after '\' does not split and replaces that '\'.
QStringList SplitFields(const QString &value);

} // namespace platform
