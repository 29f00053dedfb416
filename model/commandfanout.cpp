#include "model/commandfanout.h"

#include "model/actionevent.h"
#include "model/connectionwindow.h"
#include "model/linkresult.h"
#include "model/parallelwalk.h"
#include "model/projector.h"
#include "model/projectornode.h"
#include "res/stringids.h"
#include "res/stringtable.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <thread>

#include <QDeadlineTimer>

using namespace Qt::StringLiterals;

namespace {

using Attempt = ProjectorCommand::Attempt;

// The outcome of a command at one projector.
struct Sent
{
    bool counted = false;
    std::unique_ptr<ActionEvent> event;
    ProjectorOutcome outcome;
};

// Depth-first, groups through their children in tree order: the order a walk one by one
// reaches the projectors in.
void CollectProjectors(ProjectorNode &node, std::vector<Projector *> &projectors)
{
    if (node.IsProjector()) {
        projectors.push_back(static_cast<Projector *>(&node));
        return;
    }
    for (const auto &child : node.GetChildren())
        CollectProjectors(*child, projectors);
}

Sent SendToProjector(ProjectorManager &manager, Projector &projector,
                     const ProjectorCommand &command)
{
    Sent sent;
    ProjectorOutcome &outcome = sent.outcome;
    outcome.projector = &projector;
    if (!command.send) {
        outcome.outcome = CommandOutcome::NotSent;
        // What the library answers to such a command, without traffic.
        outcome.result = LinkResult::OutOfParameter;
        return sent;
    }
    // Read from the published state: a window open elsewhere is not waited for.
    if (!projector.IsReachable() && projector.GetConnectResult() == LinkResult::NoAnswer)
        return sent; // never answered since registered or loaded: not even a connect attempt

    const ProjectorManager::ProjectorLease lease = manager.Lease(&projector);
    if (!lease)
        return sent;
    ConnectionWindow window(projector, 0);
    outcome.result = LinkResult(window.GetResult());
    if (outcome.result == LinkResult::NoAnswer)
        return sent;
    // Any other connect result (a refused password too) counts the projector as reached,
    // although nothing was sent.
    sent.counted = true;
    if (outcome.result != LinkResult::Ok) {
        outcome.outcome = OutcomeOfResult(outcome.result, true);
        return sent;
    }
    const Attempt attempt = command.send(projector);
    outcome.result = LinkResult(attempt.result);
    if (!attempt.sent) {
        // Only projectors that offer the input count as reached.
        sent.counted = false;
        // An input that is not offered reads as the projector's own ERR2 (out of parameter),
        // never as Ok: nothing was done.
        const bool notOffered = outcome.result == LinkResult::Ok;
        outcome.outcome =
            notOffered ? CommandOutcome::InputNotOffered : OutcomeOfResult(outcome.result, true);
        if (notOffered)
            outcome.result = LinkResult::OutOfParameter;
        return sent;
    }
    const int result = attempt.result;
    outcome.outcome = OutcomeOfResult(outcome.result, true);
    if (IsRefusedInState(result)) {
        // The projector refused in a state of its own: read it while the window is open.
        PowerStatus power;
        if (projector.GetPowerStatus(power) == LinkResult::Ok)
            outcome.power = power;
        std::optional<ErrorStatus> worst;
        if (result == LinkResult::ProjectorFailure &&
            projector.GetWorstError(worst) == LinkResult::Ok)
            outcome.worstError = worst;
    }
    window.Close();
    if (result == LinkResult::Ok)
        sent.event = std::make_unique<ActionEvent>(projector.GetName(), command.message(projector),
                                                   ActionEvent::Information);
    return sent;
}

} // namespace

ProjectorCommand PowerCommand(PowerStatus power)
{
    ProjectorCommand command;
    command.send = [power](Projector &projector) {
        return Attempt{true, projector.SetPower(power)};
    };
    command.message = [power](Projector &) {
        return FormatText(LoadString(MSG_POWER_TURNED), {power.GetText()});
    };
    return command;
}

ProjectorCommand InputCommand(InputStatus input)
{
    ProjectorCommand command;
    command.send = [input](Projector &projector) {
        std::vector<InputStatus> offered;
        // Only "%2INST" lists such an input, and it is asked of a projector known to be Class 2.
        if (int pjlinkClass = -1; input.NeedsClass2())
            projector.GetClass(pjlinkClass);
        if (const int listed = projector.GetAvailableInputList(offered); listed != LinkResult::Ok)
            return Attempt{false, listed};
        const bool found = std::any_of(offered.begin(), offered.end(),
                                       [&](const InputStatus &i) { return i == input; });
        if (!found)
            return Attempt{false, ResultCode(LinkResult::Ok)};
        return Attempt{true, projector.ChangeInput(input)};
    };
    command.message = [input](Projector &projector) {
        // Outside the window the maker is read from what the last refresh stored.
        return FormatText(LoadString(MSG_INPUT_SWITCHED),
                          {input.GetShortText(Projector::IsKorvaneProjector(projector))});
    };
    return command;
}

ProjectorCommand MuteCommand(MuteStatus mute, bool on)
{
    ProjectorCommand command;
    if (mute.GetCode() == MuteStatus::Off || mute.GetCode() == MuteStatus::Unknown)
        return command;
    command.send = [mute, on](Projector &projector) {
        return Attempt{true, projector.SetMute(mute, on)};
    };
    command.message = [mute, on](Projector &) {
        return FormatText(LoadString(on ? MSG_MUTE_ON : MSG_MUTE_OFF), {mute.GetText()});
    };
    return command;
}

ProjectorCommand FreezeCommand(bool on)
{
    ProjectorCommand command;
    command.send = [on](Projector &projector) { return Attempt{true, projector.SetFreeze(on)}; };
    command.message = [on](Projector &) {
        return LoadString(on ? STR_CLASS2_FREEZE_ON : STR_CLASS2_FREEZE_OFF);
    };
    return command;
}

ProjectorCommand PowerOnWithInputCommand(InputStatus input, std::chrono::seconds warmUpLimit)
{
    ProjectorCommand command;
    command.send = [input, warmUpLimit](Projector &projector) {
        const QDeadlineTimer deadline(warmUpLimit);
        // A step answered with ERR3 is asked again until the deadline; its last result counts.
        const auto untilDone = [&](const std::function<int()> &step) {
            for (;;) {
                const int result = step();
                if (result != LinkResult::Unavailable || deadline.hasExpired())
                    return result;
                std::this_thread::sleep_for(std::min<std::chrono::nanoseconds>(
                    POWER_ON_POLL, deadline.remainingTimeAsDuration()));
            }
        };
        if (const int on =
                untilDone([&] { return projector.SetPower(PowerStatus(PowerStatus::On)); });
            on != LinkResult::Ok)
            return Attempt{true, on};
        // Warm-up reads as a power state, not as ERR3: the same wait, on the state.
        const int powered = untilDone([&] {
            PowerStatus power;
            const int read = projector.GetPowerStatus(power);
            if (read != LinkResult::Ok)
                return read;
            return power.GetCode() == PowerStatus::On ? ResultCode(LinkResult::Ok)
                                                      : ResultCode(LinkResult::Unavailable);
        });
        if (powered != LinkResult::Ok)
            return Attempt{true, powered};
        std::vector<InputStatus> offered;
        if (const int listed = untilDone([&] { return projector.GetAvailableInputList(offered); });
            listed != LinkResult::Ok)
            return Attempt{false, listed};
        if (std::none_of(offered.begin(), offered.end(),
                         [&](const InputStatus &i) { return i == input; }))
            return Attempt{false, ResultCode(LinkResult::Ok)};
        if (const int switched = untilDone([&] { return projector.ChangeInput(input); });
            switched != LinkResult::Ok)
            return Attempt{true, switched};
        return Attempt{true, untilDone([&] {
                           return projector.SetMute(MuteStatus(MuteStatus::VideoAndAudio), false);
                       })};
    };
    // QString, not a builder over the temporaries.
    command.message = [input](Projector &projector) -> QString {
        return FormatText(LoadString(MSG_POWER_TURNED), {PowerStatus(PowerStatus::On).GetText()}) +
               u", "_s +
               FormatText(LoadString(MSG_INPUT_SWITCHED),
                          {input.GetShortText(Projector::IsKorvaneProjector(projector))});
    };
    return command;
}

ProjectorCommand ActionCommand(const ScheduleAction &action, std::chrono::seconds warmUpLimit)
{
    switch (action.kind) {
    case ScheduleAction::PowerOn:
        return PowerCommand(PowerStatus(PowerStatus::On));
    case ScheduleAction::PowerOff:
        return PowerCommand(PowerStatus(PowerStatus::Off));
    case ScheduleAction::Input:
        return InputCommand(action.input);
    case ScheduleAction::Mute:
        return MuteCommand(MuteStatus(action.mute), action.on);
    case ScheduleAction::Freeze:
        return FreezeCommand(action.on);
    case ScheduleAction::PowerOnWithInput:
        return PowerOnWithInputCommand(action.input, warmUpLimit);
    }
    return {};
}

int SendToSelection(ProjectorManager &manager, const std::vector<ProjectorNode *> &selection,
                    const ProjectorCommand &command, std::vector<Projector *> &touched,
                    const ProjectorManager::EventSink &sink,
                    std::vector<ProjectorOutcome> *outcomes)
{
    std::vector<Projector *> projectors;
    for (ProjectorNode *node : selection) {
        if (node)
            CollectProjectors(*node, projectors);
    }
    std::vector<Sent> sent(projectors.size());
    int count = 0;
    RunInParallel(
        int(projectors.size()),
        [&](int i) { sent[size_t(i)] = SendToProjector(manager, *projectors[size_t(i)], command); },
        [&](int i) {
            Sent &at = sent[size_t(i)];
            if (outcomes)
                outcomes->push_back(at.outcome);
            if (!at.counted)
                return;
            ++count;
            touched.push_back(projectors[size_t(i)]);
            if (at.event && sink)
                sink(std::move(at.event));
        });
    return count;
}

void RequeryStatuses(ProjectorManager &manager, const std::vector<Projector *> &touched)
{
    RunInParallel(
        int(touched.size()),
        [&](int i) {
            Projector *projector = touched[size_t(i)];
            // The caller waits between command and read-back; a projector deleted meanwhile is
            // gone and must not be touched (the lease only compares the pointer).
            const ProjectorManager::ProjectorLease lease = manager.Lease(projector);
            if (!lease || projector->GetConnectResult() == LinkResult::NoAnswer)
                return;
            ConnectionWindow window(*projector, 0);
            if (window.GetResult() == LinkResult::NoAnswer)
                return;
            PowerStatus power;
            InputStatus input;
            MuteStatus mute;
            projector->GetPowerStatus(power);
            projector->GetInput(input);
            projector->GetMuteStatus(mute);
        },
        [](int) {});
}
