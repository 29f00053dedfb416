#include "model/connectionwindow.h"

#include "model/projector.h"

ConnectionWindow::ConnectionWindow(Projector &projector, int mode)
    : ConnectionWindow(std::unique_lock(projector.WindowLock()), projector, mode)
{}

ConnectionWindow::ConnectionWindow(std::unique_lock<std::mutex> held, Projector &projector,
                                   int mode)
    : m_lock(std::move(held)), m_projector(projector), m_result(projector.Connect(mode))
{}

ConnectionWindow::~ConnectionWindow()
{
    Close();
}

void ConnectionWindow::Close()
{
    if (m_open)
        m_projector.Disconnect();
    m_open = false;
}
