#pragma once

#include "tools/emulator/emulatedprojector.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// Reads a fleet of emulated projectors: a JSON array of objects, or {"projectors": [...]},
// whose keys are the EmulatorConfig fields ("class" for pjlinkClass; pairs as [1, 1]).
// Unknown keys and wrong types are errors, so a typo never passes for a default.
bool parseFleetConfig(const QByteArray &json, std::vector<EmulatorConfig> *fleet, QString *error);

// What --help says of the configuration: every key and its meaning.
QString fleetConfigHelp();
// Every key a projector may have.
QStringList fleetConfigKeys();
