#include "model/projectorlistorder.h"

#include "model/linkresult.h"

#include <QStringList>
#include <algorithm>
#include <compare>

namespace {

// Query results in their order: answered, error answer, no answer. A projector whose connection
// got no answer has no answered query at all.
int ResultRank(const ProjectorState &state, int result)
{
    if (state.connectResult == LinkResult::NoAnswer || result == LinkResult::NoAnswer)
        return 2;
    return result == LinkResult::Ok ? 0 : 1;
}

std::weak_ordering CompareInts(qint64 a, qint64 b)
{
    return a <=> b;
}

std::weak_ordering CompareText(const QString &a, const QString &b, Qt::CaseSensitivity cs)
{
    return QString::compare(a, b, cs) <=> 0;
}

// Ranks of the values inside the answered class; the last rank stands for unknown.
int PowerRank(const PowerStatus &power)
{
    switch (power.GetCode()) {
    case PowerStatus::On:
        return 0;
    case PowerStatus::WarmUp:
        return 1;
    case PowerStatus::Off:
        return 2;
    case PowerStatus::Cooling:
        return 3;
    default:
        return 4;
    }
}

int MuteRank(const MuteStatus &mute)
{
    switch (mute.GetCode()) {
    case MuteStatus::VideoAndAudio:
        return 0;
    case MuteStatus::Video:
        return 1;
    case MuteStatus::Audio:
        return 2;
    case MuteStatus::Off:
        return 3;
    default:
        return 4;
    }
}

// The key of one column for two projectors, before the tie-break.
std::weak_ordering CompareKeys(const ProjectorState &a, const ProjectorState &b, int column)
{
    auto byResult = [&](int ra, int rb) { return ResultRank(a, ra) <=> ResultRank(b, rb); };
    switch (column) {
    case COLUMN_NAME:
        return CompareText(a.name, b.name, Qt::CaseInsensitive);
    case COLUMN_MANUFACTURER: {
        if (auto c = byResult(a.manufacturerResult, b.manufacturerResult); c != 0)
            return c;
        if (ResultRank(a, a.manufacturerResult) != 0)
            return std::weak_ordering::equivalent;
        if (auto c = a.manufacturer.isEmpty() <=> b.manufacturer.isEmpty(); c != 0)
            return c;
        return CompareText(a.manufacturer, b.manufacturer, Qt::CaseSensitive);
    }
    case COLUMN_POWER:
        if (auto c = byResult(a.powerResult, b.powerResult); c != 0)
            return c;
        if (ResultRank(a, a.powerResult) != 0)
            return std::weak_ordering::equivalent;
        return PowerRank(a.power) <=> PowerRank(b.power);
    case COLUMN_INPUT: {
        if (auto c = byResult(a.inputResult, b.inputResult); c != 0)
            return c;
        if (ResultRank(a, a.inputResult) != 0)
            return std::weak_ordering::equivalent;
        const bool unknownA = a.input.GetType() == InputStatus::Unknown;
        const bool unknownB = b.input.GetType() == InputStatus::Unknown;
        if (unknownA || unknownB)
            return unknownA <=> unknownB;
        if (auto c = CompareInts(a.input.GetType(), b.input.GetType()); c != 0)
            return c;
        return CompareInts(a.input.GetNumber(), b.input.GetNumber());
    }
    case COLUMN_MUTE:
        if (auto c = byResult(a.muteResult, b.muteResult); c != 0)
            return c;
        if (ResultRank(a, a.muteResult) != 0)
            return std::weak_ordering::equivalent;
        return MuteRank(a.mute) <=> MuteRank(b.mute);
    case COLUMN_ERROR: {
        if (auto c = byResult(a.errorResult, b.errorResult); c != 0)
            return c;
        if (ResultRank(a, a.errorResult) != 0)
            return std::weak_ordering::equivalent;
        const bool noneA = !a.worstError.has_value();
        const bool noneB = !b.worstError.has_value();
        if (noneA || noneB)
            return noneA <=> noneB;
        if (auto c = CompareInts(b.worstError->GetLevel(), a.worstError->GetLevel()); c != 0)
            return c; // higher level first
        return CompareInts(a.worstError->GetCategory(), b.worstError->GetCategory());
    }
    case COLUMN_LAMP_TIME: {
        if (auto c = byResult(a.lampResult, b.lampResult); c != 0)
            return c;
        if (ResultRank(a, a.lampResult) != 0)
            return std::weak_ordering::equivalent;
        if (auto c = a.lamps.empty() <=> b.lamps.empty(); c != 0)
            return c;
        if (a.lamps.empty())
            return std::weak_ordering::equivalent;
        return CompareInts(a.lamps.front().GetHours(), b.lamps.front().GetHours());
    }
    case COLUMN_IP_ADDRESS: {
        const qint64 na = IPv4Number(a.ipAddress);
        const qint64 nb = IPv4Number(b.ipAddress);
        // Something that is not an address goes after the addresses, by its text.
        if (auto c = (na < 0) <=> (nb < 0); c != 0)
            return c;
        if (na < 0)
            return CompareText(a.ipAddress, b.ipAddress, Qt::CaseSensitive);
        return CompareInts(na, nb);
    }
    case COLUMN_GROUP_PATH:
        return CompareText(a.groupPath, b.groupPath, Qt::CaseInsensitive);
    default:
        return std::weak_ordering::equivalent;
    }
}

std::weak_ordering CompareGroups(const ProjectorListRow &a, const ProjectorListRow &b, int column)
{
    if (column == COLUMN_GROUP_PATH) {
        if (auto c = CompareText(a.groupPath, b.groupPath, Qt::CaseInsensitive); c != 0)
            return c;
    }
    return CompareText(a.name, b.name, Qt::CaseInsensitive);
}

} // namespace

bool ProjectorRowLess(const ProjectorListRow &a, const ProjectorListRow &b, int column,
                      bool ascending)
{
    if (a.isGroup != b.isGroup)
        return a.isGroup;
    std::weak_ordering order = std::weak_ordering::equivalent;
    if (a.isGroup) {
        order = CompareGroups(a, b, column);
    } else {
        order = CompareKeys(a.state, b.state, column);
        if (order == 0)
            order = CompareText(a.name, b.name, Qt::CaseInsensitive);
    }
    return ascending ? order < 0 : order > 0;
}

void SortProjectorRows(std::vector<ProjectorListRow> &rows, int column, bool ascending)
{
    std::stable_sort(rows.begin(), rows.end(),
                     [column, ascending](const ProjectorListRow &a, const ProjectorListRow &b) {
                         return ProjectorRowLess(a, b, column, ascending);
                     });
}

std::vector<int> RowsOfNodes(const std::vector<ProjectorListRow> &rows,
                             const std::unordered_set<const ProjectorNode *> &nodes)
{
    std::vector<int> indices;
    for (int i = 0; i < int(rows.size()); ++i) {
        if (nodes.count(rows[i].node))
            indices.push_back(i);
    }
    return indices;
}

qint64 IPv4Number(const QString &address)
{
    const QStringList parts = address.split(u'.');
    if (parts.size() != 4)
        return -1;
    qint64 number = 0;
    for (const QString &part : parts) {
        bool ok = false;
        const int value = part.toInt(&ok);
        if (!ok || value < 0 || value > 255 || part.isEmpty() || part.size() > 3)
            return -1;
        number = number * 256 + value;
    }
    return number;
}
