#pragma once

#include <QByteArrayView>
#include <QList>
#include <QMap>
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

// The text of a numbered entry in the given language (Auto: the current language), whatever the
// current language is; empty when there is no such entry.
QString LoadStringFor(int id, StringLanguage language);

// Every id of a language's table, ascending (Auto: the current language).
QList<int> StringTableIds(StringLanguage language);

// Parses one table file: UTF-8, one "ID<TAB>TEXT" entry per line, '#' comments, and the escapes
// backslash-n, backslash-t and a doubled backslash in the text. A malformed line, a repeated id
// or an id out of ascending order is described in problems, if given; malformed lines and
// repeats are skipped (the first of two entries wins).
QMap<int, QString> ParseStringTable(QByteArrayView utf8, QStringList *problems = nullptr);
