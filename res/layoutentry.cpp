#include "res/layoutentry.h"

#include <QStringList>

#include <array>

using namespace Qt::StringLiterals;

namespace {

// A decimal integer, optionally signed, nothing else.
std::optional<int> ParseNumber(QStringView text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || text.isEmpty() || text.front() == u'+' || text.contains(u' '))
        return std::nullopt;
    return value;
}

std::optional<QRect> RectFrom(const std::array<QStringView, 4> &fields)
{
    std::array<int, 4> numbers{};
    for (size_t i = 0; i < fields.size(); ++i) {
        const std::optional<int> number = ParseNumber(fields[i]);
        if (!number)
            return std::nullopt;
        numbers[i] = *number;
    }
    const auto [top, bottom, left, right] = numbers;
    if (bottom < top || right < left)
        return std::nullopt;
    return QRect(left, top, right - left, bottom - top);
}

} // namespace

std::optional<LayoutEntry> ParseLayoutEntry(const QString &text, LayoutForm form)
{
    LayoutEntry entry;
    if (form == LayoutForm::CommaSeparated) {
        const QList<QStringView> fields = QStringView(text).split(u',');
        if (fields.size() != 5 || fields[0].isEmpty())
            return std::nullopt;
        const std::optional<QRect> rect = RectFrom({fields[1], fields[2], fields[3], fields[4]});
        if (!rect)
            return std::nullopt;
        entry.caption = fields[0].toString();
        entry.rect = *rect;
        return entry;
    }

    const QList<QStringView> fields =
        QStringView(text).split(u' ', Qt::SkipEmptyParts); // blanks between fields, any number
    const qsizetype words = form == LayoutForm::WordAndNumbers ? 1 : 0;
    if (fields.size() != 4 + words)
        return std::nullopt;
    if (words) {
        if (fields[0].size() > MAX_LAYOUT_WORD)
            return std::nullopt;
        entry.caption = fields[0].toString();
    }
    const std::optional<QRect> rect =
        RectFrom({fields[words], fields[words + 1], fields[words + 2], fields[words + 3]});
    if (!rect)
        return std::nullopt;
    entry.rect = *rect;
    return entry;
}
