#include "tests/common/testnamespace.h"

#include <QFile>
#include <QNetworkInterface>
#include <QProcess>
#include <QStandardPaths>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

bool RunIp(const QStringList &args, QString *error)
{
    const ProcessRun run = RunProcess(u"ip"_s, args, 10000);
    const bool ok = run.finished && run.exitCode == 0;
    if (!ok && error)
        *error = u"ip "_s + args.join(u' ') + u": "_s + run.output.trimmed();
    return ok;
}

void RemoveStaleNamespaces(const QString &prefix)
{
    const ProcessRun run = RunProcess(u"ip"_s, {u"netns"_s, u"list"_s}, 10000);
    if (!run.finished)
        return;
    const auto lines = run.output.split(u'\n');
    for (const QString &line : lines) {
        const QString name = line.section(u' ', 0, 0);
        if (!name.startsWith(prefix + u'-'))
            continue;
        const QString pid = name.mid(prefix.size() + 1);
        if (!QFile::exists(u"/proc/"_s + pid))
            RunIp({u"netns"_s, u"del"_s, name}, nullptr);
    }
}

} // namespace

TestNamespace::TestNamespace(const QString &prefix)
    : m_name(prefix + u'-' + QString::number(::getpid()))
{
    RemoveStaleNamespaces(prefix);
    m_created = RunIp({u"netns"_s, u"add"_s, m_name}, &m_error);
}

TestNamespace::~TestNamespace()
{
    if (m_created)
        RunIp({u"netns"_s, u"del"_s, m_name}, nullptr);
}

bool TestNamespace::Ip(const QStringList &args)
{
    return m_created && RunIp(QStringList{u"-n"_s, m_name} + args, &m_error);
}

bool TestNamespace::IpSteps(const QList<QStringList> &steps)
{
    for (const QStringList &step : steps) {
        if (!Ip(step))
            return false;
    }
    return true;
}

bool TestNamespace::LinkTo(TestNamespace &peer, const QString &ownCidr, const QString &peerCidr,
                           const QStringList &peerHosts)
{
    if (!IpSteps({{u"link"_s, u"set"_s, u"lo"_s, u"up"_s},
                  {u"link"_s, u"add"_s, u"lum0"_s, u"type"_s, u"veth"_s, u"peer"_s, u"name"_s,
                   u"lum1"_s, u"netns"_s, peer.GetName()},
                  {u"addr"_s, u"add"_s, ownCidr, u"dev"_s, u"lum0"_s},
                  {u"link"_s, u"set"_s, u"lum0"_s, u"up"_s}}))
        return false;
    QList<QStringList> steps{{u"link"_s, u"set"_s, u"lo"_s, u"up"_s},
                             {u"addr"_s, u"add"_s, peerCidr, u"dev"_s, u"lum1"_s},
                             {u"link"_s, u"set"_s, u"lum1"_s, u"up"_s}};
    for (const QString &host : peerHosts)
        steps.append({u"addr"_s, u"add"_s, host + u"/32"_s, u"dev"_s, u"lo"_s});
    if (peer.IpSteps(steps))
        return true;
    m_error = peer.GetError();
    return false;
}

SplitNetwork::SplitNetwork(const QString &prefix, int netOctet, int farOctet)
    : controller(prefix + u"ctl"_s), fleet(prefix + u"fleet"_s),
      net(u"10.%1.%2"_s.arg(netOctet).arg(::getpid() % 250)),
      far(u"10.%1.%2"_s.arg(farOctet).arg(::getpid() % 250))
{}

bool SplitNetwork::Link(int maskBits, const QStringList &hosts)
{
    const QString mask = u"/"_s + QString::number(maskBits);
    return controller.LinkTo(fleet, net + u".1"_s + mask, net + u".2"_s + mask, hosts) &&
           controller.Ip({u"route"_s, u"add"_s, far + u".0/24"_s, u"via"_s, net + u".2"_s});
}

QStringList TestNamespace::ExecArgs(const QString &program, const QStringList &args) const
{
    return QStringList{u"netns"_s, u"exec"_s, m_name, program} + args;
}

QString TestNamespace::SkipReason()
{
    if (::geteuid() != 0)
        return u"needs root to create a network namespace"_s;
    if (QStandardPaths::findExecutable(u"ip"_s).isEmpty())
        return u"the ip tool (iproute2) is not installed"_s;
    return {};
}

ProcessRun RunProcess(const QString &program, const QStringList &args, int timeoutMs,
                      const QProcessEnvironment &environment)
{
    ProcessRun run;
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        run.output = QString::fromLocal8Bit(process.readAll());
        return run;
    }
    run.finished = process.exitStatus() == QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.output = QString::fromLocal8Bit(process.readAll());
    return run;
}

bool OnlyTheseAdapters(const QStringList &names, QString *seen)
{
    bool only = true;
    QStringList found;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &adapter : interfaces) {
        found << adapter.name();
        const bool loopback = adapter.flags().testFlag(QNetworkInterface::IsLoopBack);
        only = only && (loopback || names.contains(adapter.name()));
    }
    if (seen)
        *seen = found.join(u", "_s);
    return only && !found.isEmpty();
}
