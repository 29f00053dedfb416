#pragma once

#include "tests/common/messagesinks.h"
#include "tests/common/emulatedfleet.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class CVantelDoc;
class Group;
class Projector;

// A document on an empty register in a temporary directory that is also the working directory,
// with messages silenced, the library initialised and a response wait time of 1 second, and
// a fleet of emulated projectors to register in it. Open in a test's init, Close in its
// cleanup.
class DocumentFixture
{
public:
    explicit DocumentFixture(int block) : m_fleet(block) {}
    ~DocumentFixture();

    DocumentFixture(const DocumentFixture &) = delete;
    DocumentFixture &operator=(const DocumentFixture &) = delete;

    bool Open(); // false, with a warning, when the document could not be set up
    void Close();

    CVantelDoc &Doc() const { return *m_doc; }
    EmulatedFleet &Fleet() { return m_fleet; }
    QString TempPath() const;

    EmulatedProjector *Emulate(const QString &name, EmulatorConfig config = EmulatorConfig())
    {
        return m_fleet.Emulate(name, std::move(config));
    }
    // Registers the emulated projector under the name it reports, in group (nullptr: "/").
    Projector *Register(const EmulatedProjector &emulator, const Group *group = nullptr,
                        const QString &password = QString());
    Group *AddGroup(Group *parent, const QString &name);
    // Every registered projector refreshed on this thread, so that it counts as having
    // answered; then the emulators' commands and the event queue are cleared.
    void RefreshAll();

private:
    EmulatedFleet m_fleet;
    SilentMessageSink m_sink;
    QString m_previousDir;
    std::unique_ptr<QTemporaryDir> m_tempDir;
    std::unique_ptr<CVantelDoc> m_doc;
};

// Pending events as "source: message", oldest first; the queue is emptied.
QStringList TakeEvents();
// The register's event.log (the working directory holds the register), "<missing>" when there
// is none.
QByteArray ReadEventLog();
