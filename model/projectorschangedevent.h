#pragma once

#include <QEvent>

// Tells a view that the published state of projectors changed (a refresh cycle, a status
// notification, a change of the tree): the view rebuilds the projector list and the tree from
// the published states. Other threads post it; only the user-interface thread sends it.
inline const QEvent::Type ProjectorsChangedEvent = QEvent::Type(QEvent::registerEventType());
