#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// A network namespace that a test (or benchmark) process makes for itself, named PREFIX-PID,
// so that whatever it sends stays between adapters it created. Namespaces of the same prefix
// whose process has gone (a run killed before its clean-up) are removed first; this one is
// removed when the object goes, also when a test fails half-way.
class TestNamespace
{
public:
    explicit TestNamespace(const QString &prefix);
    ~TestNamespace();
    TestNamespace(const TestNamespace &) = delete;
    TestNamespace &operator=(const TestNamespace &) = delete;

    bool IsCreated() const { return m_created; }
    const QString &GetName() const { return m_name; }
    const QString &GetError() const { return m_error; } // of the last failed step

    // Runs `ip -n NAME args...`; false, with the error kept, when it fails.
    bool Ip(const QStringList &args);
    // Runs each step in turn, stopping at the first that fails.
    bool IpSteps(const QList<QStringList> &steps);
    // Joins this namespace to peer by a veth pair (lum0 here, lum1 there): loopback and both ends
    // up, ownCidr on lum0, peerCidr on lum1, and each of peerHosts as a /32 on the peer's
    // loopback (the projectors that live there). False at the first step that fails, its error
    // kept here.
    bool LinkTo(TestNamespace &peer, const QString &ownCidr, const QString &peerCidr,
                const QStringList &peerHosts);
    // Arguments of `ip` that run the program inside the namespace.
    QStringList ExecArgs(const QString &program, const QStringList &args = {}) const;

    // Why no namespace can be made here; empty when one can.
    static QString SkipReason();

private:
    QString m_name;
    QString m_error;
    bool m_created = false;
};

// A controller namespace joined to a fleet namespace, for searches and broadcasts that must reach
// nothing else. The controller holds NET.1 and the fleet NET.2 (NET is 10.netOctet.PID, so that
// parallel runs differ); FAR (10.farOctet.PID) is routed through the fleet, beyond any network
// the controller sweeps, for projectors that only a broadcast finds.
struct SplitNetwork
{
    SplitNetwork(const QString &prefix, int netOctet, int farOctet);

    bool IsCreated() const { return controller.IsCreated() && fleet.IsCreated(); }
    QString Error() const { return controller.GetError() + fleet.GetError(); }
    // Links the two with a /maskBits network and puts each host (in NET or FAR) on the fleet's
    // loopback; false at the first step that fails (Error says which).
    bool Link(int maskBits, const QStringList &hosts);

    TestNamespace controller; // PREFIXctl-PID
    TestNamespace fleet;      // PREFIXfleet-PID
    const QString net;
    const QString far;
};

struct ProcessRun
{
    bool finished = false; // ended by itself within the time allowed
    int exitCode = -1;
    QString output; // standard output and error, merged
};

// Runs a program to its end, killed after timeoutMs.
ProcessRun
RunProcess(const QString &program, const QStringList &args, int timeoutMs,
           const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

// For the process re-executed inside a namespace, before it probes anything: true when the only
// adapters it sees are loopback and the named ones, so that a search there cannot reach a real
// network. seen lists what it found.
bool OnlyTheseAdapters(const QStringList &names, QString *seen = nullptr);
