#pragma once

#include "tools/emulator/emulatedprojector.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// Projectors emulated in this process, each on a loopback address of its own in the suite's
// block 127.<block>.<run>.0/24. The third octet is drawn from the process id, so that two
// runs of one suite at the same time (another checkout on this machine) do not fight over the
// addresses; it stays within 10 to 209, so the suite may use 127.<block>.0 to .9 for fixed
// addresses of its own.
class EmulatedFleet
{
public:
    explicit EmulatedFleet(int block);
    ~EmulatedFleet();

    EmulatedFleet(const EmulatedFleet &) = delete;
    EmulatedFleet &operator=(const EmulatedFleet &) = delete;

    // A running emulator named name (the name the projector reports) on the next free address
    // (hosts 1 to 199); nullptr and a warning when none is left.
    EmulatedProjector *Emulate(const QString &name, EmulatorConfig config = EmulatorConfig());
    // An address of the run's block where nothing listens (host 200 to 254).
    QString SilentAddress(int host = 250) const;

    const std::vector<std::unique_ptr<EmulatedProjector>> &Emulators() const { return m_emulators; }
    void ClearReceivedCommands();
    // Stops every emulator; addresses are given out from the first again.
    void Clear();

private:
    QString m_prefix; // "127.<block>.<run>."
    std::vector<std::unique_ptr<EmulatedProjector>> m_emulators;
    int m_nextHost = 1;
};

// What the emulator received after authentication, as "POWR 1", in order.
QStringList ReceivedCommands(const EmulatedProjector &emulator);
QString AddressOf(const EmulatedProjector &emulator);
