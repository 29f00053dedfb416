#include "model/group.h"
#include "model/projector.h"
#include "model/selectionrules.h"

#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

// The selection is given as letters: P a projector, E an empty group, G a group holding a
// projector in a subgroup.
class TestSelectionRules : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void rules_data();
    void rules();
    void muteKindOfEntry();
    void listContent();

private:
    std::vector<ProjectorNode *> Selection(const QString &letters);

    std::unique_ptr<Projector> m_projector;
    std::unique_ptr<Projector> m_other;
    std::unique_ptr<Group> m_empty;
    std::unique_ptr<Group> m_full;
};

void TestSelectionRules::init()
{
    m_projector = std::make_unique<Projector>(u"P"_s, u"127.0.0.1"_s, QString(), u"M"_s, u"/"_s);
    m_other = std::make_unique<Projector>(u"Q"_s, u"127.0.0.2"_s, QString(), u"M"_s, u"/"_s);
    m_empty = std::make_unique<Group>(u"E"_s);
    m_full = std::make_unique<Group>(u"G"_s);
    auto *sub = static_cast<Group *>(m_full->AddChild(std::make_unique<Group>(u"S"_s)));
    sub->AddChild(std::make_unique<Projector>(u"R"_s, u"127.0.0.3"_s, QString(), u"M"_s, u"/"_s));
}

std::vector<ProjectorNode *> TestSelectionRules::Selection(const QString &letters)
{
    std::vector<ProjectorNode *> nodes;
    bool firstProjector = true;
    for (const QChar letter : letters) {
        if (letter == u'P') {
            nodes.push_back(firstProjector ? m_projector.get() : m_other.get());
            firstProjector = false;
        } else {
            nodes.push_back(letter == u'E' ? m_empty.get() : m_full.get());
        }
    }
    return nodes;
}

void TestSelectionRules::rules_data()
{
    QTest::addColumn<QString>("selection");
    QTest::addColumn<int>("projectorsOrGroups");
    QTest::addColumn<int>("singleProjector");

    QTest::newRow("nothing") << QString() << 310 << 308;
    QTest::newRow("one projector") << u"P"_s << 0 << 0;
    QTest::newRow("two projectors") << u"PP"_s << 0 << 301;
    QTest::newRow("empty group") << u"E"_s << 338 << 308;
    QTest::newRow("group with a projector below") << u"G"_s << 0 << 308;
    QTest::newRow("two empty groups") << u"EE"_s << 338 << 301;
    QTest::newRow("empty group and projector") << u"EP"_s << 0 << 301;
}

void TestSelectionRules::rules()
{
    QFETCH(QString, selection);
    QFETCH(int, projectorsOrGroups);
    QFETCH(int, singleProjector);

    const std::vector<ProjectorNode *> nodes = Selection(selection);
    QCOMPARE(CheckProjectorsOrGroups(nodes), projectorsOrGroups);
    Projector *projector = m_other.get();
    QCOMPARE(CheckSingleProjector(nodes, projector), singleProjector);
    QCOMPARE(projector, singleProjector == 0 ? m_projector.get() : nullptr);
}

void TestSelectionRules::muteKindOfEntry()
{
    QCOMPARE(MuteKindOfEntry(0).GetCode(), int(MuteStatus::VideoAndAudio));
    QCOMPARE(MuteKindOfEntry(1).GetCode(), int(MuteStatus::Video));
    QCOMPARE(MuteKindOfEntry(2).GetCode(), int(MuteStatus::Audio));
    QCOMPARE(MuteKindOfEntry(-1).GetCode(), int(MuteStatus::Unknown));
    QCOMPARE(MuteKindOfEntry(3).GetCode(), int(MuteStatus::Unknown));
}

void TestSelectionRules::listContent()
{
    const std::vector<Projector *> all{m_projector.get(), m_other.get()};
    // "Display all" lists every projector given, whatever group the tree held before.
    QCOMPARE(ListContent(m_full.get(), true, all),
             (std::vector<ProjectorNode *>{m_projector.get(), m_other.get()}));
    // A group lists its children, subgroups included, not what lies below them.
    const std::vector<ProjectorNode *> children = ListContent(m_full.get(), false, all);
    QCOMPARE(children.size(), std::size_t(1));
    QCOMPARE(children.front()->GetName(), u"S"_s);
    QVERIFY(ListContent(m_empty.get(), false, all).empty());
    QVERIFY(ListContent(nullptr, false, all).empty());
}

QTEST_GUILESS_MAIN(TestSelectionRules)
#include "tst_selectionrules.moc"
