#pragma once

#include "model/dialogworker.h"
#include "model/detailinfo.h"

#include <QDialog>

#include <optional>

class Projector;
class QLabel;
class QPushButton;
class QTreeWidget;

// "Detail Information": a two-column table of labels and values for one projector. The
// projector is read on a thread of its own when the dialog is first shown; meanwhile the
// dialog says it is communicating, and a close asked for then is carried out when the read
// ends, so the projector is never read after the dialog has gone.
//
// The projector must stay registered while the dialog exists; the main view keeps its input
// away while the dialog is open.
class CDetailInfoDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CDetailInfoDlg(Projector &projector, QWidget *parent = nullptr);

    bool IsReading() const;

    void done(int result) override;

signals:
    // The table has been filled.
    void readFinished();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void StartRead();
    void OnRead(const DetailInfo &info);
    void SetInitialColumnWidths();
    void FitToRows();

    Projector *m_pProjector; // not owned
    QTreeWidget *m_list = nullptr;
    QLabel *m_waitText = nullptr;
    QPushButton *m_ok = nullptr;
    bool m_started = false;
    std::optional<int> m_pendingResult; // a close asked for during the read
    // Last, so that it is joined before anything its job uses goes.
    DialogWorker m_reader;
};
