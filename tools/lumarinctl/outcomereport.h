#pragma once

#include "model/commandoutcome.h"

#include <QJsonObject>
#include <QString>

// The JSON object of what became of a command at one projector, for scripts; the word and the
// line for people are the core's (model/commandoutcome.h).

// name, ipAddress, groupPath, outcome, result, and the power and worst error the projector
// reported after a refusal (null when not read).
QJsonObject OutcomeJson(const ProjectorOutcome &outcome);
