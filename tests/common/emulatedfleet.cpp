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
    if (m_nextHost > kLastEmulatedHost) {
        qWarning("out of loopback addresses");
        return nullptr;
    }
    config.address = QString(m_prefix + QString::number(m_nextHost++)).toStdString();
    config.port = 4352;
    config.name = name.toStdString();
    auto emulator = std::make_unique<EmulatedProjector>(config);
    std::string error;
    if (!emulator->start(&error)) {
        qWarning("emulator on %s: %s", config.address.c_str(), error.c_str());
        return nullptr;
    }
    m_emulators.push_back(std::move(emulator));
    return m_emulators.back().get();
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
