#include "tools/lumarinctl/fallbacknotice.h"

#include "platform/echo.h"
#include "res/stringtable.h"
#include "tools/lumarinctl/ctlstrings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

QString NoticeText(int port)
{
    return FormatText(LoadString(CTL_TCP_FALLBACK), {QString::number(port)});
}

// True when this call created the marker: the notice has not been given before.
bool CreateMarker()
{
    const QString path = FallbackMarkerPath();
    if (path.isEmpty() || QFile::exists(path))
        return false;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile marker(path);
    // NewOnly: of two runs racing here, one tells.
    return marker.open(QIODevice::WriteOnly | QIODevice::NewOnly) || !QFile::exists(path);
}

} // namespace

QString FallbackMarkerPath()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state)) {
        const QString home = QDir::homePath();
        if (home.isEmpty())
            return QString();
        state = home + u"/.local/state"_s;
    }
    // A home directory shared between machines keeps one marker per machine.
    return state + u"/lumarin/tcp-fallback-noticed."_s + QSysInfo::machineHostName();
}

void InstallFallbackNotice(bool verbose)
{
    platform::SetTcpFallbackNotice([verbose](int port) {
        if (verbose || CreateMarker())
            QTextStream(stderr) << NoticeText(port) << Qt::endl;
    });
}
