#include "model/group.h"
#include "model/projector.h"
#include "model/registryrules.h"

#include <QtTest>

#include <map>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// root
//   A
//     B
//       C      (depth 3: only a loaded file can hold it)
//     p1
//   K
//     B        (label B2)
//   D
//   G
//     p2       (a group named like the projector p2 below the root)
//     B        (label B3)
//   p2
//   x          (a projector)
class Fixture
{
public:
    Fixture()
    {
        m_nodes[u"root"_s] = &m_root;
        AddGroup(u"A"_s, u"root"_s, u"A"_s);
        AddGroup(u"B"_s, u"A"_s, u"B"_s);
        AddGroup(u"C"_s, u"B"_s, u"C"_s);
        AddProjector(u"p1"_s, u"A"_s, u"p1"_s);
        AddGroup(u"K"_s, u"root"_s, u"K"_s);
        AddGroup(u"B2"_s, u"K"_s, u"B"_s);
        AddGroup(u"D"_s, u"root"_s, u"D"_s);
        AddGroup(u"G"_s, u"root"_s, u"G"_s);
        AddGroup(u"p2g"_s, u"G"_s, u"p2"_s);
        AddGroup(u"B3"_s, u"G"_s, u"B"_s);
        AddProjector(u"p2"_s, u"root"_s, u"p2"_s);
        AddProjector(u"x"_s, u"root"_s, u"x"_s);
    }

    ProjectorNode *Node(const QString &label) const { return m_nodes.at(label); }
    Group *AsGroup(const QString &label) const { return static_cast<Group *>(Node(label)); }

private:
    void AddGroup(const QString &label, const QString &parent, const QString &name)
    {
        m_nodes[label] = AsGroup(parent)->AddChild(std::make_unique<Group>(name));
    }
    void AddProjector(const QString &label, const QString &parent, const QString &name)
    {
        m_nodes[label] = AsGroup(parent)->AddChild(
            std::make_unique<Projector>(name, u"10.0.0.1"_s, QString(), u"M"_s, QString()));
    }

    Group m_root{u"Root"_s};
    std::map<QString, ProjectorNode *> m_nodes;
};

} // namespace

class TestRegistryRules : public QObject
{
    Q_OBJECT

private slots:
    void canMoveNodes_data();
    void canMoveNodes();
    void groupNames_data();
    void groupNames();
};

void TestRegistryRules::canMoveNodes_data()
{
    QTest::addColumn<QStringList>("sources");
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("expected");

    QTest::newRow("group onto itself") << QStringList{u"A"_s} << u"A"_s << 346;
    QTest::newRow("group onto its parent") << QStringList{u"B"_s} << u"A"_s << 346;
    QTest::newRow("the root") << QStringList{u"root"_s} << u"D"_s << 346;
    QTest::newRow("group onto its child") << QStringList{u"A"_s} << u"B"_s << 321;
    QTest::newRow("target two levels below the source") << QStringList{u"A"_s} << u"C"_s << 321;
    QTest::newRow("subgroups would reach depth 3") << QStringList{u"A"_s} << u"K"_s << 320;
    QTest::newRow("group holding a group into a depth-1 group")
        << QStringList{u"G"_s} << u"D"_s << 320;
    QTest::newRow("empty group into a depth-1 group") << QStringList{u"D"_s} << u"K"_s << 0;
    QTest::newRow("name of a group there") << QStringList{u"B2"_s} << u"A"_s << 325;
    QTest::newRow("name of a projector there") << QStringList{u"p2g"_s} << u"root"_s << 325;
    QTest::newRow("projector into its own group") << QStringList{u"p2"_s} << u"root"_s << 0;
    QTest::newRow("projector where its name is taken") << QStringList{u"x"_s} << u"G"_s << 0;
    QTest::newRow("two arriving groups share a name")
        << QStringList{u"B2"_s, u"B3"_s} << u"D"_s << 325;
    QTest::newRow("arriving group and projector share a name")
        << QStringList{u"p2g"_s, u"p2"_s} << u"D"_s << 325;
    QTest::newRow("two arriving projectors may share a name")
        << QStringList{u"p1"_s, u"x"_s, u"p2"_s} << u"D"_s << 0;
    QTest::newRow("second of three refused: its message")
        << QStringList{u"D"_s, u"A"_s, u"p2"_s} << u"K"_s << 320;
}

void TestRegistryRules::canMoveNodes()
{
    QFETCH(QStringList, sources);
    QFETCH(QString, target);
    QFETCH(int, expected);
    const Fixture tree;
    std::vector<ProjectorNode *> nodes;
    for (const QString &label : sources)
        nodes.push_back(tree.Node(label));
    QCOMPARE(CanMoveNodes(nodes, *tree.AsGroup(target)), expected);
    if (sources.size() == 1)
        QCOMPARE(CanMoveNode(*nodes.front(), *tree.AsGroup(target)), expected);
}

void TestRegistryRules::groupNames_data()
{
    QTest::addColumn<QString>("operation"); // create or rename
    QTest::addColumn<QString>("group");     // parent to create in, or group to rename
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("expected");

    QTest::newRow("create, 20 characters") << u"create"_s << u"D"_s << QString(20, u'x') << 0;
    QTest::newRow("create, 21 characters") << u"create"_s << u"D"_s << QString(21, u'x') << 324;
    QTest::newRow("create, empty") << u"create"_s << u"D"_s << QString() << 324;
    QTest::newRow("create, slash") << u"create"_s << u"D"_s << u"a/b"_s << 324;
    QTest::newRow("create, tab") << u"create"_s << u"D"_s << u"a\tb"_s << 324;
    QTest::newRow("create, DEL") << u"create"_s << u"D"_s << u"a\x7f"_s << 324;
    QTest::newRow("create, Japanese and Latin") << u"create"_s << u"D"_s << u"会議室 Ł"_s << 0;
    QTest::newRow("create, third level") << u"create"_s << u"B"_s << u"n"_s << 322;
    QTest::newRow("create, projector's name") << u"create"_s << u"root"_s << u"x"_s << 325;
    QTest::newRow("rename, slash") << u"rename"_s << u"A"_s << u"a/b"_s << 324;
    QTest::newRow("rename, newline") << u"rename"_s << u"A"_s << u"a\nb"_s << 324;
    QTest::newRow("rename, own name") << u"rename"_s << u"A"_s << u"A"_s << 325;
    QTest::newRow("rename, sibling's name") << u"rename"_s << u"A"_s << u"K"_s << 325;
    QTest::newRow("rename, other case") << u"rename"_s << u"A"_s << u"a"_s << 0;
    QTest::newRow("rename, the root") << u"rename"_s << u"root"_s << u"R"_s << 346;
}

void TestRegistryRules::groupNames()
{
    QFETCH(QString, operation);
    QFETCH(QString, group);
    QFETCH(QString, name);
    QFETCH(int, expected);
    const Fixture tree;
    if (operation == u"create"_s)
        QCOMPARE(CanCreateGroup(*tree.AsGroup(group), name), expected);
    else
        QCOMPARE(CanRenameGroup(*tree.AsGroup(group), name), expected);
}

QTEST_GUILESS_MAIN(TestRegistryRules)
#include "tst_registryrules.moc"
