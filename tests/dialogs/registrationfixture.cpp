#include "tests/dialogs/registrationfixture.h"

#include "dialogs/cipaddressctrl.h"

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTreeWidget>
#include <QtTest>

bool ClickAndWaitIdle(QObject *page, const std::function<void()> &action, int timeoutMs)
{
    QSignalSpy idle(page, SIGNAL(idle()));
    action();
    return !idle.isEmpty() || idle.wait(timeoutMs);
}

void ClickCheckBox(QTreeWidget *list, QTreeWidgetItem *item)
{
    // Where the item's delegate looks for the indicator.
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.rect = list->visualItemRect(item);
    const QModelIndex index = list->indexFromItem(item, 0);
    option.rect = list->visualRect(index);
    option.features |= QStyleOptionViewItem::HasCheckIndicator;
    option.features |= QStyleOptionViewItem::HasDisplay;
    option.state |= QStyle::State_Enabled;
    option.showDecorationSelected = true;
    option.widget = list;
    const QRect box =
        list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
}

void ClickRow(QTreeWidget *list, QTreeWidgetItem *item)
{
    const QModelIndex index = list->indexFromItem(item, 2);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
}

void TypeAddress(QWidget *addressCtrl, const QString &address)
{
    auto *control = qobject_cast<CIpAddressCtrl *>(addressCtrl);
    QVERIFY(control);
    control->ClearAddress();
    control->Part(0)->setFocus();
    for (const QChar c : address)
        QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
}
