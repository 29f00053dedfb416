#include "tools/lumarinctl/projectorjson.h"

#include "model/actionevent.h"
#include "model/projector.h"
#include "model/projectorcells.h"

#include <QJsonArray>

#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

QJsonObject ProjectorStatusJson(Projector &projector)
{
    const ProjectorCells cells = GetProjectorCells(projector);
    QJsonObject object{
        {u"name"_s, cells.name},           {u"manufacturer"_s, cells.manufacturer},
        {u"power"_s, cells.power},         {u"input"_s, cells.input},
        {u"mute"_s, cells.mute},           {u"error"_s, cells.error},
        {u"lampTime"_s, cells.lampTime},   {u"ipAddress"_s, cells.ipAddress},
        {u"groupPath"_s, cells.groupPath},
    };

    QJsonObject codes{
        {u"connectResult"_s, projector.GetConnectResult()},
        {u"reachable"_s, projector.IsReachable()},
        {u"authenticated"_s, projector.IsAuthenticated()},
        {u"authorizationRequired"_s, projector.IsAuthorizationRequired()},
        {u"socketError"_s, projector.GetLastSocketError()},
    };

    PowerStatus power;
    codes.insert(u"powerResult"_s, projector.GetPowerStatus(power));
    codes.insert(u"power"_s, power.GetCode());

    InputStatus input;
    codes.insert(u"inputResult"_s, projector.GetInput(input));
    codes.insert(u"inputType"_s, input.GetType());
    codes.insert(u"inputNumber"_s, input.GetNumber());

    MuteStatus mute;
    codes.insert(u"muteResult"_s, projector.GetMuteStatus(mute));
    codes.insert(u"mute"_s, mute.GetCode());

    std::vector<ErrorStatus> errors;
    codes.insert(u"errorResult"_s, projector.GetErrorStatus(errors));
    QJsonArray levels;
    for (const ErrorStatus &error : errors)
        levels.append(error.GetLevel());
    codes.insert(u"errorLevels"_s, levels); // fan, lamp, temperature, cover, filter, others

    std::vector<LampStatus> lamps;
    codes.insert(u"lampResult"_s, projector.GetLampStatus(lamps));
    QJsonArray hours;
    QJsonArray lit;
    for (const LampStatus &lamp : lamps) {
        hours.append(lamp.GetHours());
        lit.append(lamp.GetOn());
    }
    codes.insert(u"lampHours"_s, hours);
    codes.insert(u"lampOn"_s, lit);

    QString manufacturer;
    codes.insert(u"manufacturerResult"_s, projector.GetManufacturer(manufacturer));

    object.insert(u"codes"_s, codes);
    return object;
}

QJsonObject EventJson(const ActionEvent &event)
{
    return {
        {u"time"_s, event.GetTime()},        {u"level"_s, event.GetLevel()},
        {u"levelText"_s, event.LevelText()}, {u"message"_s, event.GetMessage()},
        {u"source"_s, event.GetSource()},
    };
}
