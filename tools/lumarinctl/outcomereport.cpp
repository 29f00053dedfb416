#include "tools/lumarinctl/outcomereport.h"

#include "model/projector.h"
#include "res/stringtable.h"
#include "tools/lumarinctl/ctlstrings.h"
#include "tools/lumarinctl/projectorjson.h"

using namespace Qt::StringLiterals;

namespace {

struct OutcomeTexts
{
    CommandOutcome outcome;
    const char16_t *word;
    int text;
};

// The words are part of the JSON layout (schema 1): never change one.
constexpr OutcomeTexts kOutcomes[] = {
    {CommandOutcome::Done, u"done", 0},
    {CommandOutcome::Undefined, u"undefined-command", CTL_OUTCOME_UNDEFINED},
    {CommandOutcome::OutOfRange, u"out-of-range", CTL_OUTCOME_OUT_OF_RANGE},
    {CommandOutcome::Unavailable, u"unavailable", CTL_OUTCOME_UNAVAILABLE},
    {CommandOutcome::ProjectorFailure, u"projector-failure", CTL_OUTCOME_FAILURE},
    {CommandOutcome::BadAnswer, u"bad-answer", CTL_OUTCOME_BAD_ANSWER},
    {CommandOutcome::PasswordRefused, u"password-refused", CTL_OUTCOME_PASSWORD},
    {CommandOutcome::NoAnswer, u"no-answer", CTL_OUTCOME_NO_ANSWER},
    {CommandOutcome::Dropped, u"connection-dropped", CTL_OUTCOME_DROPPED},
    {CommandOutcome::InputNotOffered, u"input-not-offered", CTL_OUTCOME_NOT_OFFERED},
    {CommandOutcome::NotSent, u"not-sent", CTL_OUTCOME_NOT_SENT},
};

const OutcomeTexts &TextsOf(CommandOutcome outcome)
{
    for (const OutcomeTexts &texts : kOutcomes) {
        if (texts.outcome == outcome)
            return texts;
    }
    return kOutcomes[std::size(kOutcomes) - 1];
}

} // namespace

QString OutcomeWord(CommandOutcome outcome)
{
    return QString::fromUtf16(TextsOf(outcome).word);
}

QJsonObject OutcomeJson(const ProjectorOutcome &outcome)
{
    const Projector &projector = *outcome.projector;
    return QJsonObject{
        {u"name"_s, projector.GetName()},
        {u"ipAddress"_s, projector.GetIPAddress()},
        {u"groupPath"_s, projector.GetPath()},
        {u"outcome"_s, OutcomeWord(outcome.outcome)},
        {u"result"_s, outcome.result},
        {u"power"_s, outcome.power ? PowerWord(outcome.power->GetCode()) : QJsonValue()},
        {u"error"_s,
         outcome.worstError ? ErrorCategoryWord(outcome.worstError->GetCategory()) : QJsonValue()},
    };
}

QString OutcomeLine(const ProjectorOutcome &outcome)
{
    const Projector &projector = *outcome.projector;
    QString text = LoadString(TextsOf(outcome.outcome).text);
    if (outcome.power && !outcome.power->GetText().isEmpty())
        text = FormatText(LoadString(CTL_OUTCOME_POWER), {text, outcome.power->GetText()});
    if (outcome.worstError)
        text = FormatText(LoadString(CTL_OUTCOME_ERROR), {text, outcome.worstError->GetText()});
    return FormatText(LoadString(CTL_OUTCOME_LINE),
                      {projector.GetName(), projector.GetIPAddress(), projector.GetPath(), text});
}
