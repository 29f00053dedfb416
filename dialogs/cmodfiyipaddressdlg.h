#pragma once

#include "model/dialogworker.h"
#include <QDialog>
#include <QString>

#include <memory>
#include <optional>

class CIpAddressCtrl;
class Projector;
class ProjectorManager;
class QLabel;
class QPushButton;

// "Change IP Address": Confirm probes a working copy of the registered projector at the typed
// address (asking for the password there when the projector wants one); OK then gives the
// confirmed address, name and password to the registered projector inside its connection
// window. Every connect runs on the dialog's worker thread; the window keeps painting, and a
// close asked for meanwhile is carried out when the connect ends. Cancel leaves the registered
// projector as it was.
//
// The projector must stay registered while the dialog exists.
class CModfiyIPAddressDlg : public QDialog
{
    Q_OBJECT

public:
    CModfiyIPAddressDlg(ProjectorManager &manager, Projector &projector, QWidget *parent = nullptr);
    ~CModfiyIPAddressDlg() override; // waits for a connect still running

    bool IsBusy() const;
    const QString &GetNewName() const { return m_strNewName; }

public slots:
    void OnConfirm();
    void accept() override;
    void done(int result) override;

signals:
    // A Confirm or an OK has ended, with this result (0, or the message number shown).
    void connectFinished(int result);

private:
    void StartProbe(const QString &address, const QString &password, bool firstTry);
    void OnProbed(int result, const QString &address, const QString &password, bool firstTry);
    void OnChanged(int result);
    void SetBusy(bool busy);
    void RestoreWorkCopy();

    ProjectorManager *m_pManager; // not owned
    Projector *m_pProjector;      // not owned
    std::unique_ptr<Projector> m_pWorkProjector;
    QString m_strCurrentIpAddress;
    QString m_strOpeningPassword;
    QString m_strNewIpAddress; // confirmed
    QString m_strNewName;      // as the projector at the new address reported it
    QString m_strNewPassword;  // the password that address took

    CIpAddressCtrl *m_address = nullptr; // 1047
    QLabel *m_newName = nullptr;         // 1065
    QPushButton *m_confirm = nullptr;    // 1002
    QPushButton *m_ok = nullptr;
    std::optional<int> m_pendingResult; // a close asked for during a connect
    // Last, so that it is joined before anything its jobs use goes (the work copy).
    DialogWorker m_worker;
};
