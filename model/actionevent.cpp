#include "model/actionevent.h"

#include "res/stringids.h"
#include "res/stringtable.h"

#include <QTime>

using namespace Qt::StringLiterals;

ActionEvent::ActionEvent(const QString &source, const QString &message, int level)
    : m_source(source), m_message(message), m_dateTime(QDateTime::currentDateTime()),
      m_time(m_dateTime.time().toString(u"HH:mm:ss"_s)), m_level(level)
{}

QString ActionEvent::LevelText() const
{
    return LoadString(STR_LEVEL_BASE + m_level);
}

QString ActionEvent::LogLine() const
{
    return LevelText() % u'\t' % m_time % u"  "_s % m_message % u"  "_s % m_source % u"\r\n"_s;
}
