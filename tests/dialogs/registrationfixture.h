#pragma once

#include "tests/common/messagesinks.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>

class QObject;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

// Records what the dialogs tell the user instead of showing message boxes.
// Runs action (a click) and waits up to timeoutMs until the page has emitted idle; false on
// time-out. Takes the page's idle signal by name, so both pages fit.
bool ClickAndWaitIdle(QObject *page, const std::function<void()> &action, int timeoutMs = 20000);

// The user's click on the check box of a row of the registration list.
void ClickCheckBox(QTreeWidget *list, QTreeWidgetItem *item);
// The user's click on a row (its name cell).
void ClickRow(QTreeWidget *list, QTreeWidgetItem *item);
// The user types an address into the address field of the Specify IP Address page.
void TypeAddress(QWidget *addressCtrl, const QString &address);
