#include "tools/lumarinctl/report.h"

#include "model/projector.h"
#include "model/projectorcells.h"
#include "store/actioneventmanager.h"
#include "tools/lumarinctl/projectorjson.h"

#include <QJsonDocument>
#include <QTextStream>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QTextStream &StandardOutput()
{
    static QTextStream out(stdout);
    return out;
}

} // namespace

void Report::Line(const QString &text)
{
    if (!m_json)
        StandardOutput() << text << Qt::endl;
}

void Report::Table(const QList<QStringList> &rows)
{
    if (!m_json)
        StandardOutput() << FormatTable(rows) << Qt::flush;
}

void Report::Set(const QString &key, const QJsonValue &value)
{
    if (m_json)
        m_document.insert(key, value);
}

void Report::Projectors(const QString &key, const std::vector<Projector *> &projectors)
{
    if (m_json) {
        QJsonArray array;
        for (Projector *projector : projectors)
            array.append(ProjectorStatusJson(*projector));
        m_document.insert(key, array);
        return;
    }
    QList<QStringList> rows{ProjectorColumnTitles()};
    for (Projector *projector : projectors)
        rows << GetProjectorCells(*projector).ToList();
    Table(rows);
}

void Report::Events()
{
    ActionEventManager *events = ActionEventManager::GetInstance();
    m_hasEvents = true;
    while (std::unique_ptr<ActionEvent> event = events->TakeOldest()) {
        if (m_json)
            m_events.append(EventJson(*event));
        else
            StandardOutput() << event->LogLine().trimmed() << Qt::endl;
    }
}

void Report::JsonLine(const QJsonObject &object)
{
    if (!m_json)
        return;
    m_streamed = true;
    StandardOutput() << QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact))
                     << Qt::endl;
}

void Report::Finish(int exitStatus, const QStringList &messages)
{
    if (!m_json)
        return;
    m_document.insert(u"schema"_s, kJsonSchema);
    m_document.insert(u"ok"_s, exitStatus == 0);
    m_document.insert(u"exitStatus"_s, exitStatus);
    m_document.insert(u"messages"_s, QJsonArray::fromStringList(messages));
    if (m_hasEvents)
        m_document.insert(u"events"_s, m_events);
    StandardOutput() << QString::fromUtf8(QJsonDocument(m_document)
                                              .toJson(m_streamed ? QJsonDocument::Compact
                                                                 : QJsonDocument::Indented))
                     << (m_streamed ? "\n" : "") << Qt::flush;
}

QString FormatTable(const QList<QStringList> &rows)
{
    QList<qsizetype> widths;
    for (const QStringList &row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (widths.size() <= i)
                widths.append(0);
            widths[i] = std::max(widths[i], DisplayWidth(row[i]));
        }
    }
    QString text;
    for (const QStringList &row : rows) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size())
                line += QString(widths[i] + 2 - DisplayWidth(row[i]), u' ');
        }
        while (line.endsWith(u' '))
            line.chop(1);
        text += line + u'\n';
    }
    return text;
}

qsizetype DisplayWidth(const QString &text)
{
    qsizetype width = 0;
    for (const char32_t c : text.toUcs4()) {
        const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                          (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                          (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                          (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
        width += wide ? 2 : 1;
    }
    return width;
}
