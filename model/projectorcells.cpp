#include "model/projectorcells.h"

#include "model/linkresult.h"
#include "model/projector.h"
#include "res/stringids.h"
#include "res/stringtable.h"

using namespace Qt::StringLiterals;

namespace {

constexpr int kColumnTitles[] = {
    STR_NAME,      STR_MANUFACTURER,      STR_POWER,     STR_INPUT, STR_MUTE, STR_ERROR,
    STR_LAMP_TIME, STR_IP_ADDRESS_COLUMN, STR_GROUP_PATH};

// What a status cell shows for a failed query.
QString Placeholder(int result)
{
    return result == LinkResult::NoAnswer ? u"?"_s : u"X"_s;
}

} // namespace

QStringList ProjectorCells::ToList() const
{
    return {name, manufacturer, power, input, mute, error, lampTime, ipAddress, groupPath};
}

ProjectorCells GetProjectorCells(const ProjectorState &state)
{
    ProjectorCells cells;
    cells.name = state.name;
    cells.ipAddress = state.ipAddress;
    cells.groupPath = state.groupPath;

    if (state.connectResult == LinkResult::NoAnswer) {
        const QString unknown = Placeholder(-1);
        for (QString *cell : {&cells.manufacturer, &cells.power, &cells.input, &cells.mute,
                              &cells.error, &cells.lampTime})
            *cell = unknown;
        return cells;
    }

    cells.manufacturer = state.manufacturerResult == LinkResult::Ok
                             ? state.manufacturer
                             : Placeholder(state.manufacturerResult);
    cells.power = state.powerResult == LinkResult::Ok ? state.power.GetText()
                                                      : Placeholder(state.powerResult);

    if (state.inputResult != LinkResult::Ok)
        cells.input = Placeholder(state.inputResult);
    else if (state.input.GetType() != InputStatus::Unavailable)
        cells.input = state.input.GetShortText(state.isKorvane);

    // Off and "unavailable now" both read as an empty cell.
    cells.mute =
        state.muteResult == LinkResult::Ok ? state.mute.GetText() : Placeholder(state.muteResult);

    if (state.errorResult != LinkResult::Ok)
        cells.error = Placeholder(state.errorResult);
    else if (state.worstError)
        cells.error = state.worstError->GetText();

    if (state.lampResult != LinkResult::Ok)
        cells.lampTime = Placeholder(state.lampResult);
    else if (!state.lamps.empty())
        cells.lampTime = FormatText(LoadString(STR_LAMP_HOURS_FORMAT),
                                    {QString::number(state.lamps.front().GetHours())});
    return cells;
}

ProjectorCells GetProjectorCells(const Projector &projector)
{
    return GetProjectorCells(projector.GetState());
}

QStringList ProjectorColumnTitles()
{
    QStringList titles;
    for (const int id : kColumnTitles)
        titles << LoadString(id);
    return titles;
}
