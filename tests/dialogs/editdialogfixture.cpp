#include "editdialogfixture.h"

#include "model/group.h"
#include "model/projectormanager.h"
#include "res/stringids.h"
#include "res/stringtable.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

void CollectLines(const ProjectorNode *node, const QString &prefix, QStringList &lines)
{
    for (const auto &child : node->GetChildren()) {
        const QString path = prefix + QLatin1Char('/') + child->GetName();
        lines << path;
        CollectLines(child.get(), path, lines);
    }
}

} // namespace

ProjectorNode *NodeAt(const QString &path)
{
    ProjectorNode *node = ProjectorManager::GetInstance()->GetRoot();
    for (const QString &part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        ProjectorNode *next = nullptr;
        for (const auto &child : node->GetChildren()) {
            if (child->GetName() == part) {
                next = child.get();
                break;
            }
        }
        if (!next)
            return nullptr;
        node = next;
    }
    return node;
}

QStringList RegistryLines()
{
    QStringList lines;
    CollectLines(ProjectorManager::GetInstance()->GetRoot(), QString(), lines);
    return lines;
}

QList<ScriptedUser::Step> TypedAnswers(const char *className,
                                       const QList<std::optional<QString>> &answers)
{
    QList<ScriptedUser::Step> steps;
    for (const std::optional<QString> &answer : answers) {
        steps << ScriptedUser::OnModalOfClass(className, [answer](QDialog *dialog) {
            if (!answer) {
                dialog->reject();
                return;
            }
            if (auto *edit = dialog->findChild<QLineEdit *>()) {
                edit->clear();
                QTest::keyClicks(edit, *answer);
            }
            dialog->findChild<QPushButton *>(QStringLiteral("1"))->click();
        });
    }
    return steps;
}
