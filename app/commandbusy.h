#pragma once

#include "app/inputblocker.h"
#include "app/nodeholds.h"

#include <memory>

class QWidget;

// The busy state of a window command whose network part runs off the user-interface thread:
// while busy, the window takes no input and shows the busy cursor, and the registry's nodes are
// held so that File > Open waits for the end. The edit and the projector commands share it.
// User-interface thread only.
class CommandBusy
{
public:
    explicit CommandBusy(QWidget *window, NodeHolds *holds = nullptr)
        : m_window(window), m_holds(holds)
    {}

    void SetNodeHolds(NodeHolds *holds) { m_holds = holds; }
    bool IsBusy() const { return m_blocker != nullptr; }
    // False when the state was so already, so that callers tell a change only once.
    bool Set(bool busy);

private:
    QWidget *m_window;
    NodeHolds *m_holds;
    std::unique_ptr<InputBlocker> m_blocker;
    NodeHolds::Hold m_hold; // as long as m_blocker
};
