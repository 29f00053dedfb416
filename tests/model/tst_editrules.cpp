#include "model/editrules.h"
#include "model/group.h"
#include "model/projector.h"

#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A registry built from path lines; a line ending in '/' is a group, else a projector.
//   /A/ /A/A1/ /A/A1/p3 /A/p2 /B/ /B/p4 /B/C1 /C/ /C/A1/ /C/C1/ /p1
class Registry
{
public:
    Registry()
    {
        for (const QString &line :
             {u"/A/"_s, u"/A/A1/"_s, u"/A/A1/p3"_s, u"/A/p2"_s, u"/B/"_s, u"/B/p4"_s, u"/B/C1"_s,
              u"/C/"_s, u"/C/A1/"_s, u"/C/C1/"_s, u"/p1"_s}) {
            const bool isGroup = line.endsWith(u'/');
            const QString path = isGroup ? line.chopped(1) : line;
            auto *parent = static_cast<Group *>(At(path.section(u'/', 0, -2)));
            const QString name = path.section(u'/', -1);
            if (isGroup)
                parent->AddChild(std::make_unique<Group>(name));
            else
                parent->AddChild(
                    std::make_unique<Projector>(name, u"10.0.0.1"_s, QString(), u"M"_s, QString()));
        }
    }

    Group *Root() { return &m_root; }

    // "" is the root, "*" stands for "Display all" (nullptr).
    ProjectorNode *At(const QString &path)
    {
        if (path == u"*"_s)
            return nullptr;
        ProjectorNode *node = &m_root;
        for (const QString &part : path.split(u'/', Qt::SkipEmptyParts)) {
            ProjectorNode *next = nullptr;
            for (const auto &child : node->GetChildren())
                if (child->GetName() == part)
                    next = child.get();
            if (!next)
                return nullptr;
            node = next;
        }
        return node;
    }

    // The nodes of the paths, in order.
    std::vector<ProjectorNode *> AtEach(const QStringList &paths)
    {
        std::vector<ProjectorNode *> nodes;
        for (const QString &path : paths)
            nodes.push_back(At(path));
        return nodes;
    }

    // Every node's path, depth first.
    QStringList Lines() const
    {
        QStringList lines;
        Collect(&m_root, QString(), lines);
        return lines;
    }

    static QString PathOf(const ProjectorNode *node)
    {
        if (!node)
            return u"*"_s;
        QString path;
        for (; node->GetParent(); node = node->GetParent())
            path.prepend(u'/' + node->GetName());
        return path;
    }

private:
    static void Collect(const ProjectorNode *node, const QString &prefix, QStringList &lines)
    {
        for (const auto &child : node->GetChildren()) {
            lines << prefix + u'/' + child->GetName();
            Collect(child.get(), prefix + u'/' + child->GetName(), lines);
        }
    }

    Group m_root{u"Root"_s};
};

} // namespace

class TestEditRules : public QObject
{
    Q_OBJECT

private slots:
    void drop_data();
    void drop();
    void rename_data();
    void rename();
    void projectorAndDeleteChecks();
    void nodesToRemove_data();
    void nodesToRemove();
};

void TestEditRules::drop_data()
{
    QTest::addColumn<bool>("fromTree");
    QTest::addColumn<QStringList>("sources");
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("message");
    QTest::addColumn<QString>("selected");  // the tree's group afterwards
    QTest::addColumn<QStringList>("after"); // the sources' paths afterwards

    // The tree showed /B before every drop.
    QTest::newRow("rows onto a group")
        << false << QStringList{u"/p1"_s, u"/A/p2"_s} << u"/C/C1"_s << 0 << u"/C/C1"_s
        << QStringList{u"/C/C1/p1"_s, u"/C/C1/p2"_s};
    QTest::newRow("tree group onto another")
        << true << QStringList{u"/B"_s} << u"/C"_s << 0 << u"/C"_s << QStringList{u"/C/B"_s};
    QTest::newRow("group onto itself")
        << true << QStringList{u"/A"_s} << u"/A"_s << 346 << u"/B"_s << QStringList{u"/A"_s};
    QTest::newRow("group onto its parent")
        << true << QStringList{u"/A/A1"_s} << u"/A"_s << 346 << u"/B"_s << QStringList{u"/A/A1"_s};
    QTest::newRow("group onto its child")
        << true << QStringList{u"/A"_s} << u"/A/A1"_s << 321 << u"/B"_s << QStringList{u"/A"_s};
    QTest::newRow("root onto a group two levels below it")
        << true << QStringList{u""_s} << u"/A/A1"_s << 346 << u"/B"_s << QStringList{u""_s};
    QTest::newRow("row group onto a group two levels below it")
        << false << QStringList{u"/C"_s} << u"/C/C1"_s << 321 << u"/B"_s << QStringList{u"/C"_s};
    QTest::newRow("too deep") << true << QStringList{u"/A"_s} << u"/B"_s << 320 << u"/B"_s
                              << QStringList{u"/A"_s};
    QTest::newRow("name taken at the target by a projector")
        << false << QStringList{u"/C/C1"_s} << u"/B"_s << 325 << u"/B"_s << QStringList{u"/C/C1"_s};
    QTest::newRow("two arriving rows with the same name")
        << false << QStringList{u"/p1"_s, u"/A/A1"_s, u"/C/A1"_s} << u""_s << 325 << u"/B"_s
        << QStringList{u"/p1"_s, u"/A/A1"_s, u"/C/A1"_s};
    QTest::newRow("three rows, the second refused: nothing moved")
        << false << QStringList{u"/p1"_s, u"/A"_s, u"/B/p4"_s} << u"/C"_s << 320 << u"/B"_s
        << QStringList{u"/p1"_s, u"/A"_s, u"/B/p4"_s};
    QTest::newRow("root dragged") << true << QStringList{u""_s} << u"/B"_s << 346 << u"/B"_s
                                  << QStringList{u""_s};
    QTest::newRow("Display all dragged")
        << true << QStringList{u"*"_s} << u"/C"_s << 346 << u"/B"_s << QStringList{u"*"_s};
    QTest::newRow("dropped on Display all")
        << false << QStringList{u"/p1"_s} << u"*"_s << 346 << u"/B"_s << QStringList{u"/p1"_s};
    QTest::newRow("dropped on a projector row")
        << false << QStringList{u"/p1"_s} << u"/B/p4"_s << 346 << u"/B"_s << QStringList{u"/p1"_s};
    QTest::newRow("projector onto its own group")
        << false << QStringList{u"/p1"_s} << u""_s << 0 << u""_s << QStringList{u"/p1"_s};
}

void TestEditRules::drop()
{
    QFETCH(bool, fromTree);
    QFETCH(QStringList, sources);
    QFETCH(QString, target);
    QFETCH(int, message);
    QFETCH(QString, selected);
    QFETCH(QStringList, after);

    Registry registry;
    const std::vector<ProjectorNode *> nodes = registry.AtEach(sources);
    const QStringList before = registry.Lines();
    const DropResult result = DropNodes(nodes, fromTree, registry.At(target), registry.Root(),
                                        static_cast<Group *>(registry.At(u"/B"_s)));
    QCOMPARE(result.message, message);
    QCOMPARE(Registry::PathOf(result.select), selected);
    QStringList paths;
    for (ProjectorNode *node : nodes)
        paths << Registry::PathOf(node);
    QCOMPARE(paths, after);
    if (message != 0)
        QCOMPARE(registry.Lines(), before);
}

void TestEditRules::rename_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("treeGroup");
    QTest::addColumn<int>("message");
    QTest::addColumn<QString>("group"); // renamed group, or the name message 339 quotes

    QTest::newRow("one group row") << QStringList{u"/A"_s} << u"/B"_s << 0 << u"/A"_s;
    QTest::newRow("one projector row") << QStringList{u"/p1"_s} << u"/B"_s << 307 << QString();
    QTest::newRow("two group rows") << QStringList{u"/A"_s, u"/B"_s} << u"/B"_s << 307 << QString();
    QTest::newRow("no row, tree group") << QStringList{} << u"/A/A1"_s << 0 << u"/A/A1"_s;
    QTest::newRow("no row, root") << QStringList{} << u""_s << 339 << u"Root"_s;
    QTest::newRow("no row, Display all") << QStringList{} << u"*"_s << 339 << u"Display all"_s;
}

void TestEditRules::rename()
{
    QFETCH(QStringList, rows);
    QFETCH(QString, treeGroup);
    QFETCH(int, message);
    QFETCH(QString, group);

    Registry registry;
    const std::vector<ProjectorNode *> selection = registry.AtEach(rows);
    Group *found = nullptr;
    QString name;
    QCOMPARE(FindGroupToRename(selection, static_cast<Group *>(registry.At(treeGroup)),
                               u"Display all"_s, found, name),
             message);
    if (message == 0)
        QCOMPARE(Registry::PathOf(found), group);
    else
        QCOMPARE(found, nullptr);
    QCOMPARE(name, message == 339 ? group : QString());
}

void TestEditRules::projectorAndDeleteChecks()
{
    // authenticated, last connect result -> Change Password, Change IP Address
    QCOMPARE(CheckChangePassword(true, 0), 306);
    QCOMPARE(CheckChangePassword(false, -1), 337);
    QCOMPARE(CheckChangePassword(false, 10), 0);
    QCOMPARE(CheckChangePassword(false, 0), 0);
    QCOMPARE(CheckChangeAddress(-1), 0);
    QCOMPARE(CheckChangeAddress(0), 306);
    QCOMPARE(CheckChangeAddress(10), 306);

    Registry registry;
    QCOMPARE(CheckDelete({}, false), 310);
    QCOMPARE(CheckDelete({}, true), 310);
    QCOMPARE(CheckDelete({registry.At(u"/p1"_s)}, true), 352);
    QCOMPARE(CheckDelete({registry.At(u"/p1"_s)}, false), 0);
}

void TestEditRules::nodesToRemove_data()
{
    QTest::addColumn<QStringList>("selection"); // "" is the root
    QTest::addColumn<QStringList>("removed");

    QTest::newRow("projectors and a group")
        << QStringList{u"/p1"_s, u"/B"_s} << QStringList{u"/p1"_s, u"/B"_s};
    QTest::newRow("a group with its own projector: the group takes it")
        << QStringList{u"/A/p2"_s, u"/A"_s} << QStringList{u"/A"_s};
    QTest::newRow("a subgroup's projector two levels down")
        << QStringList{u"/A"_s, u"/A/A1/p3"_s, u"/B/p4"_s} << QStringList{u"/A"_s, u"/B/p4"_s};
    QTest::newRow("same name in another group stays separate")
        << QStringList{u"/A/A1"_s, u"/C/A1"_s} << QStringList{u"/A/A1"_s, u"/C/A1"_s};
    QTest::newRow("the root is never removed")
        << QStringList{u""_s, u"/p1"_s} << QStringList{u"/p1"_s};
    QTest::newRow("a node twice is removed once")
        << QStringList{u"/p1"_s, u"/p1"_s} << QStringList{u"/p1"_s};
}

void TestEditRules::nodesToRemove()
{
    QFETCH(QStringList, selection);
    QFETCH(QStringList, removed);

    Registry registry;
    std::vector<ProjectorNode *> nodes = registry.AtEach(selection);
    nodes.push_back(nullptr); // a row that lost its node
    QStringList paths;
    for (const ProjectorNode *node : NodesToRemove(nodes, registry.Root()))
        paths << Registry::PathOf(node);
    QCOMPARE(paths, removed);
}

QTEST_GUILESS_MAIN(TestEditRules)
#include "tst_editrules.moc"
