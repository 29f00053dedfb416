#include "model/limits.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "res/stringtable.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

std::unique_ptr<Projector> makeProjector(int n, const QString &path = u"/"_s)
{
    return std::make_unique<Projector>(
        u"P%1"_s.arg(n), u"10.1.%1.%2"_s.arg(n / 200).arg(n % 200 + 1), QString(), u"M"_s, path);
}

} // namespace

// The registry's bookkeeping; nothing here talks to a projector.
class TestProjectorManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { SetStringLanguage(StringLanguage::English); }
    void cleanup() { ProjectorManager::DestroyInstance(); }

    void limit_101stRefusedThenAcceptedAfterRemoval();
    void removeNode_groupWithSubgroupForgetsAllItsProjectors();
    void clearAll_emptiesTreeAndList();
    void ipRegistered_andCounting();
};

void TestProjectorManager::limit_101stRefusedThenAcceptedAfterRemoval()
{
    ProjectorManager *manager = ProjectorManager::GetInstance();
    QCOMPARE(manager->GetRoot()->GetName(), u"Root"_s);
    for (int i = 0; i < MAX_PROJECTORS; ++i)
        QVERIFY(manager->AddProjector(makeProjector(i)));

    QVERIFY(!manager->AddProjector(makeProjector(100)));
    QCOMPARE(manager->GetProjectorCount(), MAX_PROJECTORS);
    QCOMPARE(int(manager->GetRoot()->GetChildren().size()), MAX_PROJECTORS);

    Projector *first = manager->GetProjectors().front();
    manager->RemoveNode(first);
    QCOMPARE(manager->GetProjectorCount(), MAX_PROJECTORS - 1);
    Projector *accepted = manager->AddProjector(makeProjector(100));
    QVERIFY(accepted);
    QCOMPARE(manager->GetProjectors().back(), accepted);
}

void TestProjectorManager::removeNode_groupWithSubgroupForgetsAllItsProjectors()
{
    ProjectorManager *manager = ProjectorManager::GetInstance();
    Group *a = manager->AddGroup(std::make_unique<Group>(u"A"_s, u"/"_s));
    QVERIFY(manager->AddGroup(std::make_unique<Group>(u"B"_s, u"/A"_s)));
    QVERIFY(manager->AddGroup(std::make_unique<Group>(u"C"_s, u"/"_s)));
    for (int i = 0; i < 3; ++i)
        QVERIFY(manager->AddProjector(makeProjector(i, u"/A"_s)));
    for (int i = 3; i < 5; ++i)
        QVERIFY(manager->AddProjector(makeProjector(i, u"/A/B"_s)));
    Projector *kept = manager->AddProjector(makeProjector(5, u"/C"_s));
    QCOMPARE(manager->GetProjectorCount(), 6);

    manager->RemoveNode(a);
    QCOMPARE(manager->GetProjectorCount(), 1);
    QCOMPARE(manager->GetProjectors().front(), kept);
    QCOMPARE(manager->GetRoot()->GetChildGroups().size(), size_t(1));
    QVERIFY(!manager->GetRoot()->FindGroupByPath(u"/A/B"_s));

    manager->RemoveNode(manager->GetRoot()); // the root stays
    QCOMPARE(manager->GetProjectorCount(), 1);
}

void TestProjectorManager::clearAll_emptiesTreeAndList()
{
    ProjectorManager *manager = ProjectorManager::GetInstance();
    manager->AddGroup(std::make_unique<Group>(u"A"_s, u"/"_s));
    manager->AddProjector(makeProjector(1, u"/A"_s));
    manager->AddProjector(makeProjector(2));
    manager->ClearAll();
    QCOMPARE(manager->GetProjectorCount(), 0);
    QVERIFY(!manager->GetRoot()->HasChildren());
    QVERIFY(!manager->IsIPRegistered(u"10.1.0.2"_s));
}

void TestProjectorManager::ipRegistered_andCounting()
{
    ProjectorManager *manager = ProjectorManager::GetInstance();
    Group *a = manager->AddGroup(std::make_unique<Group>(u"A"_s, u"/"_s));
    manager->AddProjector(makeProjector(1, u"/A"_s));
    manager->AddProjector(makeProjector(2, u"/A"_s));
    Projector *single = manager->AddProjector(makeProjector(3));

    QVERIFY(manager->IsIPRegistered(u"10.1.0.2"_s));
    QVERIFY(manager->IsIPRegistered(u"10.1.0.4"_s));
    QVERIFY(!manager->IsIPRegistered(u"10.1.0.5"_s));
    QVERIFY(!manager->IsIPRegistered(u"10.1.0.2 "_s));

    QCOMPARE(ProjectorManager::CountProjectors({a, single}), 3);
    QCOMPARE(ProjectorManager::CountProjectors({}), 0);
    // Nothing has answered yet, so no maker projector is reachable.
    QVERIFY(!ProjectorManager::AnyKorvaneReachable({a, single}));
}

QTEST_GUILESS_MAIN(TestProjectorManager)
#include "tst_projectormanager.moc"
