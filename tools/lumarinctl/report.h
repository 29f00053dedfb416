#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <vector>

class Projector;

// What a command prints on standard output: lines of text, or with --json one JSON document
// written at the end. Messages to the user are not part of it (they go to standard error);
// the JSON document repeats them under "messages".
class Report
{
public:
    explicit Report(bool json) : m_json(json) {}

    bool IsJson() const { return m_json; }

    // Text mode only; ignored with --json.
    void Line(const QString &text = QString());
    void Table(const QList<QStringList> &rows); // the first row is the heading
    // JSON mode only; ignored in text mode.
    void Set(const QString &key, const QJsonValue &value);

    // The cells of each projector: a table in text mode, status objects under key in JSON.
    void Projectors(const QString &key, const std::vector<Projector *> &projectors);
    // Takes every event queued since the last call: log lines in text mode, "events" in JSON.
    void Events();

    // A command that prints as it goes (watch): with --json one compact object per line, and
    // Finish then writes its document on one line as well.
    void JsonLine(const QJsonObject &object);

    // Writes the JSON document with "ok" (exit status 0) and the messages shown.
    void Finish(int exitStatus, const QStringList &messages);

private:
    bool m_json;
    QJsonObject m_document;
    QJsonArray m_events;
    bool m_hasEvents = false; // Events was called: the document gets "events", maybe empty
    bool m_streamed = false;  // JsonLine was called
};

// Columns a text takes on a terminal: East Asian wide and full-width characters take two.
qsizetype DisplayWidth(const QString &text);

// Rows padded to aligned columns, the last column unpadded.
QString FormatTable(const QList<QStringList> &rows);
