#include "model/commandoutcome.h"

#include "model/linkresult.h"
#include "model/projector.h"
#include "res/stringids.h"
#include "res/stringtable.h"

#include <iterator>

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
    {CommandOutcome::Undefined, u"undefined-command", STR_OUTCOME_UNDEFINED},
    {CommandOutcome::OutOfRange, u"out-of-range", STR_OUTCOME_OUT_OF_RANGE},
    {CommandOutcome::Unavailable, u"unavailable", STR_OUTCOME_UNAVAILABLE},
    {CommandOutcome::ProjectorFailure, u"projector-failure", STR_OUTCOME_FAILURE},
    {CommandOutcome::BadAnswer, u"bad-answer", STR_OUTCOME_BAD_ANSWER},
    {CommandOutcome::PasswordRefused, u"password-refused", STR_OUTCOME_PASSWORD},
    {CommandOutcome::NoAnswer, u"no-answer", STR_OUTCOME_NO_ANSWER},
    {CommandOutcome::Dropped, u"connection-dropped", STR_OUTCOME_DROPPED},
    {CommandOutcome::InputNotOffered, u"input-not-offered", STR_OUTCOME_NOT_OFFERED},
    {CommandOutcome::NotSent, u"not-sent", STR_OUTCOME_NOT_SENT},
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

CommandOutcome OutcomeOfResult(LinkResult result, bool afterConnect)
{
    switch (result) {
    case LinkResult::Ok:
        return CommandOutcome::Done;
    case LinkResult::UndefinedCommand:
        return CommandOutcome::Undefined;
    case LinkResult::OutOfParameter:
        return CommandOutcome::OutOfRange;
    case LinkResult::Unavailable:
        return CommandOutcome::Unavailable;
    case LinkResult::ProjectorFailure:
        return CommandOutcome::ProjectorFailure;
    case LinkResult::AuthFailed:
        return CommandOutcome::PasswordRefused;
    case LinkResult::NoAnswer:
        return afterConnect ? CommandOutcome::Dropped : CommandOutcome::NoAnswer;
    case LinkResult::BadAnswer:
        break;
    }
    return CommandOutcome::BadAnswer; // or a code the library does not document
}

QString OutcomeLine(const ProjectorOutcome &outcome)
{
    const Projector &projector = *outcome.projector;
    QString text = LoadString(TextsOf(outcome.outcome).text);
    if (outcome.power && !outcome.power->GetText().isEmpty())
        text = FormatText(LoadString(STR_OUTCOME_POWER), {text, outcome.power->GetText()});
    if (outcome.worstError)
        text = FormatText(LoadString(STR_OUTCOME_ERROR), {text, outcome.worstError->GetText()});
    return FormatText(LoadString(STR_OUTCOME_LINE),
                      {projector.GetName(), projector.GetIPAddress(), projector.GetPath(), text});
}
