#pragma once

#include "platform/settingscodec.h"
#include "tools/emulator/emulatedprojector.h"

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <memory>

// Starts an emulated projector for CONFIG; null (and a line on standard error) when it cannot.
inline std::unique_ptr<EmulatedProjector> StartEmulated(const EmulatorConfig &config)
{
    auto projector = std::make_unique<EmulatedProjector>(config);
    std::string error;
    if (!projector->start(&error)) {
        std::fprintf(stderr, "emulator: %s\n", error.c_str());
        return nullptr;
    }
    return projector;
}

// The settings file's [Projector] line for the emulated projector CONFIG as entry INDEX, in
// the root group and without a password.
inline QByteArray RegisterLine(int index, const EmulatorConfig &config)
{
    using namespace Qt::StringLiterals;
    return QString(u"%1=%2:%3:%4:M:%5\r\n"_s)
        .arg(index)
        .arg(platform::EncodeText(QString::fromStdString(config.name)),
             QString::fromStdString(config.address), platform::ScramblePassword(QString()),
             platform::EncodeText(u"/"_s))
        .toLatin1();
}
