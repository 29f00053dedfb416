#include "store/settingslocation.h"

#include "platform/profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

using namespace Qt::StringLiterals;

namespace {

// Every write replaces the file through a temporary file beside it, so the directory itself
// must take new files; a probe answers that for read-only mounts and ACLs too.
bool CanCreateFilesIn(const QString &directory, const QString &baseName)
{
    QTemporaryFile probe(QDir(directory).filePath(baseName + u".probe-XXXXXX"_s));
    return probe.open();
}

// The directories that hold a system's programs and nothing else: an installed package's
// program keeps no settings there, even for root, who could write them.
bool IsSystemProgramDirectory(const QString &directory)
{
    static const QStringList system{
        u"/bin"_s,       u"/sbin"_s,          u"/usr/bin"_s,        u"/usr/sbin"_s,
        u"/usr/games"_s, u"/usr/local/bin"_s, u"/usr/local/sbin"_s, u"/usr/local/games"_s};
    const QString canonical = QFileInfo(directory).canonicalFilePath();
    return system.contains(canonical.isEmpty() ? directory : canonical);
}

} // namespace

QString ResolveSettingsPathFor(const QString &executablePath, const QString &configDir)
{
    const QFileInfo executable(executablePath);
    const QString baseName = executable.completeBaseName();
    const QString iniName = baseName + u".ini"_s;

    const QString configured = platform::GetProfileString(QDir(configDir).filePath(baseName),
                                                          u"Profile", u"file", QString());
    if (!configured.isEmpty())
        return configured;

    const QString besideDirectory = executable.absolutePath();
    const QString beside = QDir(besideDirectory).filePath(iniName);
    if (!IsSystemProgramDirectory(besideDirectory) && CanCreateFilesIn(besideDirectory, baseName)) {
        QDir::setCurrent(besideDirectory);
        return beside;
    }

    const QString userDirectory = QDir(configDir).filePath(baseName);
    QDir().mkpath(userDirectory);
    QDir::setCurrent(userDirectory);
    const QString path = QDir(userDirectory).filePath(iniName);
    if (!QFileInfo::exists(path) && QFileInfo(beside).isReadable() && QFile::copy(beside, path))
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return path;
}

QString EventLogPathFor(const QString &settingsPath)
{
    if (settingsPath.isEmpty())
        return QString();
    return QFileInfo(settingsPath).absoluteDir().filePath(u"event.log"_s);
}
