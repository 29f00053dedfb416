#pragma once

#include <QDialog>
#include <QList>
#include <QString>

#include <optional>

class QLineEdit;

// "Authentication": asks for the password of one projector or of several at once. The
// registration pages and the Change IP Address dialog use it. User-interface thread only.
//
// Tests answer the prompt in advance: while answers are queued, Ask takes the oldest one
// without opening a window (nullopt stands for Cancel).
class CAuthDlg : public QDialog
{
    Q_OBJECT

public:
    // address: the projector asked for, named in the title and above the field; empty when the
    // password is for several projectors at once.
    explicit CAuthDlg(QWidget *parent = nullptr, const QString &address = QString());

    // The text typed, kept when OK is pressed.
    const QString &GetPassword() const { return m_strPassword; }

    // Runs the prompt modally: the password entered (possibly empty), or none for Cancel.
    static std::optional<QString> Ask(QWidget *parent, const QString &address = QString());

    static void SetAnswersInAdvance(const QList<std::optional<QString>> &answers);
    static int PendingAnswers();
    // How often Ask was called since the last call, answered in advance or not.
    static int TakeAskedCount();
    // The address the last Ask named (empty: none).
    static QString LastAskedAddress();

public slots:
    void accept() override;

private:
    QLineEdit *m_edit = nullptr; // 1040
    QString m_strPassword;
};
