#pragma once

#include "platform/uniquefd.h"

#include <QObject>

#include <csignal>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

class QSocketNotifier;

namespace platform {

// Signals that ask the process to end (SIGTERM from a session that ends, SIGHUP from a terminal
// that closes), taken from the signal handler to the event loop: the handler only writes the
// signal's number to a pipe, and `received` is emitted on the thread that created the object
// once its event loop reads the pipe, where closing the program as a user would is safe.
//
// One object at a time in a process. The signals' previous handling comes back when it is
// destroyed; a signal that arrives after that is handled as before.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    explicit StopSignals(std::initializer_list<int> signalNumbers, QObject *parent = nullptr);
    ~StopSignals() override;

    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

    // False when the pipe or a handler could not be set up (another object is installed, or
    // the system refused); the signals are then handled as before.
    bool IsInstalled() const { return m_notifier != nullptr; }

signals:
    void received(int signalNumber);

private:
    void ReadPipe();

    UniqueFd m_readEnd;
    UniqueFd m_writeEnd;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::vector<std::pair<int, struct sigaction>> m_previous;
};

} // namespace platform
