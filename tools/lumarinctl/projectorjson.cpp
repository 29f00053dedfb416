#include "tools/lumarinctl/projectorjson.h"

#include "model/actionevent.h"
#include "model/class2status.h"
#include "model/errorstatus.h"
#include "model/inputstatus.h"
#include "model/lampstatus.h"
#include "model/linkresult.h"
#include "model/mutestatus.h"
#include "model/powerstatus.h"
#include "model/projector.h"
#include "model/projectorcells.h"

#include <QJsonArray>

#include <algorithm>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

QJsonValue Word(int index, std::initializer_list<const char16_t *> words)
{
    if (index < 0 || index >= int(words.size()))
        return QJsonValue::Null;
    return QString::fromUtf16(*(words.begin() + index));
}

QString InputCode(const InputStatus &input)
{
    return QString::number(input.GetType()) + InputStatus::NumberText(input.GetNumber());
}

QJsonValue InputJson(const InputStatus &input)
{
    if (input.GetType() == InputStatus::Unavailable)
        return u"unavailable"_s;
    const QJsonValue type =
        Word(input.GetType() - InputStatus::RGB,
             {u"rgb", u"video", u"digital", u"storage", u"network", u"internal"});
    if (type.isNull())
        return QJsonValue::Null;
    // "code" is the input as PJLink and lumarinctl input write it: "31", "3A", "61".
    return QJsonObject{
        {u"type"_s, type}, {u"number"_s, input.GetNumber()}, {u"code"_s, InputCode(input)}};
}

QJsonValue MuteWord(int code)
{
    return Word(code, {u"off", u"video", u"audio", u"video-and-audio"});
}

const char16_t *const kCategories[] = {u"fan",   u"lamp",   u"temperature",
                                       u"cover", u"filter", u"other"};

// A value when its read succeeded, else null: a script never mistakes an old or default value
// for one the projector gave.
template <typename Value> QJsonValue IfRead(int result, const Value &value)
{
    return result == LinkResult::Ok ? QJsonValue(value) : QJsonValue(QJsonValue::Null);
}

// fan, lamp, temperature, cover, filter, others
QJsonArray ErrorLevels(const std::vector<ErrorStatus> &errors)
{
    QJsonArray levels;
    for (const ErrorStatus &error : errors)
        levels.append(error.GetLevel());
    return levels;
}

QJsonArray LampHours(const std::vector<LampStatus> &lamps)
{
    QJsonArray hours;
    for (const LampStatus &lamp : lamps)
        hours.append(lamp.GetHours());
    return hours;
}

QJsonValue ResolutionJson(const std::optional<Class2Status::Resolution> &resolution)
{
    if (!resolution)
        return QJsonValue::Null;
    switch (resolution->signal) {
    case Class2Status::Resolution::NoSignal:
        return u"no-signal"_s;
    case Class2Status::Resolution::UnknownSignal:
        return u"unknown-signal"_s;
    case Class2Status::Resolution::Present:
        break;
    }
    return QJsonObject{{u"width"_s, resolution->width}, {u"height"_s, resolution->height}};
}

QJsonValue TextOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

// Null for a projector that is not Class 2 (or not read yet); inside, null for a value that
// could not be read.
QJsonValue Class2Json(const Class2Status &status)
{
    if (!status.IsRead())
        return QJsonValue::Null;
    QJsonArray names;
    for (const auto &[input, name] : status.inputNames) {
        names.append(QJsonObject{{u"type"_s, input.GetType()},
                                 {u"number"_s, input.GetNumber()},
                                 {u"code"_s, InputCode(input)},
                                 {u"name"_s, name}});
    }
    return QJsonObject{
        {u"serialNumber"_s, TextOrNull(status.serialNumber)},
        {u"softwareVersion"_s, TextOrNull(status.softwareVersion)},
        {u"filterHours"_s, status.filterHours ? QJsonValue(*status.filterHours) : QJsonValue()},
        {u"lampModels"_s, QJsonArray::fromStringList(status.lampModels)},
        {u"filterModels"_s, QJsonArray::fromStringList(status.filterModels)},
        {u"inputResolution"_s, ResolutionJson(status.inputResolution)},
        {u"recommendedResolution"_s, ResolutionJson(status.recommendedResolution)},
        {u"freeze"_s, status.freeze ? QJsonValue(*status.freeze) : QJsonValue()},
        {u"inputNames"_s, names},
        {u"result"_s, status.result},
    };
}

} // namespace

QJsonValue PowerWord(int code)
{
    return Word(code, {u"off", u"on", u"cooling", u"warm-up"});
}

QJsonValue LevelWord(int level)
{
    return Word(level, {u"ok", u"warning", u"error"});
}

QJsonValue ErrorCategoryWord(int category)
{
    if (category < 0 || category >= int(std::size(kCategories)))
        return QJsonValue::Null;
    return QString::fromUtf16(kCategories[category]);
}

QJsonValue EventLevelWord(int level)
{
    if (level == ActionEvent::Debug)
        return u"debug"_s;
    return Word(level, {u"information", u"warning", u"error"});
}

QString IsoTime(const QDateTime &time)
{
    const int offset = time.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return time.toString(u"yyyy-MM-ddTHH:mm:ss"_s) + (offset < 0 ? u'-' : u'+') +
           u"%1:%2"_s.arg(minutes / 60, 2, 10, QChar(u'0')).arg(minutes % 60, 2, 10, QChar(u'0'));
}

QJsonObject ProjectorStatusJson(Projector &projector)
{
    QJsonObject object{
        {u"name"_s, projector.GetName()},
        {u"ipAddress"_s, projector.GetIPAddress()},
        {u"groupPath"_s, projector.GetPath()},
        {u"reachable"_s, projector.IsReachable()},
        {u"authenticated"_s, projector.IsAuthenticated()},
    };
    // How the password is checked: "none", "md5" or "sha256"; null until a projector has greeted.
    object.insert(u"security"_s, projector.GetConnectResult() == -1
                                     ? QJsonValue()
                                     : QJsonValue(QString::fromLatin1(pjlink::securityLevelName(
                                           projector.GetSecurityLevel()))));

    PowerStatus power;
    const int powerResult = projector.GetPowerStatus(power);
    object.insert(u"power"_s,
                  powerResult == LinkResult::Ok ? PowerWord(power.GetCode()) : QJsonValue());

    InputStatus input;
    const int inputResult = projector.GetInput(input);
    object.insert(u"input"_s,
                  inputResult == LinkResult::Ok || input.GetType() == InputStatus::Unavailable
                      ? InputJson(input)
                      : QJsonValue());

    MuteStatus mute;
    const int muteResult = projector.GetMuteStatus(mute);
    object.insert(u"mute"_s,
                  muteResult == LinkResult::Ok ? MuteWord(mute.GetCode()) : QJsonValue());

    std::vector<ErrorStatus> errors;
    const int errorResult = projector.GetErrorStatus(errors);
    QJsonObject levels;
    for (const ErrorStatus &error : errors) {
        if (error.GetCategory() >= 0 && error.GetCategory() < int(std::size(kCategories)))
            levels.insert(QString::fromUtf16(kCategories[error.GetCategory()]),
                          LevelWord(error.GetLevel()));
    }
    object.insert(u"errors"_s, IfRead(errorResult, levels));

    std::vector<LampStatus> lamps;
    const int lampResult = projector.GetLampStatus(lamps);
    QJsonArray lampArray;
    int highest = -1;
    for (const LampStatus &lamp : lamps) {
        lampArray.append(QJsonObject{{u"hours"_s, lamp.GetHours()},
                                     {u"on"_s, lamp.GetOn() == LampStatus::Unknown
                                                   ? QJsonValue()
                                                   : QJsonValue(lamp.GetOn() == LampStatus::Lit)}});
        highest = std::max(highest, lamp.GetHours());
    }
    // The highest of the lamps: what a lamp-hour alert compares.
    object.insert(u"lampHours"_s, lampResult == LinkResult::Ok && highest >= 0 ? QJsonValue(highest)
                                                                               : QJsonValue());
    object.insert(u"lamps"_s, IfRead(lampResult, lampArray));

    QString manufacturer;
    const int manufacturerResult = projector.GetManufacturer(manufacturer);
    object.insert(u"manufacturer"_s, IfRead(manufacturerResult, manufacturer));

    int pjlinkClass = -1;
    const int classResult = projector.GetClass(pjlinkClass);
    object.insert(u"class"_s, IfRead(classResult, pjlinkClass));
    object.insert(u"class2"_s, Class2Json(projector.GetClass2Status()));

    // The row of the projector list, in the user's language.
    const ProjectorCells cells = GetProjectorCells(projector);
    object.insert(u"cells"_s, QJsonObject{
                                  {u"name"_s, cells.name},
                                  {u"manufacturer"_s, cells.manufacturer},
                                  {u"power"_s, cells.power},
                                  {u"input"_s, cells.input},
                                  {u"mute"_s, cells.mute},
                                  {u"error"_s, cells.error},
                                  {u"lampTime"_s, cells.lampTime},
                                  {u"ipAddress"_s, cells.ipAddress},
                                  {u"groupPath"_s, cells.groupPath},
                              });

    object.insert(u"codes"_s, QJsonObject{
                                  {u"connectResult"_s, projector.GetConnectResult()},
                                  {u"authorizationRequired"_s, projector.IsAuthorizationRequired()},
                                  {u"socketError"_s, projector.GetLastSocketError()},
                                  {u"powerResult"_s, powerResult},
                                  {u"power"_s, power.GetCode()},
                                  {u"inputResult"_s, inputResult},
                                  {u"inputType"_s, input.GetType()},
                                  {u"inputNumber"_s, input.GetNumber()},
                                  {u"muteResult"_s, muteResult},
                                  {u"mute"_s, mute.GetCode()},
                                  {u"errorResult"_s, errorResult},
                                  {u"lampResult"_s, lampResult},
                                  {u"manufacturerResult"_s, manufacturerResult},
                                  {u"reachable"_s, projector.IsReachable()},
                                  {u"authenticated"_s, projector.IsAuthenticated()},
                                  {u"errorLevels"_s, ErrorLevels(errors)},
                                  {u"lampHours"_s, LampHours(lamps)},
                              });
    return object;
}

QJsonObject EventJson(const ActionEvent &event)
{
    return {
        {u"time"_s, IsoTime(event.GetDateTime())}, {u"level"_s, EventLevelWord(event.GetLevel())},
        {u"levelCode"_s, event.GetLevel()},        {u"levelText"_s, event.LevelText()},
        {u"message"_s, event.GetMessage()},        {u"source"_s, event.GetSource()},
    };
}
