#pragma once

#include "model/errorstatus.h"
#include "model/linkresult.h"
#include "model/powerstatus.h"

#include <QString>

#include <optional>

class Projector;

// What became of a power, input or mute command at one projector.
enum class CommandOutcome {
    Done,             // the projector took the command
    Undefined,        // ERR1: the projector does not know the command
    OutOfRange,       // ERR2: the value is out of the projector's range
    Unavailable,      // ERR3: not now (standby, warm-up, cooling)
    ProjectorFailure, // ERR4
    BadAnswer,        // an answer that is not PJLink
    PasswordRefused,  // the stored password was refused; nothing was sent
    NoAnswer,         // no connection could be made, or it never answered since loaded
    Dropped,          // connected, but the connection broke before the answer came
    InputNotOffered,  // the projector has no such input; nothing was sent
    NotSent,          // the command itself is incomplete (a mute without a kind)
};

// The outcome of a result of the projector wrappers (model/projector.h). NoAnswer reads as
// NoAnswer before a connection was made and as Dropped once it was (afterConnect).
CommandOutcome OutcomeOfResult(LinkResult result, bool afterConnect);

// One targeted projector's outcome, in selection order. The projector's power, and for a
// projector failure its worst error, are read in the same connection after a refusal, so that
// the caller can say what state refused the command; empty when not read or not known.
struct ProjectorOutcome
{
    Projector *projector = nullptr;
    CommandOutcome outcome = CommandOutcome::NoAnswer;
    LinkResult result = LinkResult::NoAnswer; // the result behind the outcome (Ok when done)
    std::optional<PowerStatus> power;
    std::optional<ErrorStatus> worstError;
};

// The fixed English word of an outcome, part of lumarinctl's JSON layout: "done",
// "out-of-range", "unavailable", "projector-failure", "password-refused", ...
QString OutcomeWord(CommandOutcome outcome);

// One line for people, in the user's language, as the window's event list and lumarinctl show
// it: "Room 101 (127.0.0.2, /Building): refused by the projector: not possible now (ERR3);
// power: Warm up".
QString OutcomeLine(const ProjectorOutcome &outcome);
