#pragma once

#include "pjlink/answer.h"

#include <string>
#include <utility>
#include <vector>

namespace pjlink {

class Connection;

// The Class 2 requests ("%2...") on an open connection, for a projector whose class query
// answered 2. Result codes are those of pjlink/pjlib.h; values are set only on 0. A Class 1
// projector answers them ERR1.
namespace class2 {

// Inputs are (type, number): types 1..6 (6 internal), numbers 1..35 (10..35 sent as A..Z).
using Input = std::pair<int, int>;

int GetSerialNumber(Connection &connection, std::string &text);    // SNUM
int GetSoftwareVersion(Connection &connection, std::string &text); // SVER
int GetInputList(Connection &connection, std::vector<Input> &inputs);
int GetInput(Connection &connection, Input &input);
int GetInputName(Connection &connection, Input input, std::string &name); // INNM, UTF-8
int GetInputResolution(Connection &connection, ResolutionAnswer &resolution);
int GetRecommendedResolution(Connection &connection, ResolutionAnswer &resolution);
int GetFilterHours(Connection &connection, int &hours);
int GetLampModels(Connection &connection, std::vector<std::string> &models);
int GetFilterModels(Connection &connection, std::vector<std::string> &models);
int GetFreeze(Connection &connection, bool &frozen);

int ChangeInput(Connection &connection, Input input);
int Freeze(Connection &connection, bool frozen);
// One step up or down.
int SpeakerVolume(Connection &connection, bool up);
int MicrophoneVolume(Connection &connection, bool up);

// "31", "6A": the parameter of INPT and INNM; empty when out of range.
std::string InputCode(Input input);

} // namespace class2
} // namespace pjlink
