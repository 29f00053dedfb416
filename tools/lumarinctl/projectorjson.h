#pragma once

#include <QJsonObject>

class ActionEvent;
class Projector;

// A projector as its list row shows it: every cell's text ("name", "manufacturer", "power",
// "input", "mute", "error", "lampTime", "ipAddress", "groupPath") and, under "codes", the
// values and result codes the cells come from. Reads stored values only.
QJsonObject ProjectorStatusJson(Projector &projector);

// "time", "level" (0, 1, 2), "levelText", "message", "source".
QJsonObject EventJson(const ActionEvent &event);
