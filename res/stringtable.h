#pragma once

#include <QString>
#include <QStringList>

// The numbered string table in English and Japanese, embedded in the program.

enum class StringLanguage { Auto, English, Japanese };

// Auto follows the user's locale: Japanese for a "ja" locale, English otherwise.
void SetStringLanguage(StringLanguage language);
StringLanguage CurrentStringLanguage(); // English or Japanese, never Auto

// The text of a numbered entry in the current language; empty when there is no such entry.
QString LoadString(int id);

// Fills a printf-style format: every %d and %s takes the next argument in order, %% is a
// percent sign. Missing arguments leave the conversion empty; extra arguments are dropped.
QString FormatText(const QString &format, const QStringList &args);
