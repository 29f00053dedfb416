#include "store/commandoutcome.h"

CommandOutcome OutcomeOfResult(int result, bool afterConnect)
{
    switch (result) {
    case 0:
        return CommandOutcome::Done;
    case 1:
        return CommandOutcome::Undefined;
    case 2:
        return CommandOutcome::OutOfRange;
    case 3:
        return CommandOutcome::Unavailable;
    case 4:
        return CommandOutcome::ProjectorFailure;
    case 10:
        return CommandOutcome::PasswordRefused;
    case -1:
        return afterConnect ? CommandOutcome::Dropped : CommandOutcome::NoAnswer;
    default:
        return CommandOutcome::BadAnswer; // 5, or a code the library does not document
    }
}
