#pragma once

#include "store/usermessage.h"

#include <QString>

#include <vector>

class Group;
class QDialog;
class ProjectorNode;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

// Texts of the editing dialogs in the string table.
enum EditDialogText : int {
    TXT_CHANGE_PASSWORD = 940,
    TXT_ENTER_PASSWORD = 941,
    TXT_NEW_PASSWORD = 942,
    TXT_OK = 943,
    TXT_CANCEL = 944,
    TXT_CHANGE_IP_ADDRESS = 945,
    TXT_ENTER_IP_ADDRESS = 946,
    TXT_CONFIRM_NAME = 947,
    TXT_CURRENT_IP_ADDRESS = 948,
    TXT_NEW_IP_ADDRESS = 949,
    TXT_CURRENT_NAME = 950,
    TXT_NEW_NAME = 951,
    TXT_CONFIRM = 952,
    TXT_REGROUP = 953,
    TXT_SELECT_DESTINATION = 954,
    TXT_CREATE_GROUP_NOTE = 955,
    TXT_SUBGROUP_NOTE = 956,
    TXT_CREATE_GROUP = 957,
    TXT_MOVE = 958,
    TXT_CLOSE = 959,
    TXT_ENTER_NEW_GROUP = 960,
    TXT_NEW_GROUP_NAME = 961,
    TXT_RENAME_GROUP = 962,
    TXT_ENTER_GROUP_NAME = 963,
    TXT_CURRENT_GROUP_NAME = 964,
    TXT_DELETE = 965,
};

// Pieces the editing and registration dialogs share; user-interface thread only. Every control
// carries its control id (res/stringids.h) as object name and its text as accessible name.
QLabel *MakeEditLabel(const QString &text, const QString &objectName, QWidget *parent);
QPushButton *MakeEditButton(int textId, const QString &objectName, QWidget *parent);
// A word-wrapped static text of a registration page (IDC_STATIC), from the string table.
QLabel *MakePageStaticText(int textId, QWidget *parent);

// A field that shows a value the program found (a confirmed projector name): text shown, and a
// screen reader given the caption and the whole value, even when the text shown is cut.
void ShowFieldValue(QLabel *field, const QString &caption, const QString &shown,
                    const QString &value);

// A close asked for while the dialog waits for the network is carried out when the wait ends;
// meanwhile every button is disabled and the busy cursor shows, so the click visibly took.
void ShowCloseWaiting(QDialog *dialog);

// Keeps a group-name field within the group-name rule while the user types or pastes: a text
// that the rule refuses (a 21st character, '/', a control character) shows 324 and the text
// accepted before comes back. An empty field is left to the OK check.
void LimitGroupNameField(QLineEdit *edit);

// A node's name as a question quotes it: the first MAX_GROUP_NAME_LENGTH characters followed by
// "..." when it is longer.
QString ShortNodeName(const QString &name);

// The groups of the tree under root as folder items of a tree widget, depth first in child
// order, each item holding its group (GroupOfItem). Plain folders: no problem markers.
void FillGroupTree(QTreeWidget *tree, Group *root);
Group *GroupOfItem(const QTreeWidgetItem *item);
// The item of group (a projector stands for its group); nullptr when there is none.
QTreeWidgetItem *ItemOfNode(QTreeWidget *tree, const ProjectorNode *node);
