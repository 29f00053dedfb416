#include "model/group.h"
#include "model/groupmarkers.h"
#include "model/inputchoices.h"
#include "model/projector.h"
#include "model/projectorlistorder.h"
#include "model/projectorrowicons.h"
#include "res/stringtable.h"

#include <QtTest>

#include <set>

using namespace Qt::StringLiterals;

namespace {

// A projector that answered everything: power on, RGB1, mute off, no error, one lamp.
ProjectorState Answered(const QString &name, const QString &ip = u"10.0.0.1"_s)
{
    ProjectorState s;
    s.name = name;
    s.ipAddress = ip;
    s.groupPath = u"/"_s;
    s.reachable = true;
    s.authenticated = true;
    s.connectResult = 0;
    s.powerResult = s.inputResult = s.muteResult = s.inputListResult = s.errorResult =
        s.lampResult = s.manufacturerResult = 0;
    s.power = PowerStatus(PowerStatus::On);
    s.input = InputStatus(1, 1);
    s.mute = MuteStatus(MuteStatus::Off);
    s.lamps = {LampStatus(1, 100)};
    s.manufacturer = u"Maker"_s;
    return s;
}

ProjectorState NeverAnswered(const QString &name, const QString &ip = u"10.0.0.9"_s)
{
    ProjectorState s;
    s.name = name;
    s.ipAddress = ip;
    s.groupPath = u"/"_s;
    return s; // connectResult and every result -1
}

// Connected, but the password was refused: no query ran.
ProjectorState Refused(const QString &name)
{
    ProjectorState s = NeverAnswered(name);
    s.reachable = true;
    s.authorizationRequired = true;
    s.connectResult = 10;
    return s;
}

ProjectorListRow Row(const ProjectorState &state)
{
    ProjectorListRow row;
    row.name = state.name;
    row.groupPath = state.groupPath;
    row.state = state;
    return row;
}

ProjectorListRow GroupRow(const QString &name, const QString &path = u"/"_s)
{
    ProjectorListRow row;
    row.isGroup = true;
    row.name = name;
    row.groupPath = path;
    return row;
}

// A fleet with every kind of value each column knows, groups, errors and silent projectors.
std::vector<ProjectorListRow> MixedFleet()
{
    std::vector<ProjectorListRow> rows;
    rows.push_back(GroupRow(u"gB"_s));
    auto add = [&rows](ProjectorState s) { rows.push_back(Row(s)); };
    auto on = Answered(u"on"_s, u"10.0.0.20"_s);
    add(on);
    auto on2 = Answered(u"On2"_s, u"9.255.0.1"_s);
    on2.manufacturer.clear();
    on2.input = InputStatus(3, 2);
    on2.lamps.clear();
    add(on2);
    auto warm = Answered(u"warm"_s, u"10.0.0.3"_s);
    warm.power = PowerStatus(PowerStatus::WarmUp);
    warm.input = InputStatus(-1, -1);
    warm.mute = MuteStatus(MuteStatus::Video);
    warm.worstError = ErrorStatus(ErrorStatus::Lamp, ErrorStatus::Warning);
    warm.lamps = {LampStatus(1, 5)};
    add(warm);
    auto off = Answered(u"off"_s, u"10.0.0.100"_s);
    off.power = PowerStatus(PowerStatus::Off);
    off.input = InputStatus(2, 1);
    off.mute = MuteStatus(MuteStatus::VideoAndAudio);
    off.worstError = ErrorStatus(ErrorStatus::Fan, ErrorStatus::Error);
    off.manufacturer = u"maker"_s;
    add(off);
    auto cooling = Answered(u"cooling"_s, u"not an address"_s);
    cooling.power = PowerStatus(PowerStatus::Cooling);
    cooling.mute = MuteStatus(MuteStatus::Audio);
    cooling.worstError = ErrorStatus(ErrorStatus::Temperature, ErrorStatus::Warning);
    add(cooling);
    auto unknownPower = Answered(u"unknownPower"_s, u"10.0.0.5"_s);
    unknownPower.power = PowerStatus(PowerStatus::Unknown);
    unknownPower.mute = MuteStatus(MuteStatus::Unknown);
    add(unknownPower);
    auto errAnswer = Answered(u"errAnswer"_s, u"10.0.0.6"_s);
    errAnswer.powerResult = errAnswer.inputResult = errAnswer.muteResult = 3;
    errAnswer.errorResult = errAnswer.lampResult = errAnswer.manufacturerResult = 3;
    add(errAnswer);
    add(NeverAnswered(u"silent"_s));
    add(Refused(u"refused"_s));
    rows.push_back(GroupRow(u"Ga"_s));
    add(Answered(u"Alpha"_s, u"10.0.0.7"_s)); // the same keys as "on": the name decides
    return rows;
}

QStringList Names(const std::vector<ProjectorListRow> &rows)
{
    QStringList names;
    for (const auto &row : rows)
        names << row.name;
    return names;
}

} // namespace

class TestListRules : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { SetStringLanguage(StringLanguage::English); }
    void sort_data();
    void sort();
    void order_isStrictWeakOnMixedFleet();
    void sort_isStableAndSelectionFollowsNodes();
    void ipv4Number_data();
    void ipv4Number();
    void rowIcons_data();
    void rowIcons();
    void markers_depthTwoProblemAndParents();
    void folderImages_data();
    void folderImages();
    void inputChoices_data();
    void inputChoices();
    void inputChoice_matchesByValue();
};

void TestListRules::sort_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<QStringList>("expected");

    // Groups first in both directions; answered values, then unknown values, then error
    // answers, then silent projectors (never answered and refused alike, by name).
    QTest::newRow("power ascending")
        << int(COLUMN_POWER) << true
        << QStringList{u"Ga"_s,           u"gB"_s,        u"Alpha"_s,   u"on"_s,
                       u"On2"_s,          u"warm"_s,      u"off"_s,     u"cooling"_s,
                       u"unknownPower"_s, u"errAnswer"_s, u"refused"_s, u"silent"_s};
    QTest::newRow("power descending")
        << int(COLUMN_POWER) << false
        << QStringList{u"gB"_s,        u"Ga"_s,           u"silent"_s,  u"refused"_s,
                       u"errAnswer"_s, u"unknownPower"_s, u"cooling"_s, u"off"_s,
                       u"warm"_s,      u"On2"_s,          u"on"_s,      u"Alpha"_s};
    QTest::newRow("input ascending: unknown after the known inputs")
        << int(COLUMN_INPUT) << true
        << QStringList{u"Ga"_s,   u"gB"_s,           u"Alpha"_s,   u"cooling"_s,
                       u"on"_s,   u"unknownPower"_s, u"off"_s,     u"On2"_s,
                       u"warm"_s, u"errAnswer"_s,    u"refused"_s, u"silent"_s};
    QTest::newRow("mute ascending")
        << int(COLUMN_MUTE) << true
        << QStringList{u"Ga"_s,           u"gB"_s,        u"off"_s,     u"warm"_s,
                       u"cooling"_s,      u"Alpha"_s,     u"on"_s,      u"On2"_s,
                       u"unknownPower"_s, u"errAnswer"_s, u"refused"_s, u"silent"_s};
    QTest::newRow("error ascending: errors, warnings by category, none")
        << int(COLUMN_ERROR) << true
        << QStringList{u"Ga"_s,           u"gB"_s,        u"off"_s,     u"warm"_s,
                       u"cooling"_s,      u"Alpha"_s,     u"on"_s,      u"On2"_s,
                       u"unknownPower"_s, u"errAnswer"_s, u"refused"_s, u"silent"_s};
    QTest::newRow("lamp ascending: no lamp after the hours")
        << int(COLUMN_LAMP_TIME) << true
        << QStringList{u"Ga"_s,      u"gB"_s,        u"warm"_s,    u"Alpha"_s,
                       u"cooling"_s, u"off"_s,       u"on"_s,      u"unknownPower"_s,
                       u"On2"_s,     u"errAnswer"_s, u"refused"_s, u"silent"_s};
    QTest::newRow("manufacturer ascending: case counts, empty last")
        << int(COLUMN_MANUFACTURER) << true
        << QStringList{u"Ga"_s,  u"gB"_s,           u"Alpha"_s,   u"cooling"_s,
                       u"on"_s,  u"unknownPower"_s, u"warm"_s,    u"off"_s,
                       u"On2"_s, u"errAnswer"_s,    u"refused"_s, u"silent"_s};
    QTest::newRow("ip ascending: by number, not text, non-addresses last")
        << int(COLUMN_IP_ADDRESS) << true
        << QStringList{u"Ga"_s,           u"gB"_s,        u"On2"_s,   u"warm"_s,
                       u"unknownPower"_s, u"errAnswer"_s, u"Alpha"_s, u"refused"_s,
                       u"silent"_s,       u"on"_s,        u"off"_s,   u"cooling"_s};
    QTest::newRow("name descending: groups still first")
        << int(COLUMN_NAME) << false
        << QStringList{u"gB"_s,  u"Ga"_s, u"warm"_s, u"unknownPower"_s, u"silent"_s,  u"refused"_s,
                       u"On2"_s, u"on"_s, u"off"_s,  u"errAnswer"_s,    u"cooling"_s, u"Alpha"_s};
}

void TestListRules::sort()
{
    QFETCH(int, column);
    QFETCH(bool, ascending);
    QFETCH(QStringList, expected);
    auto rows = MixedFleet();
    SortProjectorRows(rows, column, ascending);
    QCOMPARE(Names(rows), expected);
}

void TestListRules::order_isStrictWeakOnMixedFleet()
{
    // std::sort relies on these; a comparison that breaks them can crash it or lose rows.
    const auto rows = MixedFleet();
    const int n = int(rows.size());
    for (int column = 0; column < PROJECTOR_LIST_COLUMNS; ++column) {
        for (const bool ascending : {true, false}) {
            auto less = [&](int a, int b) {
                return ProjectorRowLess(rows[a], rows[b], column, ascending);
            };
            auto equiv = [&](int a, int b) { return !less(a, b) && !less(b, a); };
            for (int a = 0; a < n; ++a) {
                QVERIFY2(!less(a, a), qPrintable(rows[a].name));
                for (int b = 0; b < n; ++b) {
                    QVERIFY(!(less(a, b) && less(b, a)));
                    for (int c = 0; c < n; ++c) {
                        if (less(a, b) && less(b, c))
                            QVERIFY2(less(a, c),
                                     qPrintable(u"column %1: %2 %3 %4"_s.arg(column).arg(
                                         rows[a].name, rows[b].name, rows[c].name)));
                        if (equiv(a, b) && equiv(b, c))
                            QVERIFY(equiv(a, c));
                    }
                }
            }
        }
    }
}

void TestListRules::sort_isStableAndSelectionFollowsNodes()
{
    // Two projectors with equal keys and names keep their order; the selected nodes are found
    // at their new rows after a re-sort on changed values.
    Group root(u"Root"_s);
    auto *a = root.AddChild(
        std::make_unique<Projector>(u"P"_s, u"10.0.0.1"_s, QString(), u"M"_s, u"/"_s));
    auto *b = root.AddChild(
        std::make_unique<Projector>(u"P"_s, u"10.0.0.2"_s, QString(), u"M"_s, u"/"_s));
    auto *c = root.AddChild(
        std::make_unique<Projector>(u"Q"_s, u"10.0.0.3"_s, QString(), u"M"_s, u"/"_s));
    std::vector<ProjectorListRow> rows = {Row(Answered(u"P"_s)), Row(Answered(u"P"_s)),
                                          Row(Answered(u"Q"_s))};
    rows[0].node = a;
    rows[1].node = b;
    rows[2].node = c;
    SortProjectorRows(rows, COLUMN_POWER, true);
    QCOMPARE(rows[0].node, a);
    QCOMPARE(rows[1].node, b);
    QCOMPARE(RowsOfNodes(rows, {c, a}), (std::vector<int>{0, 2}));

    rows[2].state.power = PowerStatus(PowerStatus::On);
    rows[0].state.power = PowerStatus(PowerStatus::Off);
    SortProjectorRows(rows, COLUMN_POWER, true);
    QCOMPARE(Names(rows), (QStringList{u"P"_s, u"Q"_s, u"P"_s}));
    QCOMPARE(RowsOfNodes(rows, {c, a}), (std::vector<int>{1, 2}));
    QCOMPARE(RowsOfNodes(rows, {}), std::vector<int>{});
}

void TestListRules::ipv4Number_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<qint64>("number");
    QTest::newRow("first part most significant") << u"1.2.3.4"_s << qint64(0x01020304);
    QTest::newRow("top") << u"255.255.255.255"_s << qint64(0xffffffffLL);
    QTest::newRow("part too large") << u"1.2.3.256"_s << qint64(-1);
    QTest::newRow("three parts") << u"1.2.3"_s << qint64(-1);
    QTest::newRow("empty part") << u"1..3.4"_s << qint64(-1);
    QTest::newRow("negative") << u"1.2.-3.4"_s << qint64(-1);
    QTest::newRow("empty") << QString() << qint64(-1);
}

void TestListRules::ipv4Number()
{
    QFETCH(QString, address);
    QFETCH(qint64, number);
    QCOMPARE(IPv4Number(address), number);
}

void TestListRules::rowIcons_data()
{
    QTest::addColumn<ProjectorState>("state");
    QTest::addColumn<bool>("selected");
    // name, power, input, mute, error; -1 none
    QTest::addColumn<QList<int>>("icons");
    QTest::addColumn<bool>("grey");

    auto on = Answered(u"on"_s);
    QTest::newRow("on, RGB1") << on << false << QList<int>{0, 5, 8, -1, -1} << false;
    QTest::newRow("on, RGB1, selected") << on << true << QList<int>{2, 7, 14, -1, -1} << false;
    auto cooling = Answered(u"c"_s);
    cooling.power = PowerStatus(PowerStatus::Cooling);
    cooling.input = InputStatus(5, 1);
    QTest::newRow("cooling shows off") << cooling << false << QList<int>{0, 4, 12, -1, -1} << false;
    auto warm = Answered(u"w"_s);
    warm.power = PowerStatus(PowerStatus::WarmUp);
    warm.mute = MuteStatus(MuteStatus::VideoAndAudio);
    warm.worstError = ErrorStatus(ErrorStatus::Lamp, ErrorStatus::Warning);
    QTest::newRow("warm up shows on, mute, warning")
        << warm << false << QList<int>{0, 5, 8, 22, 26} << false;
    QTest::newRow("the same selected") << warm << true << QList<int>{2, 7, 14, 25, 28} << false;
    auto camera = Answered(u"k"_s);
    camera.isKorvane = true;
    camera.input = InputStatus(1, 9);
    camera.worstError = ErrorStatus(ErrorStatus::Fan, ErrorStatus::Error);
    QTest::newRow("maker's camera, error")
        << camera << false << QList<int>{0, 5, 13, -1, 27} << false;
    QTest::newRow("maker's camera selected")
        << camera << true << QList<int>{2, 7, 19, -1, 29} << false;
    auto unavailable = Answered(u"u"_s);
    unavailable.input = InputStatus(InputStatus::Unavailable, 1);
    unavailable.power = PowerStatus(PowerStatus::Unknown);
    QTest::newRow("unavailable input, unknown power")
        << unavailable << false << QList<int>{0, -1, -1, -1, -1} << false;
    auto errorAnswer = warm;
    errorAnswer.powerResult = errorAnswer.inputResult = errorAnswer.muteResult = 3;
    errorAnswer.errorResult = 3;
    QTest::newRow("error answers")
        << errorAnswer << false << QList<int>{0, -1, -1, -1, -1} << false;
    auto unreachable = warm;
    unreachable.reachable = false;
    unreachable.connectResult = -1;
    QTest::newRow("unreachable keeps old values but shows no status")
        << unreachable << false << QList<int>{0, -1, -1, -1, -1} << true;
    QTest::newRow("never answered")
        << NeverAnswered(u"n"_s) << false << QList<int>{0, -1, -1, -1, -1} << true;
    QTest::newRow("password refused")
        << Refused(u"r"_s) << true << QList<int>{2, -1, -1, -1, -1} << true;
}

void TestListRules::rowIcons()
{
    QFETCH(ProjectorState, state);
    QFETCH(bool, selected);
    QFETCH(QList<int>, icons);
    QFETCH(bool, grey);
    const RowIcons got = ProjectorRowIcons(state, selected);
    const QList<int> shown{got[COLUMN_NAME], got[COLUMN_POWER], got[COLUMN_INPUT], got[COLUMN_MUTE],
                           got[COLUMN_ERROR]};
    QCOMPARE(shown, icons);
    for (int column : {COLUMN_MANUFACTURER, COLUMN_LAMP_TIME, COLUMN_IP_ADDRESS, COLUMN_GROUP_PATH})
        QCOMPARE(got[column], int(ICON_NONE));
    QCOMPARE(IsGreyRow(state), grey);
}

void TestListRules::markers_depthTwoProblemAndParents()
{
    // Root
    //   A          (no problem of its own)
    //     A1       (a projector with a lamp warning)
    //     A2
    //   B          (a projector with an error of its own, and a marked subgroup)
    //     B1       (a projector with a warning)
    //   C
    Group root(u"Root"_s);
    auto *a = static_cast<Group *>(root.AddChild(std::make_unique<Group>(u"A"_s)));
    auto *a1 = static_cast<Group *>(a->AddChild(std::make_unique<Group>(u"A1"_s)));
    auto *a2 = static_cast<Group *>(a->AddChild(std::make_unique<Group>(u"A2"_s)));
    auto *b = static_cast<Group *>(root.AddChild(std::make_unique<Group>(u"B"_s)));
    auto *b1 = static_cast<Group *>(b->AddChild(std::make_unique<Group>(u"B1"_s)));
    auto *c = static_cast<Group *>(root.AddChild(std::make_unique<Group>(u"C"_s)));
    auto project = [](Group *g, const QString &name) {
        return static_cast<Projector *>(g->AddChild(
            std::make_unique<Projector>(name, u"10.0.0.1"_s, QString(), u"M"_s, QString())));
    };
    std::set<const Projector *> problems{project(a1, u"lamp"_s), project(b, u"err"_s),
                                         project(b1, u"warn"_s)};
    project(a2, u"fine"_s);
    project(&root, u"fineToo"_s);
    project(c, u"fine3"_s);
    auto hasProblem = [&](const Projector &p) { return problems.count(&p) > 0; };

    auto markers = ComputeProblemMarkers(root, hasProblem);
    auto check = [&](const Group *g, bool marked, bool fromSubgroup) {
        QCOMPARE(markers[g].marked, marked);
        QCOMPARE(markers[g].fromSubgroup, fromSubgroup);
    };
    check(a1, true, false);
    check(a2, false, false);
    check(a, true, true);
    check(b1, true, false);
    check(b, true, false); // its own error: the mark stays when expanded
    check(c, false, false);
    check(&root, true, true);

    // Collapsed, A carries the mark; expanded, only A1 shows it. B keeps it both ways.
    QCOMPARE(GroupFolderImages(markers[a], false, false), (FolderImages{4, 5}));
    QCOMPARE(GroupFolderImages(markers[a], true, false), (FolderImages{0, 1}));
    QCOMPARE(GroupFolderImages(markers[a1], true, false), (FolderImages{4, 5}));
    QCOMPARE(GroupFolderImages(markers[b], true, false), (FolderImages{4, 5}));

    // The problem gone: nothing is marked any more.
    problems.clear();
    markers = ComputeProblemMarkers(root, hasProblem);
    for (const Group *g : {&root, a, a1, a2, b, b1, c})
        check(g, false, false);
}

void TestListRules::folderImages_data()
{
    QTest::addColumn<bool>("marked");
    QTest::addColumn<bool>("fromSubgroup");
    QTest::addColumn<bool>("expanded");
    QTest::addColumn<bool>("plain");
    QTest::addColumn<int>("normal");

    QTest::newRow("unmarked") << false << false << false << false << 0;
    QTest::newRow("own mark, expanded") << true << false << true << false << 4;
    QTest::newRow("subgroup mark, collapsed") << true << true << false << false << 4;
    QTest::newRow("subgroup mark, expanded") << true << true << true << false << 0;
    QTest::newRow("plain folders ignore the mark") << true << false << false << true << 0;
}

void TestListRules::folderImages()
{
    QFETCH(bool, marked);
    QFETCH(bool, fromSubgroup);
    QFETCH(bool, expanded);
    QFETCH(bool, plain);
    QFETCH(int, normal);
    const FolderImages images = GroupFolderImages({marked, fromSubgroup}, expanded, plain);
    QCOMPARE(images.normal, normal);
    QCOMPARE(images.selected, normal + 1);
}

void TestListRules::inputChoices_data()
{
    QTest::addColumn<QList<ProjectorState>>("selection");
    QTest::addColumn<QStringList>("texts");

    auto p1 = Answered(u"p1"_s);
    p1.inputs = {InputStatus(3, 1), InputStatus(1, 2), InputStatus(1, 1), InputStatus(1, 9)};
    auto p2 = Answered(u"p2"_s);
    p2.inputs = {InputStatus(1, 1), InputStatus(5, 1), InputStatus(2, 1)};
    auto gone = Answered(u"gone"_s);
    gone.reachable = false;
    gone.inputs = {InputStatus(4, 1)};
    auto maker = Answered(u"maker"_s);
    maker.isKorvane = true;
    maker.inputs = {InputStatus(1, 9)};
    auto makerGone = maker;
    makerGone.reachable = false;

    QTest::newRow("one projector: short texts, sorted")
        << QList<ProjectorState>{p1} << QStringList{u"RGB1"_s, u"RGB2"_s, u"RGB9"_s, u"Digital1"_s};
    QTest::newRow("two: long texts, no duplicates")
        << QList<ProjectorState>{p1, p2}
        << QStringList{u"RGB1"_s, u"RGB2"_s, u"RGB9"_s, u"Video1"_s, u"Digital1"_s, u"Network1"_s};
    QTest::newRow("unreachable projectors give nothing but count")
        << QList<ProjectorState>{maker, gone} << QStringList{u"RGB9(Camera)"_s};
    QTest::newRow("one maker's projector: the camera's short name")
        << QList<ProjectorState>{maker} << QStringList{u"Camera"_s};
    QTest::newRow("the maker's flag applies to every camera input")
        << QList<ProjectorState>{p1, maker}
        << QStringList{u"RGB1"_s, u"RGB2"_s, u"RGB9(Camera)"_s, u"Digital1"_s};
    QTest::newRow("an unreachable maker's projector sets no flag")
        << QList<ProjectorState>{p1, makerGone}
        << QStringList{u"RGB1"_s, u"RGB2"_s, u"RGB9"_s, u"Digital1"_s};
    // Class 2 terminal names beside the text, when the projectors that name an input agree.
    auto named = p2;
    named.class2.result = 0;
    named.class2.inputNames = {{InputStatus(1, 1), u"Computer"_s},
                               {InputStatus(5, 1), u"HDBaseT"_s}};
    auto otherName = p1;
    otherName.class2.result = 0;
    otherName.class2.inputNames = {{InputStatus(1, 1), u"VGA"_s}};
    QTest::newRow("class 2 names, one projector")
        << QList<ProjectorState>{named}
        << QStringList{u"RGB1 - Computer"_s, u"Video1"_s, u"Network1 - HDBaseT"_s};
    QTest::newRow("class 2 names that disagree are left out")
        << QList<ProjectorState>{named, otherName}
        << QStringList{u"RGB1"_s,   u"RGB2"_s,     u"RGB9"_s,
                       u"Video1"_s, u"Digital1"_s, u"Network1 - HDBaseT"_s};
    QTest::newRow("nothing reachable") << QList<ProjectorState>{gone} << QStringList{};
    QTest::newRow("empty selection") << QList<ProjectorState>{} << QStringList{};
}

void TestListRules::inputChoices()
{
    QFETCH(QList<ProjectorState>, selection);
    QFETCH(QStringList, texts);
    const auto choices =
        MakeInputChoices(std::vector<ProjectorState>(selection.begin(), selection.end()));
    QStringList got;
    for (const auto &choice : choices)
        got << choice.text;
    QCOMPARE(got, texts);
}

void TestListRules::inputChoice_matchesByValue()
{
    auto p = Answered(u"p"_s);
    p.isKorvane = true;
    p.inputs = {InputStatus(1, 9), InputStatus(1, 1)};
    p.input = InputStatus(1, 9); // shown as "Camera", found by its value
    const auto choices = MakeInputChoices({p});
    QCOMPARE(FindInputChoice(choices, p), 1);
    p.input = InputStatus(2, 1);
    QCOMPARE(FindInputChoice(choices, p), -1);
    p.input = InputStatus(1, 1);
    p.inputResult = 3;
    QCOMPARE(FindInputChoice(choices, p), -1);
}

QTEST_GUILESS_MAIN(TestListRules)
#include "tst_listrules.moc"
