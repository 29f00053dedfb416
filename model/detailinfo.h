#pragma once

#include "model/class2status.h"
#include "model/inputstatus.h"
#include "model/lampstatus.h"
#include "model/linkresult.h"
#include "pjlink/security.h"

#include <QString>
#include <utility>
#include <vector>

class Projector;

// Everything the detail information shows about one projector: its identity and reachability
// as the last connection left them, and the identity reads of one connection window.
struct DetailInfo
{
    QString name;
    bool reachable = false;
    QString ipAddress;
    int connectResult = ResultCode(LinkResult::NoAnswer); // nothing answered
    bool authorizationRequired = false;
    // The password check agreed with the projector (model/projectorstate.h).
    pjlink::SecurityLevel security = pjlink::SecurityLevel::None;

    // From the window's reads; unknown (-1, empty) when the connect failed.
    int pjlinkClass = -1;
    QString manufacturer;
    QString modelInfo;
    QString otherInfo;
    std::vector<LampStatus> lamps;
    std::vector<InputStatus> inputs;
    bool korvane = false; // the maker whose RGB9 input is its camera
    Class2Status class2;  // read for a Class 2 projector only
};

// Opens one connection window on the projector on the calling thread (mode 0) and reads lamps,
// inputs, manufacturer, class, model and other information, in that order, and then every
// Class 2 value of a Class 2 projector. Blocks for as long
// as the projector takes to answer, so never call it on the user-interface thread.
DetailInfo ReadDetailInfo(Projector &projector);

// The table of the detail information: label and value per row, top to bottom. Every lamp after
// the first gets a row of its own with an empty label. A Class 2 projector's values follow, and
// it says how the password is checked below "Password :" (as does any projector that uses
// SHA-256, a check that the Class 1 rows have no word for).
std::vector<std::pair<QString, QString>> DetailInfoRows(const DetailInfo &info);

// "None", "MD5", "SHA-256" in the user's language.
QString SecurityText(pjlink::SecurityLevel level);

// Inputs in the order they are shown everywhere: by type, then by number.
bool InputShownBefore(const InputStatus &a, const InputStatus &b);
