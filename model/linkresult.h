#pragma once

#include "pjlink/pjlib.h"

// The result codes of the projector wrappers (model/projector.h) and of the published state
// (model/projectorstate.h), named for every layer above the library. They are the library's own
// codes (pjlink/pjlib.h), except that a connect that could not reach the port reads as
// NoAnswer; a code not named here is one the library does not document.
enum class LinkResult : int {
    Ok = PJL_OK,
    UndefinedCommand = PJL_ERR_UNDEFINED, // ERR1
    OutOfParameter = PJL_ERR_PARAMETER,   // ERR2
    Unavailable = PJL_ERR_UNAVAILABLE,    // ERR3: not now (standby, warm-up, cooling)
    ProjectorFailure = PJL_ERR_FAILURE,   // ERR4
    BadAnswer = PJL_ERR_BAD_ANSWER,       // not the PJLink answer to the command sent
    AuthFailed = PJL_ERR_AUTH,            // the password was refused, or none was given
    NoAnswer = PJL_ERR_CONNECTION,        // no connection, no answer, or it broke
};

// The wrappers hand their results on as the library's int; callers compare them by name.
constexpr bool operator==(int code, LinkResult result)
{
    return code == static_cast<int>(result);
}

constexpr int ResultCode(LinkResult result)
{
    return static_cast<int>(result);
}

// ERR2, ERR3 or ERR4: the projector refused in a state of its own.
constexpr bool IsRefusedInState(int code)
{
    return code == LinkResult::OutOfParameter || code == LinkResult::Unavailable ||
           code == LinkResult::ProjectorFailure;
}
