#pragma once

#include "model/commandoutcome.h"
#include "model/schedule.h"
#include "tools/lumarinctl/commandcontext.h"

#include <chrono>
#include <vector>

// The commands, one function each; every one returns an ExitStatus. They run on the main
// thread, after the document has been created, and tell the user through ShowUserMessage.

// registrycommands.cpp
int RunList(CommandContext &context, const CommandArgs &args);
int RunGroupAdd(CommandContext &context, const CommandArgs &args);
int RunGroupRename(CommandContext &context, const CommandArgs &args);
int RunMove(CommandContext &context, const CommandArgs &args);
int RunRemove(CommandContext &context, const CommandArgs &args);
int RunSet(CommandContext &context, const CommandArgs &args);
int RunExport(CommandContext &context, const CommandArgs &args);
int RunImport(CommandContext &context, const CommandArgs &args);

// projectorcommands.cpp
int RunStatus(CommandContext &context, const CommandArgs &args);
int RunPower(CommandContext &context, const CommandArgs &args);
int RunInput(CommandContext &context, const CommandArgs &args);
int RunMute(CommandContext &context, const CommandArgs &args);
int RunMetrics(CommandContext &context, const CommandArgs &args);
int RunFreeze(CommandContext &context, const CommandArgs &args);
// A schedule's action on the targets as power, input and mute do it: refresh, command, pause,
// read-back, each projector that did not do it named. outcomes, when given, receives every
// targeted projector's outcome.
int RunAction(CommandContext &context, const QStringList &targets, const ScheduleAction &action,
              std::chrono::seconds warmUpLimit, std::vector<ProjectorOutcome> *outcomes = nullptr);
// --warm-up's value; told otherwise.
bool ParseWarmUpLimit(const QString &text, int &seconds);

// schedulecommands.cpp
int RunScheduleAdd(CommandContext &context, const CommandArgs &args);
int RunScheduleList(CommandContext &context, const CommandArgs &args);
int RunScheduleRemove(CommandContext &context, const CommandArgs &args);
int RunScheduleEnable(CommandContext &context, const CommandArgs &args);
int RunScheduleDisable(CommandContext &context, const CommandArgs &args);
int RunScheduleRun(CommandContext &context, const CommandArgs &args);
int RunScheduleSync(CommandContext &context, const CommandArgs &args);

// checkcommand.cpp; answers a CheckStatus
int RunCheck(CommandContext &context, const CommandArgs &args);
// check's answer when it cannot judge, beside the message: "LUMARIN UNKNOWN - reason".
void ReportCheckUnknown(Report &report, const QString &reason);

// fleetcommands.cpp
int RunImportCsv(CommandContext &context, const CommandArgs &args);
int RunPasswd(CommandContext &context, const CommandArgs &args);
int RunRename(CommandContext &context, const CommandArgs &args);

// registration.cpp
int RunAdd(CommandContext &context, const CommandArgs &args);
int RunSearch(CommandContext &context, const CommandArgs &args);

// watchcommand.cpp
int RunWatch(CommandContext &context, const CommandArgs &args);
