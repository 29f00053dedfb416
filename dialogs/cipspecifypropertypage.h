#pragma once

#include "model/dialogworker.h"
#include "model/projector.h"

#include <QString>
#include <QWidget>

#include <memory>

class CIpAddressCtrl;
class ProjectorManager;
class QLabel;
class QPushButton;

// "Specify IP Address": the user types one address, Confirm looks for a projector there (asking
// for its password while it refuses the one given), and Register registers what was confirmed.
// Any edit of the address drops the confirmation, so Register never registers an address other
// than the one shown. Connects and the first refresh run on the page's worker; the page is busy
// meanwhile (busyChanged). User-interface thread.
class CIpSpecifyPropertyPage : public QWidget
{
    Q_OBJECT

public:
    explicit CIpSpecifyPropertyPage(ProjectorManager &manager, QWidget *parent = nullptr);
    ~CIpSpecifyPropertyPage() override; // waits for a worker still running

    void OnSetActive();
    // The sheet is to close once this page is idle: the page asks and tells nothing more.
    void OnSheetClosing() { m_sheetClosing = true; }
    bool IsBusy() const { return m_busy; }

    void OnClickedConfirm();
    void OnClickedRegister();

    CIpAddressCtrl *AddressCtrl() const { return m_ipAddressCtrl; }
    QLabel *NameLabel() const { return m_staticProjectorName; }
    QPushButton *ConfirmButton() const { return m_btnConfirm; }
    QPushButton *RegisterButton() const { return m_btnRegister; }
    const Projector *ConfirmedProjector() const { return m_pConfirmedProjector.get(); }
    const QString &GetIpAddressText() const { return m_strIpAddress; }

signals:
    // A Confirm or a Register has ended.
    void idle();
    // The page waits for the network (true) or no longer (false).
    void busyChanged(bool busy);

private:
    void Probe(std::unique_ptr<Projector> candidate);
    void OnProbed(std::unique_ptr<Projector> candidate, int result);
    void DropConfirmation();
    void ShowName(const QString &name);
    void SetBusy(bool busy);

    ProjectorManager &m_manager;
    CIpAddressCtrl *m_ipAddressCtrl = nullptr; // 1033
    QLabel *m_staticProjectorName = nullptr;   // 1068
    QPushButton *m_btnConfirm = nullptr;       // 1035
    QPushButton *m_btnRegister = nullptr;      // 1030
    QString m_strIpAddress;
    std::unique_ptr<Projector> m_pConfirmedProjector;
    bool m_busy = false;
    bool m_sheetClosing = false;
    bool m_passwordTried = false; // the running Confirm has tried a password
    // Last, so that it is joined before anything its jobs use goes.
    DialogWorker m_worker;
};
