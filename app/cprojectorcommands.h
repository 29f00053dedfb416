#pragma once

#include "model/commandoutcome.h"

#include "app/commandbusy.h"
#include "app/nodeholds.h"
#include "model/dialogworker.h"
#include "model/inputstatus.h"
#include "model/powerstatus.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CVantelDoc;
class Projector;
class ProjectorNode;
class QWidget;

// The commands of the main view that talk to projectors: power, input and mute to the
// selection, the detail information of one projector, and the two timing preferences.
//
// A projector command runs in three steps: the fan-out (CVantelDoc::SendPower and its kin) on
// a worker thread, the fixed wait on a timer of the user-interface thread, and the read-back
// (RequeryStatus) on a worker thread again. Meanwhile the window keeps painting, shows the
// busy cursor and takes no input, so the selection and the registry stay as they were when
// the command started; IsBusy tells the close handling to wait for the end.
//
// User-interface thread only; the workers report through the event queue.
class CProjectorCommands : public QObject
{
    Q_OBJECT

public:
    using Selection = std::function<std::vector<ProjectorNode *>()>;

    // The fixed waits between a command and the read-back, in milliseconds.
    struct Waits
    {
        int powerMs = 3000;
        int inputMs = 1500;
        int muteMs = 1000;
    };

    // window: the main window, kept from input while a command runs and parent of the dialogs.
    // selection: the nodes behind the selected rows of the projector list.
    CProjectorCommands(CVantelDoc &doc, QWidget *window, Selection selection, Waits waits);
    ~CProjectorCommands() override; // waits for a job still running

    bool IsBusy() const { return m_busy.IsBusy(); }
    // Counts each command from its dialog or its start to its end (nodeholds.h).
    void SetNodeHolds(NodeHolds *holds)
    {
        m_holds = holds;
        m_busy.SetNodeHolds(holds);
    }

    // Power on or off, wait 3000 ms.
    void Power(PowerStatus::Code code);
    // The input of the drop-down list's current entry; none: nothing at all. Wait 1500 ms.
    void SetInput(std::optional<InputStatus> input);
    // The mute kind of the drop-down list's entry (-1: none selected, nothing at all), on or
    // off. Wait 1000 ms.
    void Mute(int entry, bool on);
    // "Detail Information", then the projector refreshed once more.
    void DetailInformation();
    // Tool menu. After OK the value is saved; refreshIntervalChanged asks the view to re-arm
    // its periodic timer.
    void RefreshInterval();
    void ResponseWaitTime();

signals:
    void busyChanged(bool busy);
    // A command has ended: the projector list and the event list are to be rebuilt.
    void finished();
    void refreshIntervalChanged(int minutes);

private:
    using Send = std::function<int(const std::vector<ProjectorNode *> &, std::vector<Projector *> &,
                                   std::vector<ProjectorOutcome> *)>;

    void RunProjectorCommand(Send send, int waitMs);
    static void LogMissedProjectors(const std::vector<ProjectorOutcome> &outcomes);
    void SetBusy(bool busy);
    void Finish();

    CVantelDoc &m_doc;
    QWidget *m_window;
    Selection m_selection;
    Waits m_waits;
    NodeHolds *m_holds = nullptr;
    CommandBusy m_busy;
    QTimer m_waitTimer;
    DialogWorker m_worker; // its jobs use the members above, so it goes first
};
