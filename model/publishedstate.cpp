#include "model/publishedstate.h"

#include "model/projector.h"
#include "res/stringtable.h"

using namespace Qt::StringLiterals;

namespace {

constexpr int kLampHoursFormat = 32791;

QString Placeholder(int result)
{
    return result == -1 ? u"?"_s : u"X"_s;
}

} // namespace

ProjectorState PublishedState(const Projector &constProjector)
{
    // The stored values are answered without a connection window.
    auto &projector = const_cast<Projector &>(constProjector);
    ProjectorState s;
    s.name = projector.GetName();
    s.ipAddress = projector.GetIPAddress();
    s.groupPath = projector.GetPath();
    s.reachable = projector.IsReachable();
    s.authenticated = projector.IsAuthenticated();
    s.authorizationRequired = projector.IsAuthorizationRequired();
    s.connectResult = projector.GetConnectResult();
    s.lastSocketError = projector.GetLastSocketError();
    s.powerResult = projector.GetPowerStatus(s.power);
    s.inputResult = projector.GetInput(s.input);
    s.muteResult = projector.GetMuteStatus(s.mute);
    s.inputListResult = projector.GetAvailableInputList(s.inputs);
    s.errorResult = projector.GetErrorStatus(s.errors);
    s.lampResult = projector.GetLampStatus(s.lamps);
    s.manufacturerResult = projector.GetManufacturer(s.manufacturer);
    s.modelResult = projector.GetModelInfo(s.modelInfo);
    s.otherInfoResult = projector.GetOtherInfo(s.otherInfo);
    s.classResult = projector.GetClass(s.pjlinkClass);
    projector.GetWorstError(s.worstError);
    s.isKorvane = Projector::IsKorvaneProjector(projector);
    return s;
}

ProjectorCells PublishedCells(const ProjectorState &state)
{
    ProjectorCells cells;
    cells.name = state.name;
    cells.ipAddress = state.ipAddress;
    cells.groupPath = state.groupPath;
    if (state.connectResult == -1) {
        for (QString *cell : {&cells.manufacturer, &cells.power, &cells.input, &cells.mute,
                              &cells.error, &cells.lampTime})
            *cell = Placeholder(-1);
        return cells;
    }
    cells.manufacturer =
        state.manufacturerResult == 0 ? state.manufacturer : Placeholder(state.manufacturerResult);
    cells.power = state.powerResult == 0 ? state.power.GetText() : Placeholder(state.powerResult);
    if (state.inputResult != 0)
        cells.input = Placeholder(state.inputResult);
    else if (state.input.GetType() != InputStatus::Unavailable)
        cells.input = state.input.GetShortText(state.isKorvane);
    cells.mute = state.muteResult == 0 ? state.mute.GetText() : Placeholder(state.muteResult);
    if (state.errorResult != 0)
        cells.error = Placeholder(state.errorResult);
    else if (state.worstError)
        cells.error = state.worstError->GetText();
    if (state.lampResult != 0)
        cells.lampTime = Placeholder(state.lampResult);
    else if (!state.lamps.empty())
        cells.lampTime = FormatText(LoadString(kLampHoursFormat),
                                    {QString::number(state.lamps.front().GetHours())});
    return cells;
}
