#include "dialogs/cnewgroupdlg.h"
#include "dialogs/cprojectordeletedlg.h"
#include "dialogs/cregroupdlg.h"
#include "dialogs/crenamegroupdlg.h"
#include "editdialogfixture.h"
#include "model/group.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "res/stringtable.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Builds the registry from "path" lines: a line ending in '/' is a group, else a projector.
void BuildRegistry(const QStringList &lines)
{
    ProjectorManager *manager = ProjectorManager::GetInstance();
    manager->ClearAll();
    int host = 1;
    for (const QString &line : lines) {
        const bool isGroup = line.endsWith(u'/');
        const QString path = isGroup ? line.chopped(1) : line;
        const QString parentPath = path.section(u'/', 0, -2);
        auto *parent = static_cast<Group *>(NodeAt(parentPath));
        QVERIFY2(parent && !parent->IsProjector(), qPrintable(line));
        const QString name = path.section(u'/', -1);
        if (isGroup) {
            manager->AddGroupTo(parent, std::make_unique<Group>(name));
        } else {
            auto projector = std::make_unique<Projector>(name, u"127.61.9.%1"_s.arg(host++),
                                                         QString(), u"M"_s, QString());
            Projector *added = manager->AddProjector(std::move(projector));
            QVERIFY(added);
            added->MoveTo(parent);
        }
    }
}

std::vector<ProjectorNode *> Nodes(const QStringList &paths)
{
    std::vector<ProjectorNode *> nodes;
    for (const QString &path : paths)
        nodes.push_back(path == u"/"_s ? ProjectorManager::GetInstance()->GetRoot() : NodeAt(path));
    return nodes;
}

QString PathOf(const ProjectorNode *node)
{
    QString path;
    for (; node && node->GetParent(); node = node->GetParent())
        path.prepend(u'/' + node->GetName());
    return path;
}

} // namespace

class TestGroupDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void groupNameField_data();
    void groupNameField();
    void newGroup_okChecksTheName_data();
    void newGroup_okChecksTheName();
    void rename_data();
    void rename();
    void deleteQuestion_data();
    void deleteQuestion();
    void regroupMove_data();
    void regroupMove();
    void regroup_openingState();
    void regroupCreate_data();
    void regroupCreate();

private:
    RecordingMessageSink m_sink;
};

// The registry most cases start from: two top-level groups, A with a subgroup, and a projector
// in each place.
static const QStringList kRegistry{u"/A/"_s,   u"/A/A1/"_s, u"/A/A1/p3"_s, u"/A/p2"_s,
                                   u"/B/"_s,   u"/B/p4"_s,  u"/C/"_s,      u"/C/C1/"_s,
                                   u"/C/p5"_s, u"/p1"_s,    u"/B/x"_s};

void TestGroupDialogs::initTestCase()
{
    SetStringLanguage(StringLanguage::English);
    SetUserMessageSink(&m_sink);
}

void TestGroupDialogs::cleanupTestCase()
{
    SetUserMessageSink(nullptr);
    ProjectorManager::DestroyInstance();
}

void TestGroupDialogs::init()
{
    m_sink.TakeIds();
}

void TestGroupDialogs::groupNameField_data()
{
    QTest::addColumn<QString>("typed");  // typed key by key
    QTest::addColumn<QString>("pasted"); // then pasted at the end
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("messages");

    const QString twenty = u"abcdefghijklmnopqrst"_s;
    QTest::newRow("20 characters kept") << twenty << QString() << twenty << QList<int>{};
    QTest::newRow("21st character refused, the 20 kept")
        << twenty + u"u"_s << QString() << twenty << QList<int>{324};
    QTest::newRow("slash refused") << u"a/b"_s << QString() << u"ab"_s << QList<int>{324};
    QTest::newRow("pasting past the limit refused")
        << u"abc"_s << u"x"_s.repeated(18) << u"abc"_s << QList<int>{324};
    QTest::newRow("pasted control character refused")
        << u"ab"_s << u"c\u0001d"_s << u"ab"_s << QList<int>{324};
    QTest::newRow("pasted name fitting the rule kept")
        << u"ab"_s << u"cd"_s << u"abcd"_s << QList<int>{};
}

void TestGroupDialogs::groupNameField()
{
    QFETCH(QString, typed);
    QFETCH(QString, pasted);
    QFETCH(QString, text);
    QFETCH(QList<int>, messages);

    BuildRegistry(kRegistry);
    // Both dialogs with a group-name field guard it the same way.
    CNewGroupDlg create;
    CRenameGroupDlg rename(*static_cast<Group *>(NodeAt(u"/A"_s)));
    for (QLineEdit *edit :
         {create.findChild<QLineEdit *>(u"1049"_s), rename.findChild<QLineEdit *>(u"1051"_s)}) {
        QVERIFY(edit);
        QTest::keyClicks(edit, typed);
        if (!pasted.isEmpty()) {
            QApplication::clipboard()->setText(pasted);
            edit->end(false);
            edit->paste();
        }
        QCOMPARE(edit->text(), text);
        QCOMPARE(m_sink.TakeIds(), messages);
    }
}

void TestGroupDialogs::newGroup_okChecksTheName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QList<int>>("messages");
    QTest::newRow("empty") << QString() << false << QList<int>{324};
    QTest::newRow("one character") << u"x"_s << true << QList<int>{};
    QTest::newRow("blank inside") << u"Hall 2"_s << true << QList<int>{};
}

void TestGroupDialogs::newGroup_okChecksTheName()
{
    QFETCH(QString, name);
    QFETCH(bool, accepted);
    QFETCH(QList<int>, messages);

    CNewGroupDlg dialog;
    dialog.show();
    QTest::keyClicks(dialog.findChild<QLineEdit *>(u"1049"_s), name);
    dialog.findChild<QPushButton *>(u"1"_s)->click();
    QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
    QCOMPARE(dialog.isVisible(), !accepted);
    QCOMPARE(dialog.GetGroupName(), accepted ? name : QString());
    QCOMPARE(m_sink.TakeIds(), messages);
}

void TestGroupDialogs::rename_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("message"); // 0: accepted
    QTest::newRow("new name") << u"/A"_s << u"Hall"_s << 0;
    QTest::newRow("own name") << u"/A"_s << u"A"_s << 325;
    QTest::newRow("sibling group's name") << u"/A"_s << u"B"_s << 325;
    QTest::newRow("sibling projector's name") << u"/A"_s << u"p1"_s << 325;
    QTest::newRow("other letter case") << u"/A"_s << u"b"_s << 0;
    QTest::newRow("subgroup to its parent's projector name") << u"/A/A1"_s << u"p2"_s << 325;
    QTest::newRow("name used in another group only") << u"/A/A1"_s << u"p4"_s << 0;
    QTest::newRow("empty") << u"/A"_s << QString() << 324;
}

void TestGroupDialogs::rename()
{
    QFETCH(QString, group);
    QFETCH(QString, name);
    QFETCH(int, message);

    BuildRegistry(kRegistry);
    const QStringList before = RegistryLines();
    auto *target = static_cast<Group *>(NodeAt(group));
    CRenameGroupDlg dialog(*target);
    dialog.show();
    QCOMPARE(dialog.findChild<QLabel *>(u"1055"_s)->text(), target->GetName());
    QTest::keyClicks(dialog.findChild<QLineEdit *>(u"1051"_s), name);
    dialog.findChild<QPushButton *>(u"1"_s)->click();
    QCOMPARE(m_sink.TakeIds(), message ? QList<int>{message} : QList<int>{});
    QCOMPARE(dialog.isVisible(), message != 0);
    QCOMPARE(dialog.GetGroupName(), message ? QString() : name);
    QCOMPARE(RegistryLines(), before); // the main view renames, not the dialog
}

void TestGroupDialogs::deleteQuestion_data()
{
    QTest::addColumn<QStringList>("nodes");
    QTest::addColumn<QString>("question");
    QTest::newRow("projector named with 25 characters")
        << QStringList{u"/B/abcdefghijklmnopqrstuvwxy"_s}
        << u"Are you sure to remove the projector 'abcdefghijklmnopqrst...' ?"_s;
    QTest::newRow("projector named with 20 characters")
        << QStringList{u"/B/abcdefghijklmnopqrst"_s}
        << u"Are you sure to remove the projector 'abcdefghijklmnopqrst' ?"_s;
    QTest::newRow("group") << QStringList{u"/A"_s}
                           << u"Are you sure to remove the group 'A' and all its contents?"_s;
    QTest::newRow("several") << QStringList{u"/A"_s, u"/p1"_s}
                             << u"Are you sure to remove these items?"_s;
}

void TestGroupDialogs::deleteQuestion()
{
    QFETCH(QStringList, nodes);
    QFETCH(QString, question);

    BuildRegistry(kRegistry +
                  QStringList{u"/B/abcdefghijklmnopqrstuvwxy"_s, u"/B/abcdefghijklmnopqrst"_s});
    CProjectorDeleteDlg dialog(Nodes(nodes));
    QCOMPARE(dialog.findChild<QLabel *>(u"1058"_s)->text(), question);
    const QStringList before = RegistryLines();
    dialog.show();
    dialog.findChild<QPushButton *>(u"1"_s)->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(RegistryLines(), before);
}

void TestGroupDialogs::regroupMove_data()
{
    QTest::addColumn<QStringList>("renames"); // "path=name" applied to kRegistry first
    QTest::addColumn<QStringList>("nodes");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QList<int>>("messages");
    QTest::addColumn<QStringList>("moved"); // paths of the nodes afterwards
    QTest::addColumn<bool>("accepted");

    const QStringList none;
    QTest::newRow("projector into a group") << none << QStringList{u"/p1"_s} << u"/A/A1"_s
                                            << QList<int>{} << QStringList{u"/A/A1/p1"_s} << true;
    QTest::newRow("projector into its own group")
        << none << QStringList{u"/p1"_s} << u"/"_s << QList<int>{} << QStringList{u"/p1"_s} << true;
    QTest::newRow("projector beside one of the same name")
        << QStringList{u"/A/p2=x"_s} << QStringList{u"/B/x"_s} << u"/A"_s << QList<int>{}
        << QStringList{u"/A/x"_s} << true;
    QTest::newRow("group onto itself") << none << QStringList{u"/B"_s} << u"/B"_s << QList<int>{346}
                                       << QStringList{u"/B"_s} << false;
    QTest::newRow("group onto its parent") << none << QStringList{u"/A/A1"_s} << u"/A"_s
                                           << QList<int>{346} << QStringList{u"/A/A1"_s} << false;
    QTest::newRow("group onto its child") << none << QStringList{u"/A"_s} << u"/A/A1"_s
                                          << QList<int>{321} << QStringList{u"/A"_s} << false;
    QTest::newRow("group with a subgroup into a depth-1 group")
        << none << QStringList{u"/A"_s} << u"/B"_s << QList<int>{320} << QStringList{u"/A"_s}
        << false;
    QTest::newRow("group with projectors only into a depth-1 group")
        << none << QStringList{u"/B"_s} << u"/C"_s << QList<int>{} << QStringList{u"/C/B"_s}
        << true;
    QTest::newRow("subgroup one level up") << none << QStringList{u"/A/A1"_s} << u"/"_s
                                           << QList<int>{} << QStringList{u"/A1"_s} << true;
    QTest::newRow("subgroup into a depth-2 group")
        << none << QStringList{u"/A/A1"_s} << u"/C/C1"_s << QList<int>{320}
        << QStringList{u"/A/A1"_s} << false;
    QTest::newRow("group name taken by a projector at the target")
        << QStringList{u"/C/p5=B"_s} << QStringList{u"/B"_s} << u"/C"_s << QList<int>{325}
        << QStringList{u"/B"_s} << false;
    QTest::newRow("refused node does not stop the next")
        << none << QStringList{u"/A"_s, u"/p1"_s} << u"/B"_s << QList<int>{320}
        << QStringList{u"/A"_s, u"/B/p1"_s} << true;
    QTest::newRow("two arriving groups of one name: the second refused")
        << QStringList{u"/C/C1=A1"_s} << QStringList{u"/A/A1"_s, u"/C/A1"_s} << u"/B"_s
        << QList<int>{325} << QStringList{u"/B/A1"_s, u"/C/A1"_s} << true;
}

void TestGroupDialogs::regroupMove()
{
    QFETCH(QStringList, renames);
    QFETCH(QStringList, nodes);
    QFETCH(QString, target);
    QFETCH(QList<int>, messages);
    QFETCH(QStringList, moved);
    QFETCH(bool, accepted);

    BuildRegistry(kRegistry);
    for (const QString &rename : renames)
        NodeAt(rename.section(u'=', 0, 0))->Rename(rename.section(u'=', 1));
    std::vector<ProjectorNode *> list = Nodes(nodes);
    CReGroupDlg dialog(*ProjectorManager::GetInstance(), list);
    dialog.show();
    QVERIFY(dialog.SelectGroup(target == u"/"_s ? ProjectorManager::GetInstance()->GetRoot()
                                                : NodeAt(target)));
    dialog.findChild<QPushButton *>(u"1"_s)->click();
    QCOMPARE(m_sink.TakeIds(), messages);
    QStringList paths;
    for (ProjectorNode *node : list)
        paths << PathOf(node);
    QCOMPARE(paths, moved);
    QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
    QCOMPARE(dialog.isVisible(), !accepted);
}

void TestGroupDialogs::regroup_openingState()
{
    BuildRegistry(kRegistry);
    ProjectorManager *manager = ProjectorManager::GetInstance();
    struct Case
    {
        QStringList nodes;
        bool moveEnabled;
        QString selected; // name of the selected tree item
    };
    const QList<Case> cases{{{u"/A/A1/p3"_s}, true, u"A1"_s},
                            {{u"/B"_s, u"/p1"_s}, true, u"B"_s},
                            {{u"/"_s}, false, u"Root"_s},
                            {{}, false, QString()}};
    for (const Case &c : cases) {
        CReGroupDlg dialog(*manager, Nodes(c.nodes));
        auto *tree = dialog.findChild<QTreeWidget *>(u"1047"_s);
        QCOMPARE(dialog.findChild<QPushButton *>(u"1"_s)->isEnabled(), c.moveEnabled);
        QCOMPARE(dialog.GetSelectedGroup() ? dialog.GetSelectedGroup()->GetName() : QString(),
                 c.selected);
        // Only groups, under the root, with no "Display all" item.
        QCOMPARE(tree->topLevelItemCount(), 1);
        QCOMPARE(tree->topLevelItem(0)->text(0), u"Root"_s);
        QStringList names;
        for (QTreeWidgetItemIterator it(tree); *it; ++it)
            names << (*it)->text(0);
        QCOMPARE(names, (QStringList{u"Root"_s, u"A"_s, u"A1"_s, u"B"_s, u"C"_s, u"C1"_s}));
    }
    // Move with no group chosen.
    CReGroupDlg dialog(*manager, Nodes({u"/p1"_s}));
    dialog.show();
    dialog.findChild<QTreeWidget *>(u"1047"_s)->clearSelection();
    dialog.findChild<QPushButton *>(u"1"_s)->click();
    dialog.findChild<QPushButton *>(u"1048"_s)->click();
    QCOMPARE(m_sink.TakeIds(), (QList<int>{309, 309}));
    QVERIFY(dialog.isVisible());
}

void TestGroupDialogs::regroupCreate_data()
{
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QList<std::optional<QString>>>("answers"); // nullopt: Cancel
    QTest::addColumn<QList<int>>("messages");
    QTest::addColumn<QString>("created"); // path of the new group, empty for none
    QTest::addColumn<int>("closeResult");

    using Answers = QList<std::optional<QString>>;
    QTest::newRow("inside the root")
        << u"/"_s << Answers{u"New"_s} << QList<int>{} << u"/New"_s << int(QDialog::Accepted);
    QTest::newRow("inside a depth-1 group")
        << u"/A"_s << Answers{u"New"_s} << QList<int>{} << u"/A/New"_s << int(QDialog::Accepted);
    QTest::newRow("inside a depth-2 group")
        << u"/A/A1"_s << Answers{} << QList<int>{322} << QString() << int(QDialog::Rejected);
    QTest::newRow("name taken, asked again")
        << u"/A"_s << Answers{u"A1"_s, u"p2"_s, u"Other"_s} << QList<int>{325, 325} << u"/A/Other"_s
        << int(QDialog::Accepted);
    QTest::newRow("other letter case allowed")
        << u"/A"_s << Answers{u"a1"_s} << QList<int>{} << u"/A/a1"_s << int(QDialog::Accepted);
    QTest::newRow("cancelled") << u"/A"_s << Answers{std::nullopt} << QList<int>{} << QString()
                               << int(QDialog::Rejected);
    QTest::newRow("empty, then cancelled")
        << u"/A"_s << Answers{QString(), std::nullopt} << QList<int>{324} << QString()
        << int(QDialog::Rejected);
}

void TestGroupDialogs::regroupCreate()
{
    QFETCH(QString, parent);
    QFETCH(QList<std::optional<QString>>, answers);
    QFETCH(QList<int>, messages);
    QFETCH(QString, created);
    QFETCH(int, closeResult);

    BuildRegistry(kRegistry);
    const QStringList before = RegistryLines();
    ProjectorManager *manager = ProjectorManager::GetInstance();
    CReGroupDlg dialog(*manager, Nodes({u"/p1"_s}));
    dialog.show();
    QVERIFY(dialog.SelectGroup(parent == u"/"_s ? manager->GetRoot() : NodeAt(parent)));
    ScriptedUser user(TypedAnswers("CNewGroupDlg", answers), 5000);
    dialog.findChild<QPushButton *>(u"1048"_s)->click();
    QVERIFY(user.IsDone());
    QCOMPARE(m_sink.TakeIds(), messages);
    QStringList expected = before;
    if (!created.isEmpty()) {
        QVERIFY(NodeAt(created));
        QVERIFY(!NodeAt(created)->IsProjector());
        expected << created;
        // The tree shows the new group and the parent stays chosen.
        QCOMPARE(dialog.GetSelectedGroup(), parent == u"/"_s ? manager->GetRoot() : NodeAt(parent));
    }
    QStringList after = RegistryLines();
    after.sort();
    expected.sort();
    QCOMPARE(after, expected);
    dialog.findChild<QPushButton *>(u"2"_s)->click();
    QCOMPARE(dialog.result(), closeResult);
}

QTEST_MAIN(TestGroupDialogs)
#include "tst_groupdialogs.moc"
