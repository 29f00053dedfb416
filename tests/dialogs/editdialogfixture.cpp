#include "editdialogfixture.h"

#include "model/group.h"
#include "model/projectormanager.h"
#include "res/stringids.h"
#include "res/stringtable.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

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

void AnswerModalDialogs(const char *className, QList<std::optional<QString>> answers, int timeoutMs)
{
    auto *timer =
        new QTimer(QCoreApplication::instance()); // gone with the application at the latest
    auto remaining = std::make_shared<QList<std::optional<QString>>>(std::move(answers));
    auto elapsed = std::make_shared<QElapsedTimer>();
    elapsed->start();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, remaining, elapsed, timeoutMs, className] {
        if (remaining->isEmpty() || elapsed->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            return;
        }
        QWidget *modal = QApplication::activeModalWidget();
        auto *dialog = qobject_cast<QDialog *>(modal);
        if (!dialog || !dialog->inherits(className) || !dialog->isVisible())
            return;
        const std::optional<QString> answer = remaining->takeFirst();
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
    timer->start();
}
