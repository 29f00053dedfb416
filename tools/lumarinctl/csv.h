#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// Comma-separated values as spreadsheets write them: UTF-8 (a byte order mark is skipped),
// fields separated by commas, a field in double quotes may hold commas, line ends and doubled
// quotes; lines end in LF or CR LF. Empty lines are skipped.
struct CsvRow
{
    int line = 0; // where the row starts, from 1
    QStringList fields;
};

// False, with error set, when a quoted field is not closed or text follows a closing quote.
bool ParseCsv(const QByteArray &utf8, std::vector<CsvRow> &rows, QString *error);
