#include "model/detailinfo.h"

#include "model/connectionwindow.h"
#include "model/linkresult.h"
#include "model/projector.h"
#include "res/stringids.h"
#include "res/stringtable.h"

#include <QStringList>
#include <algorithm>

namespace {

QString LampText(int number, const LampStatus &lamp)
{
    const int state = lamp.GetOn() == LampStatus::Lit   ? STR_ON
                      : lamp.GetOn() == LampStatus::Off ? STR_OFF
                                                        : STR_UNKNOWN;
    return FormatText(LoadString(STR_LAMP_FORMAT), {QString::number(number), LoadString(state),
                                                    QString::number(lamp.GetHours())});
}

// Values that could not be read show empty, like the rows above.
void AddClass2Rows(const Class2Status &status, std::vector<std::pair<QString, QString>> &rows)
{
    const auto add = [&rows](int label, const QString &value) {
        rows.emplace_back(LoadString(label), value);
    };
    const auto resolution = [](const std::optional<Class2Status::Resolution> &value) {
        return value ? ResolutionText(*value) : QString();
    };
    add(STR_CLASS2_SERIAL, status.serialNumber);
    add(STR_CLASS2_VERSION, status.softwareVersion);
    add(STR_CLASS2_FILTER_HOURS, status.filterHours
                                     ? FormatText(LoadString(STR_CLASS2_HOURS_FORMAT),
                                                  {QString::number(*status.filterHours)})
                                     : QString());
    add(STR_CLASS2_LAMP_MODELS, status.lampModels.join(u", "));
    add(STR_CLASS2_FILTER_MODELS, status.filterModels.join(u", "));
    add(STR_CLASS2_INPUT_RESOLUTION, resolution(status.inputResolution));
    add(STR_CLASS2_RECOMMENDED_RESOLUTION, resolution(status.recommendedResolution));
    add(STR_CLASS2_FREEZE,
        status.freeze ? LoadString(*status.freeze ? STR_ON : STR_OFF) : QString());
}

} // namespace

QString SecurityText(pjlink::SecurityLevel level)
{
    switch (level) {
    case pjlink::SecurityLevel::Md5:
        return LoadString(STR_SECURITY_MD5);
    case pjlink::SecurityLevel::Sha256:
        return LoadString(STR_SECURITY_SHA256);
    case pjlink::SecurityLevel::None:
        break;
    }
    return LoadString(STR_SECURITY_NONE);
}

bool InputShownBefore(const InputStatus &a, const InputStatus &b)
{
    if (a.GetType() != b.GetType())
        return a.GetType() < b.GetType();
    return a.GetNumber() < b.GetNumber();
}

DetailInfo ReadDetailInfo(Projector &projector)
{
    DetailInfo info;
    {
        ConnectionWindow window(projector, 0);
        if (window.GetResult() == LinkResult::Ok) {
            projector.GetLampStatus(info.lamps);
            projector.GetAvailableInputList(info.inputs);
            projector.GetManufacturer(info.manufacturer);
            projector.GetClass(info.pjlinkClass);
            projector.GetModelInfo(info.modelInfo);
            projector.GetOtherInfo(info.otherInfo);
            if (info.pjlinkClass >= 2) {
                projector.ReadClass2Status(true);
                info.class2 = projector.GetClass2Status();
            }
        }
        window.Close();
        // After the window the maker is judged from what was just read, without another query;
        // the inputs are the window's last list (a Class 2 projector's is read again with "%2"
        // once its class is known).
        if (window.GetResult() == LinkResult::Ok) {
            info.korvane = Projector::IsKorvaneProjector(projector);
            projector.GetAvailableInputList(info.inputs);
        }
    }
    info.name = projector.GetName();
    info.reachable = projector.IsReachable();
    info.ipAddress = projector.GetIPAddress();
    info.connectResult = projector.GetConnectResult();
    info.authorizationRequired = projector.IsAuthorizationRequired();
    info.security = projector.GetSecurityLevel();
    return info;
}

std::vector<std::pair<QString, QString>> DetailInfoRows(const DetailInfo &info)
{
    std::vector<std::pair<QString, QString>> rows;
    const auto add = [&rows](int label, const QString &value) {
        rows.emplace_back(LoadString(label), value);
    };
    add(STR_DETAIL_NAME, info.name);
    add(STR_DETAIL_STATUS, LoadString(info.reachable ? STR_CONNECTED : STR_NOT_CONNECTED));
    add(STR_DETAIL_ADDRESS, info.ipAddress);
    add(STR_DETAIL_PASSWORD, info.connectResult == LinkResult::NoAnswer
                                 ? QString()
                                 : LoadString(info.authorizationRequired ? STR_ON : STR_OFF));
    if (info.connectResult != LinkResult::NoAnswer &&
        (info.pjlinkClass >= 2 || info.security == pjlink::SecurityLevel::Sha256))
        add(STR_DETAIL_SECURITY, SecurityText(info.security));
    add(STR_DETAIL_CLASS, info.pjlinkClass == -1 ? QString()
                                                 : FormatText(LoadString(STR_CLASS_FORMAT),
                                                              {QString::number(info.pjlinkClass)}));
    add(STR_DETAIL_MANUFACTURER, info.manufacturer);
    add(STR_DETAIL_MODEL, info.modelInfo);
    add(STR_DETAIL_OTHER, info.otherInfo);

    add(STR_DETAIL_LAMPS, info.lamps.empty() ? QString() : LampText(1, info.lamps.front()));
    for (int i = 1; i < int(info.lamps.size()); ++i)
        rows.emplace_back(QString(), LampText(i + 1, info.lamps[i]));

    std::vector<InputStatus> inputs = info.inputs;
    std::stable_sort(inputs.begin(), inputs.end(), InputShownBefore);
    QStringList texts;
    for (const InputStatus &input : inputs)
        texts.append(input.GetShortText(info.korvane));
    add(STR_DETAIL_INPUTS, texts.join(u','));
    if (info.pjlinkClass >= 2 && info.class2.IsRead())
        AddClass2Rows(info.class2, rows);
    return rows;
}
