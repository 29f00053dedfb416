#include "model/projectorcells.h"

#include "model/projector.h"
#include "res/stringtable.h"

#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int kColumnTitles[] = {133, 134, 135, 136, 137, 138, 32790, 139, 140};
constexpr int kLampHoursFormat = 32791;

// What a status cell shows for a failed query.
QString Placeholder(int result)
{
    return result == -1 ? u"?"_s : u"X"_s;
}

} // namespace

QStringList ProjectorCells::ToList() const
{
    return {name, manufacturer, power, input, mute, error, lampTime, ipAddress, groupPath};
}

ProjectorCells GetProjectorCells(Projector &projector)
{
    ProjectorCells cells;
    cells.name = projector.GetName();
    cells.ipAddress = projector.GetIPAddress();
    cells.groupPath = projector.GetPath();

    if (projector.GetConnectResult() == -1) {
        const QString unknown = Placeholder(-1);
        for (QString *cell : {&cells.manufacturer, &cells.power, &cells.input, &cells.mute,
                              &cells.error, &cells.lampTime})
            *cell = unknown;
        return cells;
    }

    QString manufacturer;
    const int manufacturerResult = projector.GetManufacturer(manufacturer);
    cells.manufacturer = manufacturerResult == 0 ? manufacturer : Placeholder(manufacturerResult);

    PowerStatus power;
    const int powerResult = projector.GetPowerStatus(power);
    cells.power = powerResult == 0 ? power.GetText() : Placeholder(powerResult);

    InputStatus input;
    const int inputResult = projector.GetInput(input);
    if (inputResult != 0)
        cells.input = Placeholder(inputResult);
    else if (input.GetType() != InputStatus::Unavailable)
        cells.input = input.GetShortText(Projector::IsKorvaneProjector(projector));

    // Off and "unavailable now" both read as an empty cell.
    MuteStatus mute;
    const int muteResult = projector.GetMuteStatus(mute);
    cells.mute = muteResult == 0 ? mute.GetText() : Placeholder(muteResult);

    std::optional<ErrorStatus> worst;
    const int errorResult = projector.GetWorstError(worst);
    if (errorResult != 0)
        cells.error = Placeholder(errorResult);
    else if (worst)
        cells.error = worst->GetText();

    std::vector<LampStatus> lamps;
    const int lampResult = projector.GetLampStatus(lamps);
    if (lampResult != 0)
        cells.lampTime = Placeholder(lampResult);
    else if (!lamps.empty())
        cells.lampTime =
            FormatText(LoadString(kLampHoursFormat), {QString::number(lamps.front().GetHours())});
    return cells;
}

QStringList ProjectorColumnTitles()
{
    QStringList titles;
    for (const int id : kColumnTitles)
        titles << LoadString(id);
    return titles;
}
