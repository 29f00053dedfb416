#include "app/nodeholds.h"

#include <utility>

NodeHolds::Hold::Hold(NodeHolds *holds) : m_holds(holds)
{
    if (m_holds)
        ++m_holds->m_count;
}

NodeHolds::Hold::~Hold()
{
    Release();
}

NodeHolds::Hold::Hold(Hold &&other) noexcept : m_holds(std::exchange(other.m_holds, nullptr)) {}

NodeHolds::Hold &NodeHolds::Hold::operator=(Hold &&other) noexcept
{
    if (this != &other) {
        Release();
        m_holds = std::exchange(other.m_holds, nullptr);
    }
    return *this;
}

void NodeHolds::Hold::Release()
{
    NodeHolds *holds = std::exchange(m_holds, nullptr);
    if (holds && --holds->m_count == 0)
        emit holds->released();
}
