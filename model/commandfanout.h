#pragma once

#include "model/commandoutcome.h"
#include "model/inputstatus.h"
#include "model/mutestatus.h"
#include "model/powerstatus.h"
#include "model/projectormanager.h"
#include "model/schedule.h"

#include <QString>

#include <chrono>
#include <functional>
#include <vector>

class Projector;
class ProjectorNode;

// Commands to a selection of projectors and groups, and the read-back after them: the one
// place where power, input, mute and freeze reach projectors, whoever asks (the document for
// the main view and lumarinctl).
//
// Projectors are talked to only in connection windows (model/connectionwindow.h, where the
// locking rules are), one window per projector at a time and up to MAX_PARALLEL_CONNECTIONS
// projectors at once (model/parallelwalk.h). Any thread that may read the tree; the tree must
// not change meanwhile.

// What a command does at one projector. send runs in the projector's connection window once
// the connect succeeded; message gives the event text for an accepted command and runs after
// the window closed, on the values it left. A command without send is incomplete and goes
// nowhere.
struct ProjectorCommand
{
    // The command's result, or, when it was not sent because the projector cannot take it (an
    // input it does not offer, or an input list it could not give), the result of the read that
    // told so (Ok: read, and the input is not there).
    struct Attempt
    {
        bool sent = true;
        int result = ResultCode(LinkResult::Ok);
    };

    std::function<Attempt(Projector &)> send;
    std::function<QString(Projector &)> message;
};

ProjectorCommand PowerCommand(PowerStatus power);
// Only projectors that offer the input take it.
ProjectorCommand InputCommand(InputStatus input);
// A mute without a kind (video, audio or both) gives an incomplete command.
ProjectorCommand MuteCommand(MuteStatus mute, bool on);
// Freeze on or off (Class 2); a Class 1 projector refuses it (ERR1).
ProjectorCommand FreezeCommand(bool on);
// Power on, then, in the same connection window, wait until the projector reports "on", switch
// to the input and unmute video and audio. Each step a projector answers with ERR3 (cooling,
// warming up) is asked again every POWER_ON_POLL until warmUpLimit has passed since the
// start; then the step's ERR3 is the result. Only a projector that offers the input takes it
// (as InputCommand); it is powered on all the same.
ProjectorCommand PowerOnWithInputCommand(InputStatus input, std::chrono::seconds warmUpLimit);
inline constexpr std::chrono::milliseconds POWER_ON_POLL{1000};
// The command of a schedule's action (model/schedule.h).
ProjectorCommand ActionCommand(const ScheduleAction &action, std::chrono::seconds warmUpLimit);

// Sends the command to the selection, groups standing for every projector below them. Each
// projector that has answered since it was registered or loaded gets a connection window of its
// own; those whose connect got an answer are counted and appended to touched, and the event of
// each accepted command reaches sink, both in selection order as a walk one by one gives them.
// Returns the count. outcomes, when given, gets one entry per projector walked, in the same
// order, whether it was counted or not.
int SendToSelection(ProjectorManager &manager, const std::vector<ProjectorNode *> &selection,
                    const ProjectorCommand &command, std::vector<Projector *> &touched,
                    const ProjectorManager::EventSink &sink,
                    std::vector<ProjectorOutcome> *outcomes = nullptr);

// Reads power, input and mute of each touched projector again; nothing is logged. A projector
// no longer registered is left alone.
void RequeryStatuses(ProjectorManager &manager, const std::vector<Projector *> &touched);
