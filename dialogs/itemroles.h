#pragma once

#include <Qt>

// What the window's item views keep beside an item's text, one role per meaning, so that no two
// meanings share a number by accident.
enum ItemRole : int {
    ROLE_NODE = Qt::UserRole,            // the registry node a group-tree item stands for
    ROLE_IMAGE_INDEX = Qt::UserRole + 1, // the index of the picture or icon an item or cell shows
    ROLE_EVENT_LEVEL = Qt::UserRole + 2, // an event's level: 0 information, 1 warning, 2 error
    ROLE_PADLOCK = Qt::UserRole + 3,     // a found projector's lock: open, closed or -1 for none
    ROLE_HELP_TOPIC = Qt::UserRole + 4,  // the topic a help index entry opens
};
