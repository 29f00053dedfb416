#include "dialogs/cipaddressctrl.h"

#include "res/stringids.h"
#include "res/stringtable.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

#include <algorithm>

namespace {

// Digits only, at most three. A part above 255 stays as typed, so that the user sees what the
// address check refuses rather than another address it was silently turned into.
QString CleanPart(const QString &text)
{
    QString digits;
    for (const QChar c : text) {
        if (c.isDigit() && c.unicode() < 128)
            digits.append(c);
    }
    digits.truncate(3);
    return digits;
}

} // namespace

CIpAddressCtrl::CIpAddressCtrl(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < 4; ++i) {
        auto *part = new QLineEdit(this);
        part->setObjectName(QStringLiteral("part%1").arg(i + 1));
        part->setAccessibleName(LoadString(STR_FIRST_OCTET + i));
        part->setAlignment(Qt::AlignCenter);
        part->setFrame(false);
        part->setMaxLength(15); // room for a pasted address, which is spread over the parts
        part->installEventFilter(this);
        connect(part, &QLineEdit::textEdited, this,
                [this, i](const QString &text) { OnPartEdited(i, text); });
        m_parts[i] = part;
        layout->addWidget(part, 1);
        if (i < 3) {
            auto *dot = new QLabel(QStringLiteral("."), this);
            dot->setAccessibleName(QStringLiteral("."));
            layout->addWidget(dot);
        }
    }
    setFocusProxy(m_parts[0]);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
}

int CIpAddressCtrl::GetAddress(std::array<int, 4> &octets) const
{
    int filled = 0;
    for (int i = 0; i < 4; ++i) {
        const QString text = m_parts[i]->text();
        octets[i] = text.isEmpty() ? 0 : text.toInt();
        if (!text.isEmpty())
            ++filled;
    }
    return filled;
}

bool CIpAddressCtrl::IsBlank() const
{
    std::array<int, 4> octets{};
    return GetAddress(octets) == 0;
}

void CIpAddressCtrl::SetAddress(const QString &text)
{
    const QStringList pieces = text.split(u'.');
    for (int i = 0; i < 4; ++i) {
        const QSignalBlocker block(m_parts[i]);
        m_parts[i]->setText(i < pieces.size() ? CleanPart(pieces.at(i)) : QString());
    }
}

void CIpAddressCtrl::ClearAddress()
{
    SetAddress(QString());
}

void CIpAddressCtrl::OnPartEdited(int index, const QString &text)
{
    QLineEdit *part = m_parts[index];
    if (text.contains(u'.')) {
        // A '.' typed, or an address pasted: the pieces go to this part and the ones after it.
        const QStringList pieces = text.split(u'.');
        int last = index;
        for (int p = 0; p < pieces.size() && index + p < 4; ++p) {
            last = index + p;
            m_parts[last]->setText(CleanPart(pieces.at(p)));
        }
        // "12." moves on to the next part; a '.' in an empty part stays where it is.
        const bool endsWithDot = text.endsWith(u'.') && !CleanPart(pieces.first()).isEmpty();
        if (pieces.size() == 2 && pieces.at(1).isEmpty()) {
            if (endsWithDot && index < 3)
                FocusPart(index + 1, true);
            else
                part->setCursorPosition(part->text().size());
        } else {
            FocusPart(last, false);
        }
        emit addressEdited();
        return;
    }
    const QString clean = CleanPart(text);
    if (clean != text) {
        const int position = part->cursorPosition();
        part->setText(clean);
        part->setCursorPosition(std::min(position, int(clean.size())));
    }
    if (clean.size() == 3 && part->cursorPosition() == 3 && index < 3)
        FocusPart(index + 1, true);
    emit addressEdited();
}

void CIpAddressCtrl::FocusPart(int index, bool selectAll)
{
    QLineEdit *part = m_parts[index];
    part->setFocus(Qt::OtherFocusReason);
    if (selectAll)
        part->selectAll();
    else
        part->setCursorPosition(part->text().size());
}

bool CIpAddressCtrl::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const int index = int(std::find(m_parts.begin(), m_parts.end(), watched) - m_parts.begin());
    if (index >= 4)
        return QWidget::eventFilter(watched, event);
    QLineEdit *part = m_parts[index];
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        // Taken here, so that the dialog's default button does not act on it as well.
        emit returnPressed();
        return true;
    }
    const bool atStart = part->cursorPosition() == 0 && !part->hasSelectedText();
    const bool atEnd = part->cursorPosition() == part->text().size() && !part->hasSelectedText();
    if (key->key() == Qt::Key_Backspace && atStart && index > 0) {
        FocusPart(index - 1, false);
        return true;
    }
    if (key->key() == Qt::Key_Left && atStart && index > 0) {
        FocusPart(index - 1, false);
        return true;
    }
    if (key->key() == Qt::Key_Right && atEnd && index < 3) {
        m_parts[index + 1]->setFocus(Qt::OtherFocusReason);
        m_parts[index + 1]->setCursorPosition(0);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
