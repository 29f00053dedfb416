#pragma once

#include <QString>
#include <QWidget>

#include <array>

class QLineEdit;

// An IPv4 address field of four parts of up to three digits each. Typing moves on as one
// expects: a third digit or a '.' goes to the next part, Backspace in an empty part goes back,
// and a dotted address pasted or typed into any part fills the parts from there on. A part above
// 255 is kept as typed; the address check refuses it. User-interface thread only.
class CIpAddressCtrl : public QWidget
{
    Q_OBJECT

public:
    explicit CIpAddressCtrl(QWidget *parent = nullptr);

    // The four parts, a blank part read as 0; the number of parts that are not blank.
    int GetAddress(std::array<int, 4> &octets) const;
    bool IsBlank() const;
    // Fills the parts from a dotted text (missing parts blank); no addressEdited.
    void SetAddress(const QString &text);
    void ClearAddress();
    QLineEdit *Part(int index) const { return m_parts.at(index); }

signals:
    // The user changed any part.
    void addressEdited();
    // Enter in any part: the address is meant as it stands (the dialog's Confirm).
    void returnPressed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void OnPartEdited(int index, const QString &text);
    void FocusPart(int index, bool selectAll);

    std::array<QLineEdit *, 4> m_parts{};
};
