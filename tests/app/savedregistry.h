#pragma once

#include "platform/settingscodec.h"

#include <QFile>
#include <QString>
#include <QStringList>

// The registry a settings file holds, one line per node, sorted: "/A/B" for group B in A, and
// "/A/p1 @127.0.0.1 pw" for projector p1 in A with its address and password (nothing after the
// address when it has none). Comparing these lines tells what a restart would bring back.
inline QStringList SavedRegistry(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("(unreadable)")};
    QStringList lines;
    QString section;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QString line = QString::fromLatin1(raw).trimmed();
        if (line.startsWith(u'[')) {
            section = line;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0)
            continue;
        const QStringList fields = platform::SplitFields(line.mid(equals + 1));
        const auto join = [](const QString &groupPath, const QString &name) -> QString {
            return (groupPath.endsWith(u'/') ? groupPath : groupPath + u'/') + name;
        };
        if (section == QLatin1String("[Group]") && fields.size() == 2) {
            lines << join(platform::DecodeText(fields[1]), platform::DecodeText(fields[0]));
        } else if (section == QLatin1String("[Projector]") && fields.size() == 5) {
            QString entry = join(platform::DecodeText(fields[4]), platform::DecodeText(fields[0])) +
                            QStringLiteral(" @") + fields[1];
            const QString password = platform::UnscramblePassword(fields[2]);
            if (!password.isEmpty())
                entry += u' ' + password;
            lines << entry;
        }
    }
    lines.sort();
    return lines;
}
