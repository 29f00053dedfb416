#include "tools/lumarinctl/outcomereport.h"

#include "model/linkresult.h"
#include "model/projector.h"
#include "tools/lumarinctl/projectorjson.h"

using namespace Qt::StringLiterals;

QJsonObject OutcomeJson(const ProjectorOutcome &outcome)
{
    const Projector &projector = *outcome.projector;
    return QJsonObject{
        {u"name"_s, projector.GetName()},
        {u"ipAddress"_s, projector.GetIPAddress()},
        {u"groupPath"_s, projector.GetPath()},
        {u"outcome"_s, OutcomeWord(outcome.outcome)},
        {u"result"_s, ResultCode(outcome.result)},
        {u"power"_s, outcome.power ? PowerWord(outcome.power->GetCode()) : QJsonValue()},
        {u"error"_s,
         outcome.worstError ? ErrorCategoryWord(outcome.worstError->GetCategory()) : QJsonValue()},
    };
}
