#include "tools/emulator/emulatorreplies.h"

#include "pjlink/datagram.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t MaxParameterBytes = 128;

std::string answer(char cls, std::string_view command, std::string_view data)
{
    std::string line = "%";
    line += cls;
    line += command;
    line += '=';
    line += data;
    return line;
}

// Input numbers 10..35 are the Class 2 letters A..Z.
std::string inputCode(std::pair<int, int> input)
{
    const int n = input.second;
    const char number = n >= 10 ? static_cast<char>('A' + n - 10) : static_cast<char>('0' + n);
    return std::to_string(input.first) + number;
}

// Class 1 takes types 1..9 and numbers 1..9; Class 2 also numbers A..Z (types 1..6).
std::optional<std::pair<int, int>> parseInput(std::string_view parameter, bool class2)
{
    if (parameter.size() != 2 || parameter[0] < '1' || parameter[0] > '9')
        return std::nullopt;
    const char n = parameter[1];
    if (n >= '1' && n <= '9')
        return std::pair{parameter[0] - '0', n - '0'};
    if (class2 && n >= 'A' && n <= 'Z' && parameter[0] <= '6')
        return std::pair{parameter[0] - '0', n - 'A' + 10};
    return std::nullopt;
}

bool isClass1Input(std::pair<int, int> input)
{
    return input.first >= 1 && input.first <= 5 && input.second >= 1 && input.second <= 9;
}

// A client must reject every one of these, so they rotate through the ways framing breaks.
std::string malform(const std::string &good, unsigned variant)
{
    const std::string command = good.size() >= 6 ? good.substr(2, 4) : std::string("POWR");
    const auto equals = good.find('=');
    const std::string data = equals == std::string::npos ? std::string() : good.substr(equals + 1);
    switch (variant % 5) {
    case 0: // echoes another command
        return "%1" + std::string(command == "POWR" ? "INPT" : "POWR") + "=" + data;
    case 1: // no '='
        return "%1" + command + data;
    case 2: // not PJLink at all
        return std::string("\x7f\x01#garbage?!", 12);
    case 3: // no '%' prefix
        return "1" + command + "=" + data;
    default: // longer than any PJLink answer may be
        return "%1" + command + "=" + data + std::string(200, '9');
    }
}

// "%1POWR 1" and the like: a command with a parameter other than "?".
bool isSet(std::string_view request)
{
    return request.size() >= 8 && request[6] == ' ' && request.substr(7) != "?";
}

struct Request
{
    std::string_view command;
    std::string_view parameter;
    bool query = false;
    bool class2 = false; // sent as "%2"
};

std::string powerReply(EmulatorConfig &config, EmulatorRuntime &runtime, const Request &r,
                       Clock::time_point now)
{
    if (r.query)
        return std::to_string(config.power);
    if (r.parameter != "0" && r.parameter != "1")
        return "ERR2";
    if (config.power == 2 || config.power == 3)
        return "ERR3";
    const int wanted = r.parameter == "1" ? 1 : 0;
    if (config.power != wanted) {
        config.power = wanted == 1 ? 3 : 2;
        startPowerTransition(config, runtime, now);
    }
    return "OK";
}

std::string inputReply(EmulatorConfig &config, const Request &r)
{
    if (r.query)
        return config.power == 1 ? inputCode(config.input) : std::string("ERR3");
    const auto input = parseInput(r.parameter, r.class2);
    if (!input)
        return "ERR2";
    if (config.power != 1)
        return "ERR3";
    for (const auto &present : config.inputs) {
        if (present == *input) {
            config.input = *input;
            return "OK";
        }
    }
    return "ERR2";
}

std::string muteReply(EmulatorConfig &config, const Request &r)
{
    if (r.query)
        return config.power == 1 ? std::to_string(config.mute) : std::string("ERR3");
    if (r.parameter.size() != 2 || r.parameter[0] < '1' || r.parameter[0] > '3' ||
        (r.parameter[1] != '0' && r.parameter[1] != '1'))
        return "ERR2";
    if (config.power != 1)
        return "ERR3";
    bool video = config.mute == 11 || config.mute == 31;
    bool audio = config.mute == 21 || config.mute == 31;
    const bool on = r.parameter[1] == '1';
    if (r.parameter[0] != '2')
        video = on;
    if (r.parameter[0] != '1')
        audio = on;
    config.mute = video && audio ? 31 : video ? 11 : audio ? 21 : 30;
    return "OK";
}

std::string lampReply(const EmulatorConfig &config)
{
    if (config.lamps.empty())
        return "ERR1";
    std::string data;
    for (const auto &lamp : config.lamps) {
        if (!data.empty())
            data += ' ';
        data += std::to_string(lamp.first) + (config.power == 1 ? " 1" : " 0");
    }
    return data;
}

// A Class 1 request lists only the inputs that Class 1 can name.
std::string inputListReply(const EmulatorConfig &config, bool class2)
{
    std::string data;
    for (const auto &input : config.inputs) {
        if (!class2 && !isClass1Input(input))
            continue;
        if (!data.empty())
            data += ' ';
        data += inputCode(input);
    }
    return data;
}

std::string errorsReply(const EmulatorConfig &config)
{
    std::string data;
    for (int e : config.errors)
        data += std::to_string(e);
    return data;
}

std::string inputNameReply(const EmulatorConfig &config, std::string_view parameter)
{
    // "?31": the query names the input it asks about.
    if (parameter.size() != 3 || parameter[0] != '?')
        return "ERR2";
    const auto input = parseInput(parameter.substr(1), true);
    if (!input)
        return "ERR2";
    bool present = false;
    for (const auto &offered : config.inputs)
        present = present || offered == *input;
    if (!present)
        return "ERR2";
    const auto name = config.inputNames.find(*input);
    return name != config.inputNames.end() ? name->second : std::string();
}

std::string volumeReply(int &volume, const EmulatorConfig &config, std::string_view parameter)
{
    if (parameter != "0" && parameter != "1")
        return "ERR2";
    if (config.power != 1)
        return "ERR3";
    volume = parameter == "1" ? std::min(volume + 1, 20) : std::max(volume - 1, 0);
    return "OK";
}

std::string freezeReply(EmulatorConfig &config, const Request &r)
{
    if (r.query)
        return config.power == 1 ? std::string(config.freeze ? "1" : "0") : std::string("ERR3");
    if (r.parameter != "0" && r.parameter != "1")
        return "ERR2";
    if (config.power != 1)
        return "ERR3";
    config.freeze = r.parameter == "1";
    return "OK";
}

// Query-only Class 2 commands and what they answer.
std::optional<std::string> class2InformationReply(const EmulatorConfig &config,
                                                  std::string_view command)
{
    if (command == "SNUM")
        return config.serialNumber;
    if (command == "SVER")
        return config.softwareVersion;
    if (command == "FILT")
        return config.filterHours < 0 ? std::string("ERR1") : std::to_string(config.filterHours);
    if (command == "RLMP")
        return config.lampModels;
    if (command == "RFIL")
        return config.filterModels;
    if (command == "IRES")
        return config.power == 1 ? config.inputResolution : std::string("ERR3");
    if (command == "RRES")
        return config.recommendedResolution;
    return std::nullopt;
}

// Query-only commands and what they answer.
std::optional<std::string> informationReply(const EmulatorConfig &config, std::string_view command,
                                            bool class2)
{
    if (class2) {
        if (auto reply = class2InformationReply(config, command))
            return reply;
    }
    if (command == "ERST")
        return errorsReply(config);
    if (command == "LAMP")
        return lampReply(config);
    if (command == "INST")
        return inputListReply(config, class2);
    if (command == "NAME")
        return config.name;
    if (command == "INF1")
        return config.manufacturer;
    if (command == "INF2")
        return config.product;
    if (command == "INFO")
        return config.otherInfo;
    if (command == "CLSS")
        return std::to_string(config.pjlinkClass);
    return std::nullopt;
}

std::string normalReply(EmulatorConfig &config, EmulatorRuntime &runtime, std::string_view request,
                        Clock::time_point now)
{
    const char cls = request.size() > 1 ? request[1] : '1';
    const std::string_view command = request.substr(std::min<std::size_t>(2, request.size()), 4);
    const bool class2 = cls == '2' && config.pjlinkClass >= 2;
    if (cls != '1' && !class2)
        return answer(cls, command, "ERR1");

    static constexpr std::array<std::string_view, 11> known{
        "POWR", "INPT", "AVMT", "ERST", "LAMP", "INST", "NAME", "INF1", "INF2", "INFO", "CLSS"};
    // Under "%2" only the Class 2 commands: a Class 1 command such as "%2POWR ?" is undefined
    // there, as on real projectors; INPT and INST exist in both classes.
    static constexpr std::array<std::string_view, 13> knownClass2{
        "INPT", "INST", "SNUM", "SVER", "INNM", "IRES", "RRES",
        "FILT", "RLMP", "RFIL", "FREZ", "SVOL", "MVOL"};
    bool isKnown = false;
    for (auto k : class2 ? std::span<const std::string_view>(knownClass2)
                         : std::span<const std::string_view>(known))
        isKnown = isKnown || k == command;
    if (!isKnown)
        return answer(cls, command, "ERR1");

    if (request.size() < 8 || request[6] != ' ' || request.size() - 7 > MaxParameterBytes)
        return answer(cls, command, "ERR2");
    Request r{command, request.substr(7), request.substr(7) == "?", class2};

    if (command == "POWR")
        return answer(cls, command, powerReply(config, runtime, r, now));
    if (command == "INPT")
        return answer(cls, command, inputReply(config, r));
    if (command == "AVMT")
        return answer(cls, command, muteReply(config, r));
    if (command == "FREZ")
        return answer(cls, command, freezeReply(config, r));
    if (command == "SVOL")
        return answer(cls, command, volumeReply(config.speakerVolume, config, r.parameter));
    if (command == "MVOL")
        return answer(cls, command, volumeReply(config.microphoneVolume, config, r.parameter));
    if (command == "INNM")
        return answer(cls, command, inputNameReply(config, r.parameter));
    if (!r.query)
        return answer(cls, command, "ERR2");
    return answer(cls, command, informationReply(config, command, class2).value_or("ERR1"));
}

} // namespace

void advancePower(EmulatorConfig &config, EmulatorRuntime &runtime, Clock::time_point now)
{
    if ((config.power == 2 || config.power == 3) && now >= runtime.powerDeadline)
        config.power = config.power == 3 ? 1 : 0;
}

void startPowerTransition(EmulatorConfig &config, EmulatorRuntime &runtime, Clock::time_point now)
{
    if (config.power == 3)
        runtime.powerDeadline = now + std::chrono::milliseconds(config.warmUpMs);
    else if (config.power == 2)
        runtime.powerDeadline = now + std::chrono::milliseconds(config.coolingMs);
}

bool dropsConnection(const EmulatorConfig &config, std::string_view request)
{
    return isSet(request) && config.droppedSets.count(std::string(request.substr(2, 4))) > 0;
}

std::string replyTo(EmulatorConfig &config, EmulatorRuntime &runtime, std::string_view request,
                    Clock::time_point now)
{
    advancePower(config, runtime, now);
    if (request.size() >= 6) {
        const std::string command(request.substr(2, 4));
        const auto raw = config.rawAnswers.find(command);
        if (raw != config.rawAnswers.end())
            return raw->second;
        const auto refused = config.refusedSets.find(command);
        if (refused != config.refusedSets.end() && isSet(request))
            return answer(request[1], command, "ERR" + std::to_string(refused->second));
    }
    std::string reply = normalReply(config, runtime, request, now);
    if (config.malformedAnswers)
        reply = malform(reply, runtime.malformedCount++);
    return reply;
}

std::string macAddressText(const std::string &configured)
{
    const pjlink::Datagram parsed = pjlink::parseDatagram("%2LKUP=" + configured);
    return pjlink::formatMac(parsed.kind == pjlink::Datagram::LinkUp ? parsed.mac
                                                                     : pjlink::MacAddress{});
}
