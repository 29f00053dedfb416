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
    explicit CAuthDlg(QWidget *parent = nullptr);

    // The text typed, kept when OK is pressed.
    const QString &GetPassword() const { return m_strPassword; }

    // Runs the prompt modally: the password entered (possibly empty), or none for Cancel.
    static std::optional<QString> Ask(QWidget *parent);

    static void SetAnswersInAdvance(const QList<std::optional<QString>> &answers);
    static int PendingAnswers();
    // How often Ask was called since the last call, answered in advance or not.
    static int TakeAskedCount();

public slots:
    void accept() override;

private:
    QLineEdit *m_edit = nullptr; // 1040
    QString m_strPassword;
};
