#pragma once

#include "model/class2status.h"
#include "model/errorstatus.h"
#include "model/inputstatus.h"
#include "model/lampstatus.h"
#include "model/linkresult.h"
#include "model/mutestatus.h"
#include "model/powerstatus.h"
#include "pjlink/security.h"

#include <QString>
#include <optional>
#include <vector>

// What a projector shows to everyone outside its connection window: a plain copy, published
// when a window closes (Projector::Disconnect) and read with Projector::GetState. Result codes
// as in model/linkresult.h; NoAnswer everywhere until the first connection.
struct ProjectorState
{
    // Identity at the time of the copy. groupPath comes from the tree, which the
    // user-interface thread alone changes.
    QString name;
    QString ipAddress;
    QString groupPath;

    bool reachable = false;     // answered at the last Connect
    bool authenticated = false; // the last Connect returned 0
    bool authorizationRequired = false;
    // The password check agreed at the last Connect that read a greeting (none: no password).
    pjlink::SecurityLevel security = pjlink::SecurityLevel::None;
    int connectResult = ResultCode(LinkResult::NoAnswer);
    int lastSocketError = 0;

    // The ten result codes; a command and the matching read share one.
    int powerResult = ResultCode(LinkResult::NoAnswer);
    int inputResult = ResultCode(LinkResult::NoAnswer);
    int muteResult = ResultCode(LinkResult::NoAnswer);
    int inputListResult = ResultCode(LinkResult::NoAnswer);
    int errorResult = ResultCode(LinkResult::NoAnswer);
    int lampResult = ResultCode(LinkResult::NoAnswer);
    int manufacturerResult = ResultCode(LinkResult::NoAnswer);
    int modelResult = ResultCode(LinkResult::NoAnswer);
    int otherInfoResult = ResultCode(LinkResult::NoAnswer);
    int classResult = ResultCode(LinkResult::NoAnswer);

    // The values last read; each is meaningful when its result code is Ok (input type 9 and
    // mute off also with another code, see Projector::GetInput and GetMuteStatus).
    PowerStatus power;
    InputStatus input;
    MuteStatus mute;
    std::vector<InputStatus> inputs;
    std::vector<ErrorStatus> errors;
    std::vector<LampStatus> lamps;
    int pjlinkClass = -1;
    QString manufacturer;
    QString modelInfo;
    QString otherInfo;
    Class2Status class2; // empty for a Class 1 projector

    // Derived when published: the first category at level error, else at warning; and whether
    // the manufacturer is the maker whose RGB9 input reads "Camera".
    std::optional<ErrorStatus> worstError;
    bool isKorvane = false;
};
