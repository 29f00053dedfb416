#pragma once

#include <QString>
#include <QStringList>

class Projector;

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

// Reads the projector's stored values, so no connection window may be open on it meanwhile
// (hold the connection lock, or be the only thread that opens windows).
ProjectorCells GetProjectorCells(Projector &projector);

// The nine column titles, in column order.
QStringList ProjectorColumnTitles();
