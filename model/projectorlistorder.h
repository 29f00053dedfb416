#pragma once

#include "model/projectorstate.h"

#include <QString>
#include <unordered_set>
#include <vector>

class ProjectorNode;

// The columns of the projector list, in order.
enum ProjectorListColumn {
    COLUMN_NAME = 0,
    COLUMN_MANUFACTURER,
    COLUMN_POWER,
    COLUMN_INPUT,
    COLUMN_MUTE,
    COLUMN_ERROR,
    COLUMN_LAMP_TIME,
    COLUMN_IP_ADDRESS,
    COLUMN_GROUP_PATH,
    PROJECTOR_LIST_COLUMNS
};

// One row of the projector list as sorting sees it: a group (name and path) or a projector
// with the state it published. node is the row's identity and is only compared, never read.
struct ProjectorListRow
{
    const ProjectorNode *node = nullptr;
    bool isGroup = false;
    QString name;
    QString groupPath;
    ProjectorState state; // projector rows only
};

// The order of two rows for a column; a strict weak order in both directions.
//
// Groups come before projectors in both directions. Where a column's key needs a status query,
// projectors are ordered first by its result (answered, error answer, no answer), and within the
// answered ones a value that is still unknown (power or input not understood, no lamp reported)
// comes after the known values. Ties are broken by name, case-insensitive; descending reverses
// all of it except the groups-first rule.
bool ProjectorRowLess(const ProjectorListRow &a, const ProjectorListRow &b, int column,
                      bool ascending);

// Stable: rows that compare equal keep their order.
void SortProjectorRows(std::vector<ProjectorListRow> &rows, int column, bool ascending);

// The indices of the rows whose node is in nodes, ascending.
std::vector<int> RowsOfNodes(const std::vector<ProjectorListRow> &rows,
                             const std::unordered_set<const ProjectorNode *> &nodes);

// The address as a 32-bit number, first part most significant; -1 when it is not a dotted
// IPv4 address.
qint64 IPv4Number(const QString &address);
