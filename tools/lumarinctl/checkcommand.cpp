// check: the state of the projectors as a monitoring plugin tells it. One summary line with
// performance data, then a line per projector that is not OK; the exit status is the plugin's.

#include "model/linkresult.h"
#include "tools/lumarinctl/commands.h"

#include "model/errorstatus.h"
#include "model/lampstatus.h"
#include "model/powerstatus.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "res/stringtable.h"
#include "store/cvanteldoc.h"
#include "store/usermessage.h"
#include "tools/lumarinctl/ctlstrings.h"
#include "tools/lumarinctl/report.h"
#include "tools/lumarinctl/targets.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const char16_t *const kCategoryWords[] = {u"fan",   u"lamp",   u"temperature",
                                          u"cover", u"filter", u"other"};
const char16_t *const kStateWords[] = {u"OK", u"WARNING", u"CRITICAL", u"UNKNOWN"};

struct Reason
{
    QString word; // fixed, for scripts: "no-answer", "error:temperature", "lamp-hours", ...
    QString text; // in the user's language
};

struct Finding
{
    int state = CheckOk;
    std::vector<Reason> reasons;
    std::optional<int> lampHours;   // the highest of the projector's lamps, when read
    std::optional<int> filterHours; // a Class 2 projector's, when read

    void Raise(int to, Reason reason)
    {
        state = std::max(state, to);
        reasons.push_back(std::move(reason));
    }
};

struct Thresholds
{
    std::optional<int> warn;
    std::optional<int> crit;

    // CRITICAL or WARNING with reason once hours reach a threshold.
    void Apply(int hours, const Reason &reason, Finding &finding) const;
    bool Valid() const { return !warn || !crit || *warn <= *crit; }
};

void Thresholds::Apply(int hours, const Reason &reason, Finding &finding) const
{
    if (crit && hours >= *crit)
        finding.Raise(CheckCritical, reason);
    else if (warn && hours >= *warn)
        finding.Raise(CheckWarning, reason);
}

// What the last read of one projector says about it.
Finding Evaluate(Projector &projector, const Thresholds &lampLimits, const Thresholds &filterLimits)
{
    Finding finding;
    const int connect = projector.GetConnectResult();
    if (connect == LinkResult::AuthFailed) {
        finding.Raise(CheckCritical, {u"password-refused"_s, LoadString(CTL_CHECK_PASSWORD)});
        return finding;
    }
    if (connect != LinkResult::Ok) {
        finding.Raise(CheckCritical, {u"no-answer"_s, LoadString(CTL_CHECK_NO_ANSWER)});
        return finding;
    }

    PowerStatus power;
    if (projector.GetPowerStatus(power) == LinkResult::ProjectorFailure)
        finding.Raise(CheckCritical, {u"projector-failure"_s, LoadString(CTL_CHECK_FAILURE)});

    std::vector<ErrorStatus> errors;
    if (projector.GetErrorStatus(errors) == LinkResult::Ok) {
        for (const ErrorStatus &error : errors) {
            const int category = error.GetCategory();
            if (category < 0 || category >= int(std::size(kCategoryWords)))
                continue;
            const QString word = QString::fromUtf16(kCategoryWords[category]);
            if (error.GetLevel() == ErrorStatus::Error)
                finding.Raise(CheckCritical,
                              {u"error:"_s + word,
                               FormatText(LoadString(CTL_CHECK_ERROR), {error.GetText()})});
            else if (error.GetLevel() == ErrorStatus::Warning)
                finding.Raise(CheckWarning,
                              {u"warning:"_s + word,
                               FormatText(LoadString(CTL_CHECK_WARNING), {error.GetText()})});
        }
    }

    std::vector<LampStatus> lamps;
    if (projector.GetLampStatus(lamps) == LinkResult::Ok) {
        for (const LampStatus &lamp : lamps) {
            if (lamp.GetHours() >= 0)
                finding.lampHours = std::max(finding.lampHours.value_or(0), lamp.GetHours());
        }
    }
    if (finding.lampHours) {
        const int hours = *finding.lampHours;
        lampLimits.Apply(hours,
                         {u"lamp-hours"_s,
                          FormatText(LoadString(CTL_CHECK_LAMP_HOURS), {QString::number(hours)})},
                         finding);
    }
    finding.filterHours = projector.GetClass2Status().filterHours;
    if (finding.filterHours) {
        const int hours = *finding.filterHours;
        filterLimits.Apply(hours,
                           {u"filter-hours"_s, FormatText(LoadString(CTL_CHECK_FILTER_HOURS),
                                                          {QString::number(hours)})},
                           finding);
    }
    return finding;
}

// A whole number of hours, 0 or more; nothing when the option is not given. False when given
// but not such a number.
bool ParseHours(const CommandArgs &args, const QString &option, std::optional<int> &hours)
{
    if (!args.IsSet(option))
        return true;
    bool ok = false;
    const int value = args.Value(option).toInt(&ok);
    if (!ok || value < 0)
        return false;
    hours = value;
    return true;
}

// "reached=4;;;0;5" and the like: label=value;warn;crit;min;max.
QString PerfData(const QString &label, const QString &value, const QString &warn = QString(),
                 const QString &crit = QString(), const QString &max = QString())
{
    return u"%1=%2;%3;%4;0;%5"_s.arg(label, value, warn, crit, max);
}

QString OptionalNumber(const std::optional<int> &value)
{
    return value ? QString::number(*value) : QString();
}

} // namespace

void ReportCheckUnknown(Report &report, const QString &reason)
{
    // One line, whatever the message: a monitoring system reads only the first.
    const QString line = u"LUMARIN UNKNOWN - "_s + reason.simplified();
    report.Line(line);
    report.Set(u"status"_s, u"unknown"_s);
    report.Set(u"summary"_s, line);
}

// Every way of not judging returns CheckUnknown after telling why; main then answers it as
// ReportCheckUnknown does, as for a usage error or a refused settings file.
int RunCheck(CommandContext &context, const CommandArgs &args)
{
    Thresholds thresholds;
    Thresholds filterLimits;
    if (!ParseHours(args, u"lamp-warn"_s, thresholds.warn) ||
        !ParseHours(args, u"lamp-crit"_s, thresholds.crit) ||
        !ParseHours(args, u"filter-warn"_s, filterLimits.warn) ||
        !ParseHours(args, u"filter-crit"_s, filterLimits.crit) || !thresholds.Valid() ||
        !filterLimits.Valid()) {
        ShowUserMessage(LoadString(CTL_CHECK_THRESHOLDS));
        return CheckUnknown;
    }

    const QStringList tokens = args.positional.isEmpty() ? QStringList{u"/"_s} : args.positional;
    std::vector<ProjectorNode *> selection;
    if (!ResolveTargets(context.manager, tokens, selection))
        return CheckUnknown;
    const std::vector<Projector *> projectors = ProjectorsOf(selection);
    if (projectors.empty()) {
        ShowUserMessage(LoadString(CTL_CHECK_NOTHING));
        return CheckUnknown;
    }
    for (Projector *projector : projectors)
        context.doc.RefreshProjector(projector, true);

    int state = CheckOk;
    int reached = 0, warnings = 0, errors = 0;
    std::optional<int> highest;
    std::optional<int> highestFilter;
    QStringList details;
    QJsonArray entries;
    for (Projector *projector : projectors) {
        const Finding finding = Evaluate(*projector, thresholds, filterLimits);
        state = std::max(state, finding.state);
        reached += projector->GetConnectResult() == LinkResult::Ok ? 1 : 0;
        warnings += finding.state == CheckWarning ? 1 : 0;
        errors += finding.state == CheckCritical ? 1 : 0;
        if (finding.lampHours)
            highest = std::max(highest.value_or(0), *finding.lampHours);
        if (finding.filterHours)
            highestFilter = std::max(highestFilter.value_or(0), *finding.filterHours);

        QStringList texts;
        QJsonArray words;
        for (const Reason &reason : finding.reasons) {
            texts << reason.text;
            words.append(reason.word);
        }
        if (finding.state != CheckOk)
            details << u"%1: %2 (%3, %4): %5"_s.arg(QString::fromUtf16(kStateWords[finding.state]),
                                                    projector->GetName(), projector->GetIPAddress(),
                                                    projector->GetPath(), texts.join(u", "_s));
        entries.append(QJsonObject{
            {u"name"_s, projector->GetName()},
            {u"ipAddress"_s, projector->GetIPAddress()},
            {u"groupPath"_s, projector->GetPath()},
            {u"state"_s, QString::fromUtf16(kStateWords[finding.state]).toLower()},
            {u"reasons"_s, words},
            {u"lampHours"_s, finding.lampHours ? QJsonValue(*finding.lampHours) : QJsonValue()},
            {u"filterHours"_s,
             finding.filterHours ? QJsonValue(*finding.filterHours) : QJsonValue()},
        });
    }

    const QString total = QString::number(projectors.size());
    const QString summary =
        u"LUMARIN %1 - "_s.arg(QString::fromUtf16(kStateWords[state])) +
        FormatText(LoadString(CTL_CHECK_SUMMARY),
                   {QString::number(reached), total, QString::number(warnings),
                    QString::number(errors), highest ? QString::number(*highest) : u"-"_s}) +
        u" | "_s +
        QStringList{PerfData(u"reached"_s, QString::number(reached), {}, {}, total),
                    PerfData(u"warnings"_s, QString::number(warnings), {}, {}, total),
                    PerfData(u"errors"_s, QString::number(errors), {}, {}, total),
                    PerfData(u"lamp_hours"_s, highest ? QString::number(*highest) : u"U"_s,
                             OptionalNumber(thresholds.warn), OptionalNumber(thresholds.crit)),
                    PerfData(u"filter_hours"_s,
                             highestFilter ? QString::number(*highestFilter) : u"U"_s,
                             OptionalNumber(filterLimits.warn), OptionalNumber(filterLimits.crit))}
            .join(u' ');
    context.report.Line(summary);
    for (const QString &line : std::as_const(details))
        context.report.Line(line);

    context.report.Set(u"status"_s, QString::fromUtf16(kStateWords[state]).toLower());
    context.report.Set(u"summary"_s, summary);
    context.report.Set(u"reached"_s, reached);
    context.report.Set(u"selected"_s, int(projectors.size()));
    context.report.Set(u"warnings"_s, warnings);
    context.report.Set(u"errors"_s, errors);
    context.report.Set(u"highestLampHours"_s, highest ? QJsonValue(*highest) : QJsonValue());
    context.report.Set(u"highestFilterHours"_s,
                       highestFilter ? QJsonValue(*highestFilter) : QJsonValue());
    context.report.Set(u"projectors"_s, entries);
    return state;
}
