#pragma once

#include <QDialog>

class QComboBox;
class QVBoxLayout;

// A preference chosen from the whole numbers m_nMin..m_nMax in a drop-down list: "Set" (the
// dialog's OK) takes the selected one, "Cancel" changes nothing. The two timing dialogs below
// differ only in template, list id and unit.
class CTimingDlg : public QDialog
{
    Q_OBJECT

public:
    // value is selected when the dialog opens; one outside min..max selects the nearest end.
    CTimingDlg(int templateId, int captionId, int comboId, int unitId, int value, int min, int max,
               QWidget *parent);

    // After "Set": the value chosen; otherwise the value given.
    int GetValue() const { return m_nValue; }

    void accept() override;

protected:
    // Room for a line below the list, used by the response wait time.
    void AddNote(const QString &text);

private:
    int m_nValue;
    int m_nMin;
    int m_nMax;
    QComboBox *m_comboValues = nullptr;
    QVBoxLayout *m_layout = nullptr;
};

// Minutes between two automatic refresh cycles.
class CRefreshIntervalDlg : public CTimingDlg
{
    Q_OBJECT

public:
    CRefreshIntervalDlg(int value, int min, int max, QWidget *parent = nullptr);
};

// Seconds the PJLink connection waits for an answer. The running program keeps the old value
// until it is next started, and the dialog says so.
class CWaitResponseDlg : public CTimingDlg
{
    Q_OBJECT

public:
    CWaitResponseDlg(int value, int min, int max, QWidget *parent = nullptr);
};
