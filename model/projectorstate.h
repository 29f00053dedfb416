#pragma once

#include "model/class2status.h"
#include "model/errorstatus.h"
#include "model/inputstatus.h"
#include "model/lampstatus.h"
#include "model/mutestatus.h"
#include "model/powerstatus.h"

#include <QString>
#include <optional>
#include <vector>

// What a projector shows to everyone outside its connection window: a plain copy, published
// when a window closes (Projector::Disconnect) and read with Projector::GetState. Result codes
// as in model/projector.h: 0 success, -1 no answer, 10 authentication failed, else the
// library's code; -1 everywhere until the first connection.
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
    int connectResult = -1;
    int lastSocketError = 0;

    // The ten result codes; a command and the matching read share one.
    int powerResult = -1;
    int inputResult = -1;
    int muteResult = -1;
    int inputListResult = -1;
    int errorResult = -1;
    int lampResult = -1;
    int manufacturerResult = -1;
    int modelResult = -1;
    int otherInfoResult = -1;
    int classResult = -1;

    // The values last read; each is meaningful when its result code is 0 (input type 9 and
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
