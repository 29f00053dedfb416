// The commands that talk to registered projectors: what the main view's Refresh and Remote
// Control buttons do, for the targets named on the command line.

#include "model/linkresult.h"
#include "tools/lumarinctl/commands.h"

#include "model/inputstatus.h"
#include "model/mutestatus.h"
#include "model/powerstatus.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "model/schedule.h"
#include "res/stringids.h"
#include "res/stringtable.h"
#include "store/cvanteldoc.h"
#include "store/prometheusmetrics.h"
#include "store/usermessage.h"
#include "tools/lumarinctl/ctlstrings.h"
#include "tools/lumarinctl/outcomereport.h"
#include "tools/lumarinctl/report.h"
#include "tools/lumarinctl/targets.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QSaveFile>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

// The pauses the main view makes before it reads the state back.
constexpr std::chrono::milliseconds kPowerWait{3000};
constexpr std::chrono::milliseconds kInputWait{1500};
constexpr std::chrono::milliseconds kMuteWait{1000};

using Sender = std::function<int(const std::vector<ProjectorNode *> &, std::vector<Projector *> &,
                                 std::vector<ProjectorOutcome> &)>;

// The targets of a projector command with at least one projector below them; told otherwise.
bool SelectProjectors(CommandContext &context, const QStringList &tokens,
                      std::vector<ProjectorNode *> &selection)
{
    if (!ResolveTargets(context.manager, tokens, selection))
        return false;
    if (ProjectorManager::CountProjectors(selection) == 0) {
        ShowUserMessage(LoadString(MSG_NO_PROJECTOR_IN_GROUP));
        return false;
    }
    return true;
}

// The refresh the background cycle makes: many projectors at once, events in list order.
void Refresh(CommandContext &context, const std::vector<Projector *> &projectors)
{
    context.doc.RefreshProjectors(projectors, true);
}

// Refresh first: a fresh process knows nothing yet, and the fan-out skips projectors that have
// never answered. Then the command, the pause and the read-back of those it reached. Done only
// when every projector targeted did the command; each other one is named with the reason.
int SendCommand(CommandContext &context, const QStringList &tokens, const Sender &send,
                std::chrono::milliseconds wait,
                std::vector<ProjectorOutcome> *outcomesOut = nullptr)
{
    std::vector<ProjectorNode *> selection;
    if (!SelectProjectors(context, tokens, selection))
        return ExitRefused;
    const std::vector<Projector *> projectors = ProjectorsOf(selection);
    Refresh(context, projectors);

    std::vector<Projector *> touched;
    std::vector<ProjectorOutcome> outcomes;
    const int reached = send(selection, touched, outcomes);
    if (reached > 0) {
        std::this_thread::sleep_for(wait);
        context.doc.RequeryStatus(touched);
    } else {
        ShowUserMessage(LoadString(MSG_COMMUNICATION_FAILED));
    }

    QJsonArray results;
    int done = 0;
    for (const ProjectorOutcome &outcome : outcomes) {
        results.append(OutcomeJson(outcome));
        if (outcome.outcome == CommandOutcome::Done)
            ++done;
        else
            ShowUserMessage(OutcomeLine(outcome));
    }

    context.report.Set(u"selected"_s, int(projectors.size()));
    context.report.Set(u"reached"_s, reached);
    context.report.Set(u"done"_s, done);
    context.report.Set(u"results"_s, results);
    context.report.Line(FormatText(LoadString(CTL_REACHED_COUNT),
                                   {QString::number(reached), QString::number(projectors.size())}));
    if (!touched.empty())
        context.report.Projectors(u"projectors"_s, touched);
    context.report.Events();
    const bool allDone = !outcomes.empty() && done == int(outcomes.size());
    if (outcomesOut)
        *outcomesOut = std::move(outcomes);
    return allDone ? ExitDone : ExitRefused;
}

// "on"/"off" as a flag; told otherwise.
bool ParseOnOff(const QString &text, bool &on)
{
    on = text == u"on"_s;
    if (on || text == u"off"_s)
        return true;
    ShowUserMessage(FormatText(LoadString(CTL_EXPECTED_ON_OFF), {text}));
    return false;
}

// power on --input TYPE NUMBER TARGET...: read as a schedule's action is, one rule for both.
int RunPowerOnWithInput(CommandContext &context, const CommandArgs &args)
{
    ScheduleAction action;
    qsizetype used = 0;
    const ScheduleError error = ParseScheduleAction(QStringList{u"power"_s} + args.positional,
                                                    args.Value(u"input"_s), action, used);
    if (error != ScheduleError::None) {
        const QString word = error == ScheduleError::InputType
                                 ? QString(args.Value(u"input"_s) + u' ' + args.positional.value(1))
                                 : QString(u"power "_s + args.positional.at(0) + u" --input"_s);
        ShowUserMessage(ScheduleErrorText(error, word));
        return ExitUsage;
    }
    int warmUp = DEFAULT_WARM_UP_LIMIT;
    if (args.IsSet(u"warm-up"_s) && !ParseWarmUpLimit(args.Value(u"warm-up"_s), warmUp))
        return ExitUsage;
    const QStringList targets = args.positional.mid(used - 1);
    if (targets.isEmpty()) {
        ShowUserMessage(ScheduleErrorText(ScheduleError::NoTargets, QString()));
        return ExitUsage;
    }
    return RunAction(context, targets, action, std::chrono::seconds(warmUp));
}

} // namespace

int RunStatus(CommandContext &context, const CommandArgs &args)
{
    if (context.manager.GetProjectorCount() == 0)
        return ExitRefused; // message 300 told why at the document's creation

    const QStringList tokens = args.positional.isEmpty() ? QStringList{u"/"_s} : args.positional;
    std::vector<ProjectorNode *> selection;
    if (!SelectProjectors(context, tokens, selection))
        return ExitRefused;
    const std::vector<Projector *> projectors = ProjectorsOf(selection);
    Refresh(context, projectors);

    const bool anyAnswered = std::any_of(projectors.begin(), projectors.end(), [](Projector *p) {
        return p->GetConnectResult() != LinkResult::NoAnswer;
    });
    if (!anyAnswered)
        ShowUserMessage(LoadString(MSG_COMMUNICATION_FAILED));
    context.report.Projectors(u"projectors"_s, projectors);
    context.report.Events();
    return anyAnswered ? ExitDone : ExitRefused;
}

int RunMetrics(CommandContext &context, const CommandArgs &args)
{
    // An empty register is still a register to watch: its metrics say so.
    std::vector<Projector *> projectors;
    if (context.manager.GetProjectorCount() > 0) {
        const QStringList tokens =
            args.positional.isEmpty() ? QStringList{u"/"_s} : args.positional;
        std::vector<ProjectorNode *> selection;
        if (!SelectProjectors(context, tokens, selection))
            return ExitRefused;
        projectors = ProjectorsOf(selection);
    } else if (!args.positional.isEmpty()) {
        return ExitRefused; // message 300 told why
    }

    QElapsedTimer clock;
    clock.start();
    Refresh(context, projectors);
    MetricsRead read;
    read.durationSeconds = double(clock.nsecsElapsed()) / 1e9;
    read.readAt = QDateTime::currentDateTimeUtc();
    read.registerName = args.IsSet(u"register"_s)
                            ? args.Value(u"register"_s)
                            : QFileInfo(context.doc.GetSettingsPath()).completeBaseName();
    read.registered = context.manager.GetProjectorCount();
    for (const Projector *projector : projectors)
        read.projectors.push_back(projector->GetState());
    const QByteArray text = FormatPrometheusMetrics(read);

    if (!args.IsSet(u"output"_s)) {
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly) || out.write(text) != text.size())
            return ExitRefused;
        return ExitDone;
    }
    // Written whole or not at all: a collector reading the file never sees half of it.
    const QString path = args.Value(u"output"_s);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        ShowUserMessage(FormatText(LoadString(CTL_METRICS_UNWRITABLE), {path, file.errorString()}));
        return ExitRefused;
    }
    return ExitDone;
}

int RunPower(CommandContext &context, const CommandArgs &args)
{
    bool on = false;
    if (!ParseOnOff(args.positional.at(0), on))
        return ExitUsage;
    if (args.IsSet(u"input"_s))
        return RunPowerOnWithInput(context, args);
    const PowerStatus power(on ? PowerStatus::On : PowerStatus::Off);
    return SendCommand(
        context, args.positional.mid(1),
        [&](const auto &selection, auto &touched, auto &outcomes) {
            return context.doc.SendPower(selection, touched, power, &outcomes);
        },
        kPowerWait);
}

int RunFreeze(CommandContext &context, const CommandArgs &args)
{
    bool on = false;
    if (!ParseOnOff(args.positional.at(0), on))
        return ExitUsage;
    return SendCommand(
        context, args.positional.mid(1),
        [&](const auto &selection, auto &touched, auto &outcomes) {
            return context.doc.SendFreeze(selection, touched, on, &outcomes);
        },
        std::chrono::milliseconds(0));
}

int RunInput(CommandContext &context, const CommandArgs &args)
{
    InputStatus input;
    if (ParseInputArgument(args.positional.at(0), args.positional.at(1), input) !=
        ScheduleError::None) {
        ShowUserMessage(LoadString(CTL_INPUT_USAGE));
        return ExitUsage;
    }
    return SendCommand(
        context, args.positional.mid(2),
        [&](const auto &selection, auto &touched, auto &outcomes) {
            return context.doc.SendInput(selection, touched, input, &outcomes);
        },
        kInputWait);
}

int RunMute(CommandContext &context, const CommandArgs &args)
{
    const QString kind = args.positional.at(0);
    const int code = kind == u"video"_s   ? MuteStatus::Video
                     : kind == u"audio"_s ? MuteStatus::Audio
                     : kind == u"both"_s  ? MuteStatus::VideoAndAudio
                                          : MuteStatus::Unknown;
    if (code == MuteStatus::Unknown) {
        ShowUserMessage(FormatText(LoadString(CTL_EXPECTED_MUTE_KIND), {kind}));
        return ExitUsage;
    }
    bool on = false;
    if (!ParseOnOff(args.positional.at(1), on))
        return ExitUsage;
    const MuteStatus mute(code);
    return SendCommand(
        context, args.positional.mid(2),
        [&](const auto &selection, auto &touched, auto &outcomes) {
            return context.doc.SendMute(selection, touched, mute, on, &outcomes);
        },
        kMuteWait);
}

bool ParseWarmUpLimit(const QString &text, int &seconds)
{
    bool isNumber = false;
    const int value = text.toInt(&isNumber);
    if (!isNumber || value < 1 || value > MAX_WARM_UP_LIMIT) {
        ShowUserMessage(ScheduleErrorText(ScheduleError::WarmUpLimit, text));
        return false;
    }
    seconds = value;
    return true;
}

int RunAction(CommandContext &context, const QStringList &targets, const ScheduleAction &action,
              std::chrono::seconds warmUpLimit, std::vector<ProjectorOutcome> *outcomes)
{
    const std::chrono::milliseconds wait =
        action.kind == ScheduleAction::PowerOn || action.kind == ScheduleAction::PowerOff
            ? kPowerWait
        : action.kind == ScheduleAction::Mute   ? kMuteWait
        : action.kind == ScheduleAction::Freeze ? std::chrono::milliseconds(0)
                                                : kInputWait;
    return SendCommand(
        context, targets,
        [&](const auto &selection, auto &touched, auto &sent) {
            return context.doc.SendAction(selection, touched, action, warmUpLimit, &sent);
        },
        wait, outcomes);
}
