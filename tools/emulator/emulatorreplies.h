#pragma once

#include "tools/emulator/emulatedprojector.h"

#include <chrono>
#include <string>
#include <string_view>

// What an emulated projector knows besides its configuration. Guarded by the same lock.
struct EmulatorRuntime
{
    std::chrono::steady_clock::time_point powerDeadline; // end of warm-up or cooling
    unsigned malformedCount = 0;                         // picks the next way to break an answer
};

// Ends warm-up (3 -> 1) or cooling (2 -> 0) once its time is over.
void advancePower(EmulatorConfig &config, EmulatorRuntime &runtime,
                  std::chrono::steady_clock::time_point now);

// Enters warm-up or cooling if config.power is 3 or 2, timed from now.
void startPowerTransition(EmulatorConfig &config, EmulatorRuntime &runtime,
                          std::chrono::steady_clock::time_point now);

// True when request is the set form (not "?") of a command in config.droppedSets.
bool dropsConnection(const EmulatorConfig &config, std::string_view request);

// The answer line, without CR, to one request line that starts with '%' (digest already
// removed), as a Class 1 projector gives it; may change config (power, input, mute).
std::string replyTo(EmulatorConfig &config, EmulatorRuntime &runtime, std::string_view request,
                    std::chrono::steady_clock::time_point now);

// The one spelling of the MAC address in ACKN and LKUP, on UDP and TCP alike: upper-case hex
// digits separated by colons; all zeros when the configured text is no MAC address.
std::string macAddressText(const std::string &configured);
