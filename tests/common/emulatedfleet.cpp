#include "tests/common/emulatedfleet.h"

#include <QtGlobal>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int kLastEmulatedHost = 199;

} // namespace

EmulatedFleet::EmulatedFleet(int block)
    : m_prefix(u"127.%1.%2."_s.arg(block).arg(10 + int(::getpid() % 200)))
{}

EmulatedFleet::~EmulatedFleet() = default;

EmulatedProjector *EmulatedFleet::Emulate(const QString &name, EmulatorConfig config)
{
    config.port = 4352;
    config.name = name.toStdString();
    // Another run may still hold an address (the octet drawn from the process id is not
    // unique): the next one is taken then.
    std::string error;
    while (m_nextHost <= kLastEmulatedHost) {
        config.address = QString(m_prefix + QString::number(m_nextHost++)).toStdString();
        auto emulator = std::make_unique<EmulatedProjector>(config);
        if (emulator->start(&error)) {
            m_emulators.push_back(std::move(emulator));
            return m_emulators.back().get();
        }
    }
    qWarning("no emulator address left: %s", error.c_str());
    return nullptr;
}

QString EmulatedFleet::SilentAddress(int host) const
{
    Q_ASSERT(host > kLastEmulatedHost && host < 255);
    return m_prefix + QString::number(host);
}

void EmulatedFleet::ClearReceivedCommands()
{
    for (const auto &emulator : m_emulators)
        emulator->clearReceivedCommands();
}

void EmulatedFleet::Clear()
{
    m_emulators.clear();
    m_nextHost = 1;
}

QStringList ReceivedCommands(const EmulatedProjector &emulator)
{
    QStringList commands;
    for (const std::string &command : emulator.receivedCommands())
        commands.append(QString::fromStdString(command));
    return commands;
}

QString AddressOf(const EmulatedProjector &emulator)
{
    return QString::fromStdString(emulator.config().address);
}
