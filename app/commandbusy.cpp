#include "app/commandbusy.h"

bool CommandBusy::Set(bool busy)
{
    if (busy == IsBusy())
        return false;
    m_blocker = busy ? std::make_unique<InputBlocker>(m_window) : nullptr;
    m_hold = busy ? NodeHolds::Hold(m_holds) : NodeHolds::Hold();
    return true;
}
