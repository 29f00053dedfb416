#include "dialogs/editdialogparts.h"

#include "dialogs/itemroles.h"
#include "model/group.h"
#include "model/limits.h"
#include "model/registryrules.h"
#include "res/stringids.h"
#include "res/stringtable.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>

#include <memory>

QLabel *MakeEditLabel(const QString &text, const QString &objectName, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(objectName);
    label->setAccessibleName(text);
    return label;
}

QPushButton *MakeEditButton(int textId, const QString &objectName, QWidget *parent)
{
    auto *button = new QPushButton(LoadString(textId), parent);
    button->setObjectName(objectName);
    button->setAccessibleName(button->text());
    return button;
}

void ShowFieldValue(QLabel *field, const QString &caption, const QString &shown,
                    const QString &value)
{
    field->setText(shown);
    QString name = caption.trimmed();
    if (!value.isEmpty())
        name += u' ' + value;
    field->setAccessibleName(name);
}

QLabel *MakePageStaticText(int textId, QWidget *parent)
{
    auto *label = new QLabel(LoadString(textId), parent);
    label->setObjectName(QString::number(IDC_STATIC));
    label->setAccessibleName(label->text());
    label->setWordWrap(true);
    return label;
}

void ShowCloseWaiting(QDialog *dialog)
{
    for (QPushButton *button : dialog->findChildren<QPushButton *>())
        button->setEnabled(false);
    dialog->setCursor(Qt::BusyCursor);
}

void LimitGroupNameField(QLineEdit *edit)
{
    auto accepted = std::make_shared<QString>(edit->text());
    QObject::connect(edit, &QLineEdit::textEdited, edit, [edit, accepted](const QString &text) {
        if (text.isEmpty() || CheckGroupName(text) == 0) {
            *accepted = text;
            return;
        }
        // Put the old text back before the message box runs its own event loop, so the field
        // never shows the refused text.
        const int cursor = std::min<int>(edit->cursorPosition(), int(accepted->size()));
        edit->setText(*accepted);
        edit->setCursorPosition(cursor);
        ShowUserMessage(MSG_GROUP_NAME_INVALID);
    });
}

QString ShortNodeName(const QString &name)
{
    if (name.size() <= MAX_GROUP_NAME_LENGTH)
        return name;
    return name.left(MAX_GROUP_NAME_LENGTH) + QStringLiteral("...");
}

namespace {

void AddGroupItems(QTreeWidgetItem *item, Group *group, const QIcon &folder)
{
    item->setText(0, group->GetName());
    item->setData(0, ROLE_NODE, QVariant::fromValue(quintptr(group)));
    item->setIcon(0, folder);
    for (Group *child : group->GetChildGroups())
        AddGroupItems(new QTreeWidgetItem(item), child, folder);
}

} // namespace

void FillGroupTree(QTreeWidget *tree, Group *root)
{
    tree->clear();
    if (!root)
        return;
    const QIcon folder = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
    auto *rootItem = new QTreeWidgetItem(tree);
    AddGroupItems(rootItem, root, folder);
    rootItem->setExpanded(true);
}

Group *GroupOfItem(const QTreeWidgetItem *item)
{
    return item ? reinterpret_cast<Group *>(item->data(0, ROLE_NODE).value<quintptr>()) : nullptr;
}

QTreeWidgetItem *ItemOfNode(QTreeWidget *tree, const ProjectorNode *node)
{
    if (node && node->IsProjector())
        node = node->GetParent();
    if (!node)
        return nullptr;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        if (GroupOfItem(*it) == node)
            return *it;
    }
    return nullptr;
}
