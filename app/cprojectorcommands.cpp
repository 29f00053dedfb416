#include "app/cprojectorcommands.h"

#include "dialogs/cdetailinfodlg.h"
#include "dialogs/ctimingdlg.h"
#include "model/actionevent.h"
#include "model/powerstatus.h"
#include "model/projector.h"
#include "model/selectionrules.h"
#include "res/stringids.h"
#include "res/stringtable.h"
#include "store/usermessage.h"
#include "store/actioneventmanager.h"
#include "store/cvanteldoc.h"

#include <QWidget>

namespace {

constexpr int TIMING_MIN = 1;
constexpr int TIMING_MAX = 10;

} // namespace

CProjectorCommands::CProjectorCommands(CVantelDoc &doc, QWidget *window, Selection selection,
                                       Waits waits)
    : QObject(window), m_doc(doc), m_window(window), m_selection(std::move(selection)),
      m_waits(waits), m_busy(window)
{
    m_waitTimer.setSingleShot(true);
}

CProjectorCommands::~CProjectorCommands() = default;

void CProjectorCommands::SetBusy(bool busy)
{
    if (m_busy.Set(busy))
        emit busyChanged(busy);
}

void CProjectorCommands::Finish()
{
    SetBusy(false);
    emit finished();
}

void CProjectorCommands::Power(PowerStatus::Code code)
{
    const PowerStatus power(code);
    RunProjectorCommand(
        [this, power](const auto &selection, auto &touched, auto *outcomes) {
            return m_doc.SendPower(selection, touched, power, outcomes);
        },
        m_waits.powerMs);
}

void CProjectorCommands::SetInput(std::optional<InputStatus> input)
{
    if (!input)
        return;
    RunProjectorCommand(
        [this, input = *input](const auto &selection, auto &touched, auto *outcomes) {
            return m_doc.SendInput(selection, touched, input, outcomes);
        },
        m_waits.inputMs);
}

void CProjectorCommands::Mute(int entry, bool on)
{
    const MuteStatus mute = MuteKindOfEntry(entry);
    // Without a kind there is nothing to send; counting projectors as reached would be a lie.
    if (mute.GetCode() == MuteStatus::Unknown)
        return;
    RunProjectorCommand(
        [this, mute, on](const auto &selection, auto &touched, auto *outcomes) {
            return m_doc.SendMute(selection, touched, mute, on, outcomes);
        },
        m_waits.muteMs);
}

void CProjectorCommands::RunProjectorCommand(Send send, int waitMs)
{
    if (IsBusy())
        return;
    const std::vector<ProjectorNode *> selection = m_selection();
    if (const int message = CheckProjectorsOrGroups(selection)) {
        ShowUserMessage(LoadString(message));
        return;
    }

    SetBusy(true);
    // What the fan-out did: how many projectors it reached, which ones (for the read-back) and
    // each target's outcome.
    struct Sent
    {
        int reached = 0;
        std::vector<Projector *> touched;
        std::vector<ProjectorOutcome> outcomes;
    };
    m_worker.Start(
        [send, selection] {
            Sent sent;
            sent.reached = send(selection, sent.touched, &sent.outcomes);
            return sent;
        },
        [this, waitMs](Sent sent) {
            LogMissedProjectors(sent.outcomes);
            if (sent.reached == 0)
                ShowUserMessage(LoadString(MSG_COMMUNICATION_FAILED));
            // The projectors need a moment before they tell the new state.
            disconnect(&m_waitTimer, nullptr, this, nullptr);
            connect(&m_waitTimer, &QTimer::timeout, this,
                    [this, touched = std::move(sent.touched)] {
                        m_worker.Start([this, touched] { m_doc.RequeryStatus(touched); },
                                       [this] { Finish(); });
                    });
            m_waitTimer.start(waitMs);
        });
}

void CProjectorCommands::LogMissedProjectors(const std::vector<ProjectorOutcome> &outcomes)
{
    // Each projector that did not do the command is named in the event list, in the words
    // lumarinctl uses for it.
    ActionEventManager *events = ActionEventManager::GetInstance();
    for (const ProjectorOutcome &outcome : outcomes) {
        if (outcome.outcome == CommandOutcome::Done || !outcome.projector)
            continue;
        events->AddEvent(std::make_unique<ActionEvent>(outcome.projector->GetName(),
                                                       OutcomeLine(outcome), ActionEvent::Warning));
    }
}

void CProjectorCommands::DetailInformation()
{
    if (IsBusy())
        return;
    const NodeHolds::Hold hold(m_holds);
    Projector *projector = nullptr;
    if (const int message = CheckSingleProjector(m_selection(), projector)) {
        ShowUserMessage(LoadString(message));
        return;
    }
    {
        CDetailInfoDlg dialog(*projector, m_window);
        dialog.exec();
    }
    // Whatever closed the dialog, the projector is read once more.
    SetBusy(true);
    m_worker.Start([this, projector] { m_doc.RefreshProjector(projector, true); },
                   [this] { Finish(); });
}

void CProjectorCommands::RefreshInterval()
{
    CRefreshIntervalDlg dialog(m_doc.GetRefreshInterval(), TIMING_MIN, TIMING_MAX, m_window);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_doc.SetRefreshInterval(dialog.GetValue());
    m_doc.SaveSettings();
    emit refreshIntervalChanged(m_doc.GetRefreshInterval());
}

void CProjectorCommands::ResponseWaitTime()
{
    CWaitResponseDlg dialog(m_doc.GetTimeout(), TIMING_MIN, TIMING_MAX, m_window);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_doc.SetTimeout(dialog.GetValue());
    m_doc.SaveSettings();
}
