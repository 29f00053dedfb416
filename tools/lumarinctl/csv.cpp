#include "tools/lumarinctl/csv.h"

#include "res/stringtable.h"
#include "tools/lumarinctl/ctlstrings.h"

using namespace Qt::StringLiterals;

bool ParseCsv(const QByteArray &utf8, std::vector<CsvRow> &rows, QString *error)
{
    QString text = QString::fromUtf8(utf8);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);

    rows.clear();
    CsvRow row;
    QString field;
    bool quoted = false;     // inside a quoted field
    bool afterQuote = false; // a quoted field just closed: only a separator may follow
    bool rowHasText = false;
    int line = 1;
    row.line = 1;
    const auto fail = [&](int at) {
        if (error)
            *error = FormatText(LoadString(CTL_CSV_QUOTES), {QString::number(at)});
        return false;
    };
    const auto endField = [&] {
        row.fields << field;
        field.clear();
        afterQuote = false;
    };
    const auto endRow = [&] {
        endField();
        if (rowHasText || row.fields.size() > 1)
            rows.push_back(row);
        row = CsvRow();
        row.line = line;
        rowHasText = false;
    };

    int quoteLine = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < text.size() && text[i + 1] == u'"') {
                    field += u'"';
                    ++i;
                } else {
                    quoted = false;
                    afterQuote = true;
                }
            } else {
                if (c == u'\n')
                    ++line;
                field += c;
            }
            continue;
        }
        if (c == u',') {
            endField();
        } else if (c == u'\n' || c == u'\r') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            ++line;
            endRow();
        } else if (afterQuote) {
            return fail(line);
        } else if (c == u'"' && field.trimmed().isEmpty()) {
            field.clear();
            quoted = true;
            quoteLine = line;
            rowHasText = true;
        } else {
            field += c;
            rowHasText = true;
        }
    }
    if (quoted)
        return fail(quoteLine);
    if (rowHasText || !field.isEmpty() || !row.fields.isEmpty())
        endRow();
    return true;
}
