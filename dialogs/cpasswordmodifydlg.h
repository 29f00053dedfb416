#pragma once

#include "model/dialogworker.h"
#include <QDialog>
#include <QString>

#include <optional>

class Projector;
class QLineEdit;
class QPushButton;

// "Change Password": OK tries the new password on the registered projector (ChangePassword of
// model/registration.h, inside its connection window) on a thread of its own, so the window
// keeps painting; the projector keeps its old password when it refuses the new one. A close
// asked for during the try is carried out when the try ends.
//
// The projector must stay registered while the dialog exists.
class CPasswordModifyDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CPasswordModifyDlg(Projector &projector, QWidget *parent = nullptr);

    bool IsBusy() const;
    const QString &GetOldPassword() const { return m_strOldPassword; }

public slots:
    void accept() override;
    void done(int result) override;

signals:
    // A try has ended with this result (0, or the message number shown).
    void tryFinished(int result);

private:
    void OnTried(int result);

    Projector *m_pProjector; // not owned
    QString m_strNewPassword;
    QString m_strOldPassword;
    QLineEdit *m_edit = nullptr; // 1043
    QPushButton *m_ok = nullptr;
    std::optional<int> m_pendingResult; // a close asked for during the try
    // Last, so that it is joined before anything its job uses goes.
    DialogWorker m_worker;
};
