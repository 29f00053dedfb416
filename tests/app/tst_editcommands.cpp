#include "app/ceditcommands.h"
#include "dialogs/cipaddressctrl.h"
#include "dialogs/cmodfiyipaddressdlg.h"
#include "dialogs/cnewgroupdlg.h"
#include "dialogs/cpasswordmodifydlg.h"
#include "dialogs/cprojectordeletedlg.h"
#include "dialogs/cregroupdlg.h"
#include "dialogs/crenamegroupdlg.h"
#include "model/group.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "res/stringtable.h"
#include "store/cvanteldoc.h"
#include "tests/app/savedregistry.h"
#include "tests/common/scripteduser.h"
#include "tests/dialogs/editdialogfixture.h"
#include "tools/emulator/emulatedprojector.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// This suite's emulators live on 127.63.0.0/24; nothing listens on 127.63.0.200 and above.
QString Address(int host)
{
    return u"127.63.0.%1"_s.arg(host);
}

void TypeInto(QDialog *dialog, const QString &edit, const QString &text)
{
    auto *field = dialog->findChild<QLineEdit *>(edit);
    field->clear();
    QTest::keyClicks(field, text);
}

void Click(QDialog *dialog, const QString &button)
{
    dialog->findChild<QPushButton *>(button)->click();
}

// Selects the item of a group in the Regroup dialog's tree.
void SelectIn(CReGroupDlg *dialog, const QString &path)
{
    dialog->SelectGroup(NodeAt(path));
}

} // namespace

// The Edit tab's commands with the selection of the list and the tree given by the test, a
// real document and settings file, emulated projectors on loopback, and the dialogs answered as
// a user would.
class TestEditCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void refusedOrOpened_data();
    void refusedOrOpened();
    void changePassword_refusedKeepsTheOld_thenTakenAndSaved();
    void changeAddress_silentProjectorMovesAndIsSaved();
    void regroup_createsAndMoves_listSelectionOrTreeGroup();
    void renameGroup_takenNameAsksAgain_thenSaved();
    void remove_data();
    void remove();

private:
    // The registry of every test: groups /Hall, /Hall/Stage and /Empty; projectors /Open (no
    // password), /Locked (asks for "pw", registered without), /Silent (nothing answers) and
    // /Hall/Left; each refreshed once.
    void Build();
    std::vector<ProjectorNode *> Nodes(const QStringList &paths) const;
    QString SettingsText() const;

    std::unique_ptr<QTemporaryDir> m_tempDir;
    QString m_previousDir;
    RecordingMessageSink m_sink;
    std::unique_ptr<CVantelDoc> m_doc;
    std::vector<std::unique_ptr<EmulatedProjector>> m_emulators;
    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<CEditCommands> m_commands;

    std::vector<ProjectorNode *> m_selection;
    Group *m_treeGroup = nullptr;
    bool m_refreshing = false;
    std::vector<CEditCommands::ViewUpdate> m_updates;
    int m_released = 0;
};

void TestEditCommands::initTestCase()
{
    SetStringLanguage(StringLanguage::English);
    m_previousDir = QDir::currentPath();
}

void TestEditCommands::init()
{
    m_tempDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tempDir->isValid());
    QDir::setCurrent(m_tempDir->path());
    SetUserMessageSink(&m_sink);
    QCOMPARE(ProjectorManager::InitProjectors(), 0);
    const QString settings = m_tempDir->filePath(u"lumarin.ini"_s);
    QFile file(settings);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Property]\r\nRefreshInterval=5\r\nTimeout=1\r\n");
    file.close();
    m_doc = std::make_unique<CVantelDoc>(settings);

    m_window = std::make_unique<QWidget>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_selection.clear();
    m_treeGroup = nullptr;
    m_refreshing = false;
    m_updates.clear();
    m_released = 0;

    CEditCommands::ViewAccess view;
    view.listSelection = [this] { return m_selection; };
    view.treeGroup = [this] { return m_treeGroup; };
    view.displayAllText = [] { return u"Display all"_s; };
    view.refreshing = [this] { return m_refreshing; };
    view.releaseNodes = [this] { ++m_released; };
    view.update = [this](const CEditCommands::ViewUpdate &update) { m_updates.push_back(update); };
    m_commands = std::make_unique<CEditCommands>(*m_doc, *ProjectorManager::GetInstance(),
                                                 m_window.get(), view);
    Build();
    m_sink.TakeIds();
}

void TestEditCommands::cleanup()
{
    m_commands.reset();
    m_window.reset();
    m_doc.reset();
    m_emulators.clear();
    SetUserMessageSink(nullptr);
    QDir::setCurrent(m_previousDir);
    m_tempDir.reset();
}

void TestEditCommands::Build()
{
    const auto start = [this](int host, const char *name, const char *password) {
        EmulatorConfig config;
        config.address = Address(host).toStdString();
        config.name = name;
        config.password = password;
        auto emulator = std::make_unique<EmulatedProjector>(config);
        std::string error;
        if (!emulator->start(&error))
            qWarning("emulator: %s", error.c_str());
        m_emulators.push_back(std::move(emulator));
    };
    start(1, "Open", "");
    start(2, "Locked", "pw");
    start(3, "Left", "");
    start(4, "Lobby", ""); // an address a projector can move to

    ProjectorManager &manager = *ProjectorManager::GetInstance();
    Group *hall = manager.AddGroupTo(manager.GetRoot(), std::make_unique<Group>(u"Hall"_s));
    manager.AddGroupTo(hall, std::make_unique<Group>(u"Stage"_s));
    manager.AddGroupTo(manager.GetRoot(), std::make_unique<Group>(u"Empty"_s));
    const auto add = [&manager](const QString &name, int host, const QString &path) {
        manager.AddProjector(
            std::make_unique<Projector>(name, Address(host), QString(), u"M"_s, path));
    };
    add(u"Open"_s, 1, u"/"_s);
    add(u"Locked"_s, 2, u"/"_s);
    add(u"Silent"_s, 200, u"/"_s);
    add(u"Left"_s, 3, u"/Hall"_s);
    for (Projector *projector : m_doc->GetProjectors())
        m_doc->RefreshProjector(projector, true);
    m_doc->SaveSettings();
}

std::vector<ProjectorNode *> TestEditCommands::Nodes(const QStringList &paths) const
{
    std::vector<ProjectorNode *> nodes;
    for (const QString &path : paths)
        nodes.push_back(NodeAt(path));
    return nodes;
}

QString TestEditCommands::SettingsText() const
{
    QFile file(m_doc->GetSettingsPath());
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
}

void TestEditCommands::refusedOrOpened_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("selection");
    QTest::addColumn<QString>("treeGroup"); // empty: "Display all"
    QTest::addColumn<bool>("refreshing");
    QTest::addColumn<QString>("message"); // shown by the command; empty: none
    QTest::addColumn<QString>("dialog");  // the dialog that opens; empty: none

    const QString none;
    const QStringList nothing;
    const auto row = [&](const char *name, const char *command, const QStringList &selection,
                         const QString &message, const QString &dialog,
                         const QString &tree = QString(), bool refreshing = false) {
        QTest::newRow(name) << QString::fromLatin1(command) << selection << tree << refreshing
                            << message << dialog;
    };
    const QString noProjector = u"No projector is selected."_s;
    const QString selectOne = u"Select only one projector."_s;
    const QString noNeed =
        u"Communication can be conducted with the specified projector and there is no need for a change."_s;
    const QString silent = u"Communication cannot be conducted with the specified projector(s)."_s;

    row("password: nothing", "password", nothing, noProjector, none);
    row("password: two rows", "password", {u"/Open"_s, u"/Locked"_s}, selectOne, none);
    row("password: a group", "password", {u"/Hall"_s}, noProjector, none);
    row("password: authenticated", "password", {u"/Open"_s}, noNeed, none);
    row("password: silent", "password", {u"/Silent"_s}, silent, none);
    row("password: refused before", "password", {u"/Locked"_s}, none, u"CPasswordModifyDlg"_s);
    row("address: nothing", "address", nothing, noProjector, none);
    row("address: answering", "address", {u"/Open"_s}, noNeed, none);
    row("address: refused password", "address", {u"/Locked"_s}, noNeed, none);
    row("address: silent", "address", {u"/Silent"_s}, none, u"CModfiyIPAddressDlg"_s);
    row("rename: two groups", "rename", {u"/Hall"_s, u"/Empty"_s}, u"Select only one group."_s,
        none);
    row("rename: a projector", "rename", {u"/Open"_s}, u"Select only one group."_s, none);
    row("rename: group row", "rename", {u"/Hall"_s}, none, u"CRenameGroupDlg"_s, u"/Empty"_s);
    row("rename: tree group", "rename", nothing, none, u"CRenameGroupDlg"_s, u"/Hall/Stage"_s);
    row("rename: root", "rename", nothing, u"\"Root\" cannot be renamed."_s, none, u"/"_s);
    row("rename: display all", "rename", nothing, u"\"Display all\" cannot be renamed."_s, none);
    row("delete: nothing", "delete", nothing, u"No projector or group is selected."_s, none);
    row("delete: during a refresh", "delete", {u"/Open"_s},
        u"The operation is invalid. Please wait for a while until refreshing is completed."_s, none,
        QString(), true);
    row("delete: a projector", "delete", {u"/Open"_s}, none, u"CProjectorDeleteDlg"_s);
    row("regroup: display all", "regroup", nothing, none, u"CReGroupDlg"_s);
}

// A refused selection says why and opens nothing; an accepted one opens its dialog. Either
// way, with the dialog cancelled, the registry and the settings file stay as they were.
void TestEditCommands::refusedOrOpened()
{
    QFETCH(QString, command);
    QFETCH(QStringList, selection);
    QFETCH(QString, treeGroup);
    QFETCH(bool, refreshing);
    QFETCH(QString, message);
    QFETCH(QString, dialog);

    m_selection = Nodes(selection);
    m_treeGroup = treeGroup.isEmpty() ? nullptr : static_cast<Group *>(NodeAt(treeGroup));
    m_refreshing = refreshing;
    const QStringList before = RegistryLines();
    const QString file = SettingsText();

    QString opened;
    ScriptedUser user({[&opened] {
        auto *modal = ScriptedUser::Modal<QDialog>();
        if (!modal)
            return false;
        opened = QString::fromLatin1(modal->metaObject()->className());
        modal->reject();
        return true;
    }});
    if (command == u"password")
        m_commands->ChangePassword();
    else if (command == u"address")
        m_commands->ChangeIPAddress();
    else if (command == u"rename")
        m_commands->RenameGroup();
    else if (command == u"delete")
        m_commands->Delete();
    else
        m_commands->Regroup();

    QCOMPARE(m_sink.Take(), message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(opened, dialog);
    QVERIFY(!m_commands->IsBusy());
    QCOMPARE(RegistryLines(), before);
    QCOMPARE(SettingsText(), file);
    QVERIFY(m_updates.empty());
    QCOMPARE(m_released, 0);
}

void TestEditCommands::changePassword_refusedKeepsTheOld_thenTakenAndSaved()
{
    auto *locked = static_cast<Projector *>(NodeAt(u"/Locked"_s));
    m_selection = {locked};
    QSignalSpy finished(m_commands.get(), &CEditCommands::finished);
    bool keptOld = false;
    ScriptedUser user({
        ScriptedUser::OnModal<CPasswordModifyDlg>([](CPasswordModifyDlg *dialog) {
            TypeInto(dialog, u"1043"_s, u"wrong"_s);
            Click(dialog, u"1"_s);
        }),
        // The refused try leaves the dialog open with the old password back.
        [this, locked, &keptOld] {
            auto *dialog = ScriptedUser::Modal<CPasswordModifyDlg>();
            if (!dialog || dialog->IsBusy())
                return false;
            keptOld = m_sink.TakeIds() == QList<int>{317} && locked->GetPassword().isEmpty();
            TypeInto(dialog, u"1043"_s, u"pw"_s);
            Click(dialog, u"1"_s);
            return true;
        },
    });
    m_commands->ChangePassword();
    QVERIFY(finished.count() == 1 || finished.wait(10000));
    QVERIFY(user.IsDone());
    QVERIFY(keptOld);
    QCOMPARE(m_sink.TakeIds(), QList<int>{318});

    QCOMPARE(locked->GetPassword(), u"pw"_s);
    QVERIFY(locked->GetState().authenticated); // read again after the change
    QVERIFY(
        SavedRegistry(m_doc->GetSettingsPath()).contains(u"/Locked @"_s + Address(2) + u" pw"_s));
    QCOMPARE(m_updates.size(), size_t(1));
    QVERIFY(m_updates[0].resetList && m_updates[0].rebuildList && m_updates[0].rebuildEvents);
    QVERIFY(!m_updates[0].rebuildTree);
}

void TestEditCommands::changeAddress_silentProjectorMovesAndIsSaved()
{
    auto *silent = static_cast<Projector *>(NodeAt(u"/Silent"_s));
    QCOMPARE(silent->GetState().connectResult, -1);
    m_selection = {silent};
    QSignalSpy finished(m_commands.get(), &CEditCommands::finished);
    const auto confirm = [](const QString &address) {
        return ScriptedUser::OnModal<CModfiyIPAddressDlg>([address](CModfiyIPAddressDlg *dialog) {
            dialog->findChild<CIpAddressCtrl *>(u"1047"_s)->SetAddress(address);
            Click(dialog, u"1002"_s);
        });
    };
    const auto idle = [] {
        auto *dialog = ScriptedUser::Modal<CModfiyIPAddressDlg>();
        return dialog && !dialog->IsBusy();
    };
    ScriptedUser user({
        confirm(Address(200)), // its own address: 316
        idle,
        confirm(Address(4)), // "Lobby" answers there
        idle,
        ScriptedUser::OnModal<CModfiyIPAddressDlg>([](CModfiyIPAddressDlg *dialog) {
            if (dialog->findChild<QPushButton *>(u"1"_s)->isEnabled())
                Click(dialog, u"1"_s);
        }),
    });
    m_commands->ChangeIPAddress();
    QVERIFY(finished.count() == 1 || finished.wait(10000));
    QVERIFY(user.IsDone());
    QCOMPARE(m_sink.TakeIds(), (QList<int>{316, 319}));

    QCOMPARE(silent->GetIPAddress(), Address(4));
    QCOMPARE(silent->GetName(), u"Lobby"_s);
    QCOMPARE(silent->GetState().connectResult, 0); // refreshed at the new address
    const QStringList saved = SavedRegistry(m_doc->GetSettingsPath());
    QVERIFY2(saved.contains(u"/Lobby @"_s + Address(4)), qPrintable(saved.join(u", "_s)));
    QVERIFY(!saved.join(u' ').contains(Address(200)));
    QCOMPARE(m_updates.size(), size_t(1));
    QVERIFY(m_updates[0].rebuildList && m_updates[0].rebuildEvents);
}

void TestEditCommands::regroup_createsAndMoves_listSelectionOrTreeGroup()
{
    // Two rows: a group "Rear" is created inside /Hall, and both move into it.
    m_selection = Nodes({u"/Open"_s, u"/Locked"_s});
    ScriptedUser user({
        // Create Group opens its own modal loop; the next steps run inside it.
        ScriptedUser::ClickInModal<CReGroupDlg>(
            u"1048"_s, [](CReGroupDlg *dialog) { SelectIn(dialog, u"/Hall"_s); }),
        ScriptedUser::OnModal<CNewGroupDlg>([](CNewGroupDlg *dialog) {
            TypeInto(dialog, u"1049"_s, u"Rear"_s);
            Click(dialog, u"1"_s);
        }),
        ScriptedUser::OnModal<CReGroupDlg>([](CReGroupDlg *dialog) {
            SelectIn(dialog, u"/Hall/Rear"_s);
            Click(dialog, u"1"_s);
        }),
    });
    m_commands->Regroup();
    QVERIFY(user.IsDone());
    QStringList expected = {u"/Empty"_s,
                            u"/Hall/Left @"_s + Address(3),
                            u"/Hall/Rear"_s,
                            u"/Hall/Rear/Locked @"_s + Address(2),
                            u"/Hall/Rear/Open @"_s + Address(1),
                            u"/Hall/Stage"_s,
                            u"/Hall"_s,
                            u"/Silent @"_s + Address(200)};
    expected.sort();
    QCOMPARE(SavedRegistry(m_doc->GetSettingsPath()), expected);
    QCOMPARE(m_updates.size(), size_t(1));
    QVERIFY(m_updates[0].rebuildTree && m_updates[0].select);
    QCOMPARE(m_updates[0].selectNode, NodeAt(u"/Hall/Rear/Open"_s));

    // No rows: the tree's group is what moves.
    m_selection.clear();
    m_treeGroup = static_cast<Group *>(NodeAt(u"/Empty"_s));
    ScriptedUser second({ScriptedUser::OnModal<CReGroupDlg>([](CReGroupDlg *dialog) {
        SelectIn(dialog, u"/Hall"_s);
        Click(dialog, u"1"_s);
    })});
    m_commands->Regroup();
    QVERIFY(second.IsDone());
    QVERIFY(SavedRegistry(m_doc->GetSettingsPath()).contains(u"/Hall/Empty"_s));
    QCOMPARE(m_updates.back().selectNode, NodeAt(u"/Hall/Empty"_s));
}

void TestEditCommands::renameGroup_takenNameAsksAgain_thenSaved()
{
    m_treeGroup = static_cast<Group *>(NodeAt(u"/Hall"_s));
    ScriptedUser user({
        ScriptedUser::OnModal<CRenameGroupDlg>([](CRenameGroupDlg *dialog) {
            TypeInto(dialog, u"1051"_s, u"Empty"_s); // a sibling has it
            Click(dialog, u"1"_s);
        }),
        ScriptedUser::OnModal<CRenameGroupDlg>([](CRenameGroupDlg *dialog) {
            TypeInto(dialog, u"1051"_s, u"Main"_s);
            Click(dialog, u"1"_s);
        }),
    });
    m_commands->RenameGroup();
    QVERIFY(user.IsDone());
    QCOMPARE(m_sink.TakeIds(), QList<int>{325});
    const QStringList saved = SavedRegistry(m_doc->GetSettingsPath());
    QVERIFY2(saved.contains(u"/Main/Stage"_s) && saved.contains(u"/Main/Left @"_s + Address(3)),
             qPrintable(saved.join(u", "_s)));
    QVERIFY(!saved.join(u' ').contains(u"Hall"_s));
    QCOMPARE(m_updates.size(), size_t(1));
    QVERIFY(m_updates[0].rebuildTree && m_updates[0].rebuildList && m_updates[0].select);
    QCOMPARE(m_updates[0].selectNode, NodeAt(u"/Main"_s));
}

void TestEditCommands::remove_data()
{
    QTest::addColumn<QStringList>("selection");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QStringList>("gone"); // lines of the saved registry that go

    const QString left = u"/Hall/Left @"_s + Address(3);
    QTest::newRow("a group and a projector")
        << QStringList{u"/Hall"_s, u"/Open"_s} << true
        << QStringList{u"/Hall"_s, u"/Hall/Stage"_s, left, u"/Open @"_s + Address(1)};
    // The list never shows both, but a node inside a selected group must not be removed twice.
    QTest::newRow("a group and a node inside it")
        << QStringList{u"/Hall"_s, u"/Hall/Left"_s} << true
        << QStringList{u"/Hall"_s, u"/Hall/Stage"_s, left};
    QTest::newRow("cancelled") << QStringList{u"/Open"_s} << false << QStringList{};
}

void TestEditCommands::remove()
{
    QFETCH(QStringList, selection);
    QFETCH(bool, confirm);
    QFETCH(QStringList, gone);

    m_selection = Nodes(selection);
    QStringList expected = SavedRegistry(m_doc->GetSettingsPath());
    for (const QString &line : std::as_const(gone))
        QVERIFY(expected.removeOne(line));
    const int projectorsBefore = int(m_doc->GetProjectors().size());

    ScriptedUser user({ScriptedUser::OnModal<CProjectorDeleteDlg>(
        [confirm](auto *dialog) { Click(dialog, confirm ? u"1"_s : u"2"_s); })});
    m_commands->Delete();
    QVERIFY(user.IsDone());
    QCOMPARE(SavedRegistry(m_doc->GetSettingsPath()), expected);
    if (!confirm) {
        QVERIFY(m_updates.empty());
        QCOMPARE(m_released, 0);
        QCOMPARE(int(m_doc->GetProjectors().size()), projectorsBefore);
        return;
    }
    QCOMPARE(m_released, 1);
    QCOMPARE(m_updates.size(), size_t(1));
    QVERIFY(m_updates[0].rebuildTree && m_updates[0].resetList && m_updates[0].rebuildList);
    for (const QString &path : std::as_const(selection))
        QVERIFY(!NodeAt(path));
}

QTEST_MAIN(TestEditCommands)
#include "tst_editcommands.moc"
