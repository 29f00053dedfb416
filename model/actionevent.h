#pragma once

#include <QDateTime>
#include <QString>

// One entry of the event log: which projector, what happened, when, and how bad.
class ActionEvent
{
public:
    enum Level { Information = 0, Warning = 1, Error = 2, Debug = 9 };

    // The time is taken now, as local "%H:%M:%S".
    ActionEvent(const QString &source, const QString &message, int level);

    const QString &GetSource() const { return m_source; }
    const QString &GetMessage() const { return m_message; }
    const QString &GetTime() const { return m_time; }
    const QDateTime &GetDateTime() const { return m_dateTime; } // local, when it was created
    int GetLevel() const { return m_level; }
    QString LevelText() const; // string 230 + level

    // The line written to "event.log", CR LF included.
    QString LogLine() const;

private:
    QString m_source;
    QString m_message;
    QDateTime m_dateTime;
    QString m_time;
    int m_level;
};
