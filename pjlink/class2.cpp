#include "pjlink/class2.h"

#include "pjlink/connection.h"

namespace pjlink::class2 {

namespace {

constexpr char kClass2 = '2';

template <typename Parse> auto Query(Connection &connection, std::string_view name, Parse parse)
{
    std::string payload;
    const int code = connection.Request(kClass2, name, "?", payload);
    if (code != PJL_OK) {
        decltype(parse(std::string_view())) failed;
        failed.code = code;
        return failed;
    }
    return parse(payload);
}

int QueryText(Connection &connection, std::string_view name, std::string_view parameter,
              std::string &text)
{
    std::string payload;
    const int code = connection.Request(kClass2, name, parameter, payload);
    if (code != PJL_OK)
        return code;
    text = parseText(payload).text;
    return PJL_OK;
}

int Command(Connection &connection, std::string_view name, std::string_view parameter)
{
    std::string payload;
    const int code = connection.Request(kClass2, name, parameter, payload);
    return code != PJL_OK ? code : parseSetResult(payload);
}

int QueryModels(Connection &connection, std::string_view name, std::vector<std::string> &models)
{
    TextListAnswer answer = Query(connection, name, parseModels);
    if (answer.code == PJL_OK)
        models = std::move(answer.texts);
    return answer.code;
}

bool ValidInput(Input input)
{
    return input.first >= 1 && input.first <= 6 && inputNumberChar(input.second) != 0;
}

} // namespace

std::string InputCode(Input input)
{
    if (!ValidInput(input))
        return {};
    return {static_cast<char>('0' + input.first), inputNumberChar(input.second)};
}

int GetSerialNumber(Connection &connection, std::string &text)
{
    return QueryText(connection, "SNUM", "?", text);
}

int GetSoftwareVersion(Connection &connection, std::string &text)
{
    return QueryText(connection, "SVER", "?", text);
}

int GetInputList(Connection &connection, std::vector<Input> &inputs)
{
    const ListAnswer answer = Query(connection, "INST", parseInputList);
    if (answer.code != PJL_OK)
        return answer.code;
    inputs.clear();
    for (std::size_t i = 0; i + 1 < answer.values.size(); i += 2)
        inputs.emplace_back(answer.values[i], answer.values[i + 1]);
    return PJL_OK;
}

int GetInput(Connection &connection, Input &input)
{
    const InputAnswer answer = Query(connection, "INPT", parseInput);
    if (answer.code == PJL_OK)
        input = {answer.type, answer.number};
    return answer.code;
}

int GetInputName(Connection &connection, Input input, std::string &name)
{
    const std::string code = InputCode(input);
    if (code.empty())
        return PJL_ERR_PARAMETER;
    // The standard's query form carries the input: "%2INNM ?31".
    return QueryText(connection, "INNM", "?" + code, name);
}

int GetInputResolution(Connection &connection, ResolutionAnswer &resolution)
{
    const ResolutionAnswer answer =
        Query(connection, "IRES", [](std::string_view p) { return parseResolution(p, true); });
    if (answer.code == PJL_OK)
        resolution = answer;
    return answer.code;
}

int GetRecommendedResolution(Connection &connection, ResolutionAnswer &resolution)
{
    const ResolutionAnswer answer =
        Query(connection, "RRES", [](std::string_view p) { return parseResolution(p, false); });
    if (answer.code == PJL_OK)
        resolution = answer;
    return answer.code;
}

int GetFilterHours(Connection &connection, int &hours)
{
    const IntAnswer answer = Query(connection, "FILT", parseHours);
    if (answer.code == PJL_OK)
        hours = answer.value;
    return answer.code;
}

int GetLampModels(Connection &connection, std::vector<std::string> &models)
{
    return QueryModels(connection, "RLMP", models);
}

int GetFilterModels(Connection &connection, std::vector<std::string> &models)
{
    return QueryModels(connection, "RFIL", models);
}

int GetFreeze(Connection &connection, bool &frozen)
{
    const IntAnswer answer = Query(connection, "FREZ", parseFreeze);
    if (answer.code == PJL_OK)
        frozen = answer.value == 1;
    return answer.code;
}

int ChangeInput(Connection &connection, Input input)
{
    const std::string code = InputCode(input);
    if (code.empty())
        return PJL_ERR_PARAMETER;
    return Command(connection, "INPT", code);
}

int Freeze(Connection &connection, bool frozen)
{
    return Command(connection, "FREZ", frozen ? "1" : "0");
}

int SpeakerVolume(Connection &connection, bool up)
{
    return Command(connection, "SVOL", up ? "1" : "0");
}

int MicrophoneVolume(Connection &connection, bool up)
{
    return Command(connection, "MVOL", up ? "1" : "0");
}

} // namespace pjlink::class2
