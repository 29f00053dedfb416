#include "model/group.h"
#include "model/projector.h"

#include <QtTest>
#include <map>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A tree built from short operations, nodes known by label. A label is the node's name, or the
// name followed by '#' and a tag when two nodes share a name ("B#1", "B#2").
//   "group L P"      new group L under the node labelled P ("root" for the root)
//   "proj L P"       new projector L under P
//   "move L P"       L->MoveTo(P)
//   "rename L N"     L->Rename(N)
//   "load-group L path"  root.PlaceLoadedGroup(group L stored with path)
//   "load-proj L path"   root.PlaceLoadedProjector(projector L stored with path)
class Tree
{
public:
    Tree() { m_nodes[u"root"_s] = &m_root; }

    void Run(const QStringList &operations)
    {
        for (const QString &operation : operations) {
            const QStringList words = operation.split(u' ');
            QVERIFY2(words.size() == 3, qPrintable(operation));
            const QString &label = words[1];
            const QString &arg = words[2];
            const QString &op = words[0];
            if (op == u"group"_s) {
                m_nodes[label] = AsGroup(arg)->AddChild(std::make_unique<Group>(NameOf(label)));
            } else if (op == u"proj"_s) {
                m_nodes[label] = AsGroup(arg)->AddChild(NewProjector(label, QString()));
            } else if (op == u"move"_s) {
                m_nodes.at(label)->MoveTo(AsGroup(arg));
            } else if (op == u"rename"_s) {
                m_nodes.at(label)->Rename(arg);
            } else if (op == u"load-group"_s) {
                if (Group *group =
                        m_root.PlaceLoadedGroup(std::make_unique<Group>(NameOf(label), arg)))
                    m_nodes[label] = group;
            } else if (op == u"load-proj"_s) {
                m_nodes[label] = m_root.PlaceLoadedProjector(NewProjector(label, arg));
            } else {
                QFAIL(qPrintable(operation));
            }
        }
    }

    Group &Root() { return m_root; }
    ProjectorNode *Node(const QString &label) const
    {
        const auto it = m_nodes.find(label);
        return it == m_nodes.end() ? nullptr : it->second;
    }
    Group *AsGroup(const QString &label) const { return static_cast<Group *>(Node(label)); }

    // The label of a node of this tree, "-" for none.
    QString LabelOf(const ProjectorNode *node) const
    {
        for (const auto &[label, known] : m_nodes) {
            if (known == node)
                return label;
        }
        return u"-"_s;
    }

    static QString NameOf(const QString &label) { return label.section(u'#', 0, 0); }
    static std::unique_ptr<Projector> NewProjector(const QString &label, const QString &path)
    {
        return std::make_unique<Projector>(NameOf(label), u"127.0.0.1"_s, QString(), u"M"_s, path);
    }

private:
    Group m_root{u"Root"_s};
    std::map<QString, ProjectorNode *> m_nodes;
};

// Every node below root holds a back link to the group that owns it, and its depth follows.
void VerifyLinks(const Group &group)
{
    for (const auto &child : group.GetChildren()) {
        QCOMPARE(child->GetParent(), &group);
        QCOMPARE(child->GetDepth(), group.GetDepth() + 1);
        if (!child->IsProjector())
            VerifyLinks(static_cast<const Group &>(*child));
    }
}

} // namespace

class TestGroupTree : public QObject
{
    Q_OBJECT

private slots:
    void placement_data();
    void placement();
    void removeChild_handsOwnershipBack();
    void findGroupByPath_data();
    void findGroupByPath();
    void childViewsAndMaxDepth();
    void hasChildNamed_isExact();
};

void TestGroupTree::placement_data()
{
    QTest::addColumn<QStringList>("operations");
    // "label path depth parent" per node; parent "-" when the node is in no tree.
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("paths on add at each depth")
        << QStringList{u"group A root"_s, u"group B A"_s, u"proj P B"_s, u"proj Q A"_s,
                       u"proj R root"_s}
        << QStringList{u"A / 1 root"_s, u"B /A 2 A"_s, u"P /A/B 3 B"_s, u"Q /A 2 A"_s,
                       u"R / 1 root"_s};
    QTest::newRow("move group with projector from root into group")
        << QStringList{u"group A root"_s, u"proj P A"_s, u"group C root"_s, u"move A C"_s}
        << QStringList{u"A /C 2 C"_s, u"P /C/A 3 A"_s, u"C / 1 root"_s};
    QTest::newRow("move group from depth 2 to root")
        << QStringList{u"group A root"_s, u"group B A"_s, u"proj P B"_s, u"move B root"_s}
        << QStringList{u"B / 1 root"_s, u"P /B 2 B"_s, u"A / 1 root"_s};
    QTest::newRow("move projector between groups")
        << QStringList{u"group A root"_s, u"group B A"_s, u"proj P root"_s, u"move P B"_s,
                       u"move P A"_s}
        << QStringList{u"P /A 2 A"_s};
    QTest::newRow("move into own subtree is refused")
        << QStringList{u"group A root"_s, u"group B A"_s, u"move A B"_s, u"move A A"_s}
        << QStringList{u"A / 1 root"_s, u"B /A 2 A"_s};
    QTest::newRow("rename changes the paths below")
        << QStringList{u"group A root"_s, u"group B A"_s, u"proj P B"_s, u"proj Q A"_s,
                       u"rename A D"_s}
        << QStringList{u"A / 1 root"_s, u"B /D 2 A"_s, u"P /D/B 3 B"_s, u"Q /D 2 A"_s};
    QTest::newRow("rename subgroup")
        << QStringList{u"group A root"_s, u"group B A"_s, u"proj P B"_s, u"rename B E"_s}
        << QStringList{u"P /A/E 3 B"_s};
    QTest::newRow("loaded projector finds the B under A2")
        << QStringList{u"load-group A1 /"_s, u"load-group A2 /"_s, u"load-group B#1 /A1"_s,
                       u"load-group B#2 /A2"_s, u"load-proj P /A2/B"_s}
        << QStringList{u"B#1 /A1 2 A1"_s, u"B#2 /A2 2 A2"_s, u"P /A2/B 3 B#2"_s};
    QTest::newRow("loaded projector with unknown path goes to root, keeps its path")
        << QStringList{u"load-group A /"_s, u"load-proj P /A/X"_s, u"load-proj Q /"_s}
        << QStringList{u"P /A/X 1 root"_s, u"Q / 1 root"_s};
    QTest::newRow("loaded group without its parent is not placed")
        << QStringList{u"load-group B /X"_s, u"load-group C /Root"_s, u"load-group A /"_s}
        << QStringList{u"B - 0 -"_s, u"C - 0 -"_s, u"A / 1 root"_s};
}

void TestGroupTree::placement()
{
    QFETCH(QStringList, operations);
    QFETCH(QStringList, expected);

    Tree tree;
    tree.Run(operations);
    if (QTest::currentTestFailed())
        return;

    for (const QString &line : expected) {
        const QStringList want = line.split(u' ');
        const ProjectorNode *node = tree.Node(want[0]);
        if (want[3] == u"-"_s) {
            QVERIFY2(node == nullptr, qPrintable(line));
            continue;
        }
        QVERIFY2(node != nullptr, qPrintable(line));
        const QString got = want[0] + u' ' + node->GetPath() + u' ' +
                            QString::number(node->GetDepth()) + u' ' +
                            tree.LabelOf(node->GetParent());
        QCOMPARE(got, line);
    }
    VerifyLinks(tree.Root());
}

void TestGroupTree::removeChild_handsOwnershipBack()
{
    Tree tree;
    tree.Run({u"group A root"_s, u"group B A"_s, u"proj P B"_s, u"proj Q root"_s});
    Group &root = tree.Root();

    // Neither a grandchild nor a foreign node nor nullptr is a child of root.
    Projector stranger(u"S"_s, u"127.0.0.1"_s, QString(), u"M"_s, QString());
    for (ProjectorNode *notChild :
         {tree.Node(u"B"_s), tree.Node(u"P"_s), static_cast<ProjectorNode *>(&stranger),
          static_cast<ProjectorNode *>(nullptr)}) {
        QCOMPARE(root.RemoveChild(notChild), nullptr);
        QCOMPARE(root.GetChildren().size(), 2u);
    }

    // A removed subtree belongs to the caller, with no link back into the tree.
    std::unique_ptr<ProjectorNode> a = root.RemoveChild(tree.Node(u"A"_s));
    QCOMPARE(a.get(), tree.Node(u"A"_s));
    QCOMPARE(a->GetParent(), nullptr);
    QCOMPARE(root.GetChildren().size(), 1u);
    QVERIFY(!root.HasChildNamed(u"A"_s));
    QCOMPARE(tree.Node(u"P"_s)->GetParent(), tree.Node(u"B"_s));
    // A detached node cannot be moved: nothing owns it to give it away.
    QVERIFY(!a->MoveTo(&root));

    // Added again elsewhere it takes the new depth; its own path came along and stays.
    Group *target = static_cast<Group *>(tree.Node(u"Q"_s)->GetParent());
    auto *c = static_cast<Group *>(target->AddChild(std::make_unique<Group>(u"C"_s)));
    c->AddChild(std::move(a));
    QCOMPARE(tree.Node(u"P"_s)->GetDepth(), 4);
    VerifyLinks(root);

    // Destroying a removed node destroys its subtree (ASan reports a leak or a stale link).
    std::unique_ptr<ProjectorNode> gone = c->RemoveChild(tree.Node(u"A"_s));
    gone.reset();
    QCOMPARE(c->GetChildren().size(), 0u);
    VerifyLinks(root);
}

void TestGroupTree::findGroupByPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected"); // label, "-" for none

    QTest::newRow("empty is the root") << QString() << u"root"_s;
    QTest::newRow("slash is the root") << u"/"_s << u"root"_s;
    QTest::newRow("top level") << u"/A2"_s << u"A2"_s;
    QTest::newRow("second level, first match") << u"/A1/B"_s << u"B#1"_s;
    QTest::newRow("same name, other parent") << u"/A2/B"_s << u"B#2"_s;
    QTest::newRow("trailing slash") << u"/A1/"_s << u"-"_s;
    QTest::newRow("case differs") << u"/a1"_s << u"-"_s;
    QTest::newRow("the root's own name") << u"/Root"_s << u"-"_s;
    QTest::newRow("unknown") << u"/X/B"_s << u"-"_s;
}

void TestGroupTree::findGroupByPath()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);

    Tree tree;
    tree.Run({u"group A1 root"_s, u"group A2 root"_s, u"group B#1 A1"_s, u"group B#2 A2"_s});
    QCOMPARE(tree.LabelOf(tree.Root().FindGroupByPath(path)), expected);
    // Searched from the root whichever group is asked.
    QCOMPARE(tree.LabelOf(tree.AsGroup(u"B#2"_s)->FindGroupByPath(path)), expected);
}

void TestGroupTree::childViewsAndMaxDepth()
{
    Tree tree;
    tree.Run({u"proj P root"_s, u"group A root"_s, u"proj Q root"_s, u"group C root"_s,
              u"group B A"_s, u"proj R B"_s});
    Group &root = tree.Root();

    const std::vector<Group *> groups = root.GetChildGroups();
    QCOMPARE(groups, (std::vector<Group *>{tree.AsGroup(u"A"_s), tree.AsGroup(u"C"_s)}));
    const std::vector<Projector *> projectors = root.GetChildProjectors();
    QCOMPARE(projectors.size(), 2u);
    QCOMPARE(static_cast<ProjectorNode *>(projectors[0]), tree.Node(u"P"_s));
    QCOMPARE(static_cast<ProjectorNode *>(projectors[1]), tree.Node(u"Q"_s));

    QCOMPARE(root.GetMaxDepth(), 2);
    QCOMPARE(tree.AsGroup(u"A"_s)->GetMaxDepth(), 2);
    QCOMPARE(tree.AsGroup(u"C"_s)->GetMaxDepth(), 1);
    QCOMPARE(tree.AsGroup(u"B"_s)->GetFullPath(), u"/A/B"_s);
    QCOMPARE(root.GetFullPath(), u"/Root"_s);

    QVERIFY(!tree.Node(u"P"_s)->HasChildren());
    QVERIFY(tree.Node(u"A"_s)->HasChildren());
    QVERIFY(!tree.Node(u"C"_s)->HasChildren());
}

void TestGroupTree::hasChildNamed_isExact()
{
    Tree tree;
    tree.Run({u"group A root"_s, u"proj P A"_s});
    const ProjectorNode *a = tree.Node(u"A"_s);
    QVERIFY(a->HasChildNamed(u"P"_s));
    QVERIFY(!a->HasChildNamed(u"p"_s));
    QVERIFY(!a->HasChildNamed(u"P "_s));
    QVERIFY(tree.Root().HasChildNamed(u"A"_s));
    QVERIFY(!tree.Node(u"P"_s)->HasChildNamed(QString()));
}

QTEST_GUILESS_MAIN(TestGroupTree)
#include "tst_grouptree.moc"
