#pragma once

#include <QString>
#include <QStringList>

class Projector;
struct ProjectorState;

// The texts of a projector's row in the projector list, taken from what its last connection
// stored; no projector is contacted. A status cell reads "?" when the projector did not answer
// and "X" when it answered with an error code.
struct ProjectorCells
{
    QString name;
    QString manufacturer;
    QString power;
    QString input;
    QString mute;
    QString error;
    QString lampTime;
    QString ipAddress;
    QString groupPath;

    // In column order, as the list shows them.
    QStringList ToList() const;
};

// From a published state; no projector is contacted.
ProjectorCells GetProjectorCells(const ProjectorState &state);
// From the projector's published state (Projector::GetState): any thread, never waits for a
// connection window.
ProjectorCells GetProjectorCells(const Projector &projector);

// The nine column titles, in column order.
QStringList ProjectorColumnTitles();
