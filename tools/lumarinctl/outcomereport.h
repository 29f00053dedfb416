#pragma once

#include "store/commandoutcome.h"

#include <QJsonObject>
#include <QString>

// How lumarinctl tells what became of a command at each projector: a fixed English word and
// a JSON object for scripts, a line in the user's language for people.

// "done", "out-of-range", "unavailable", "projector-failure", "password-refused", ...
QString OutcomeWord(CommandOutcome outcome);

// name, ipAddress, groupPath, outcome, result, and the power and worst error the projector
// reported after a refusal (null when not read).
QJsonObject OutcomeJson(const ProjectorOutcome &outcome);

// "Room 101 (127.0.0.2, /Building): refused by the projector: not possible now (ERR3); power:
// Warm up".
QString OutcomeLine(const ProjectorOutcome &outcome);
