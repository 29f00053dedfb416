// The main window and the status notifications of Class 2 projectors: a notification shows in
// the list, the tree and the event list without a refresh; garbage does not stall the window;
// a taken port is said once and the refresh goes on.

#include "app/apptimings.h"
#include "app/cactioneventlistctrl.h"
#include "app/cgrouptreectrl.h"
#include "app/cprojectorlistctrl.h"
#include "app/cvantelview.h"
#include "model/refreshscheduler.h"
#include "app/statusnotifications.h"
#include "model/group.h"
#include "res/stringids.h"
#include "res/viewlayout.h"
#include "tests/common/loopbackudp.h"
#include "tests/app/appfixture.h"

#include <QTest>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int kCycleMs = 20000;

QString Cell(const CProjectorListCtrl &list, const QString &name, int column)
{
    for (int row = 0; row < list.RowCount(); ++row) {
        if (list.topLevelItem(row)->text(COLUMN_NAME) == name)
            return list.topLevelItem(row)->text(column);
    }
    return u"<no row>"_s;
}

// Event list rows whose text contains part.
int EventRows(const CActionEventListCtrl &events, const QString &part)
{
    int count = 0;
    for (int row = 0; row < events.topLevelItemCount(); ++row) {
        const QTreeWidgetItem *item = events.topLevelItem(row);
        for (int column = 0; column < item->columnCount(); ++column) {
            if (item->text(column).contains(part)) {
                ++count;
                break;
            }
        }
    }
    return count;
}

// A UDP socket on loopback: sends datagrams, or holds a port.
class UdpSocket
{
public:
    explicit UdpSocket(int port = 0)
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(quint16(port));
        m_bound = ::bind(m_fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
    }
    ~UdpSocket() { ::close(m_fd); }
    UdpSocket(const UdpSocket &) = delete;
    UdpSocket &operator=(const UdpSocket &) = delete;
    bool IsBound() const { return m_bound; }
    void Send(int port, const QByteArray &bytes) { SendToLoopback(m_fd, port, bytes); }

private:
    int m_fd = -1;
    bool m_bound = false;
};

// Starts the window on one Class 2 projector, "Stage" in group, that notifies the window's UDP
// port; nullptr when the projector or the window could not start.
EmulatedProjector *StartOnNotifyingStage(AppFixture &fixture, const QString &group)
{
    EmulatorConfig config;
    config.pjlinkClass = 2;
    config.notifyPort = fixture.UdpPort();
    EmulatedProjector *stage = fixture.Emulate(u"Stage"_s, config);
    if (!stage)
        return nullptr;
    fixture.WriteSettings({{u"Stage"_s, QString::fromStdString(stage->config().address), group}});
    return fixture.Start() ? stage : nullptr;
}

} // namespace

class TestStatusNotifications : public QObject
{
    Q_OBJECT

private slots:
    void init() { Timings() = AppTimings(); }
    void notification_showsInListTreeAndEventsWithoutRefresh();
    void garbageFlood_windowKeepsAnswering();
    void portTaken_oneEventLine_refreshGoesOn();
};

void TestStatusNotifications::notification_showsInListTreeAndEventsWithoutRefresh()
{
    AppFixture fixture;
    EmulatedProjector *stage = StartOnNotifyingStage(fixture, u"/A"_s);
    QVERIFY(stage);
    CVantelView *view = fixture.View();
    QTRY_VERIFY_WITH_TIMEOUT(CycleEnded(*view), kCycleMs);
    QVERIFY(view->GetNotifications() && view->GetNotifications()->Listener().IsRunning());
    auto *list = fixture.Control<CProjectorListCtrl>(IDC_PROJECTOR_LIST);
    auto *tree = fixture.Control<CGroupTreeCtrl>(IDC_GROUP_TREE);
    auto *events = fixture.Control<CActionEventListCtrl>(IDC_EVENT_LIST);
    QTRY_COMPARE(Cell(*list, u"Stage"_s, COLUMN_POWER), LoadString(200)); // Off
    Group *a = tree->NodeOfItem(tree->RootItem())->FindGroupByPath(u"/A"_s);
    const int markerBefore = tree->ItemOfGroup(a)->data(0, CGroupTreeCtrl::ImageIndexRole).toInt();
    const int errorsBefore = EventRows(*events, LoadString(MSG_ERROR_OCCURRED));
    const int cycles = view->GetScheduler()->CyclesStarted();

    stage->update([](EmulatorConfig &c) {
        c.power = 1;
        c.errors = {0, 0, 2, 0, 0, 0};
    });
    QTRY_COMPARE(Cell(*list, u"Stage"_s, COLUMN_POWER), LoadString(201)); // On
    QTRY_COMPARE(EventRows(*events, LoadString(MSG_ERROR_OCCURRED)), errorsBefore + 1);
    QTRY_VERIFY(tree->ItemOfGroup(a)->data(0, CGroupTreeCtrl::ImageIndexRole).toInt() !=
                markerBefore);
    QVERIFY(!Cell(*list, u"Stage"_s, COLUMN_ERROR).isEmpty());
    QCOMPARE(view->GetScheduler()->CyclesStarted(), cycles); // no refresh did it
}

// Garbage is read and dropped on the listener's thread; the window goes on painting and
// answering, and a notification after the flood still shows. (How long the window stalls is
// measured in bench_class2udp, not here.)
void TestStatusNotifications::garbageFlood_windowKeepsAnswering()
{
    AppFixture fixture;
    EmulatedProjector *stage = StartOnNotifyingStage(fixture, u"/"_s);
    QVERIFY(stage);
    CVantelView *view = fixture.View();
    QTRY_VERIFY_WITH_TIMEOUT(CycleEnded(*view), kCycleMs);
    auto *list = fixture.Control<CProjectorListCtrl>(IDC_PROJECTOR_LIST);

    UdpSocket flood;
    const QByteArray garbage[] = {QByteArray("%2POWR=7\r"), QByteArray(700, '%'),
                                  QByteArray("%2ERST=0000000000\r"), QByteArray("\xff\xfe", 2)};
    NotificationListener &listener = view->GetNotifications()->Listener();
    const quint64 handled = listener.HandledCount(); // the link-up of the first refresh
    bool timerFired = false;
    QTimer::singleShot(0, view, [&] { timerFired = true; });
    for (int i = 0; i < 10000; ++i)
        flood.Send(fixture.UdpPort(), garbage[i % 4]);
    QTRY_VERIFY(timerFired);
    QTRY_VERIFY(listener.GarbageCount() + listener.DroppedCount() > 0);
    QCOMPARE(listener.HandledCount(), handled);

    QTest::qWait(1100); // past the second the flood filled
    stage->update([](EmulatorConfig &c) { c.power = 1; });
    QTRY_COMPARE(Cell(*list, u"Stage"_s, COLUMN_POWER), LoadString(201));
}

void TestStatusNotifications::portTaken_oneEventLine_refreshGoesOn()
{
    AppFixture fixture;
    UdpSocket holder(fixture.UdpPort());
    QVERIFY(holder.IsBound());
    EmulatedProjector *hall = fixture.Emulate(u"Hall"_s);
    QVERIFY(hall);
    fixture.WriteSettings({{u"Hall"_s, QString::fromStdString(hall->config().address), u"/"_s}});
    QVERIFY(fixture.Start());
    CVantelView *view = fixture.View();
    QTRY_VERIFY_WITH_TIMEOUT(CycleEnded(*view), kCycleMs);
    auto *list = fixture.Control<CProjectorListCtrl>(IDC_PROJECTOR_LIST);
    auto *events = fixture.Control<CActionEventListCtrl>(IDC_EVENT_LIST);
    const QString line =
        FormatText(LoadString(MSG_UDP_PORT_TAKEN), {QString::number(fixture.UdpPort())});
    QTRY_COMPARE(EventRows(*events, line), 1);
    QVERIFY(!view->GetNotifications()->Listener().IsRunning());
    QTRY_COMPARE(Cell(*list, u"Hall"_s, COLUMN_POWER), LoadString(200));
    // The next cycle reads the projector again, and says nothing more about the port.
    hall->update([](EmulatorConfig &c) { c.power = 1; });
    view->GetScheduler()->RequestCycle();
    QTRY_COMPARE_WITH_TIMEOUT(Cell(*list, u"Hall"_s, COLUMN_POWER), LoadString(201), kCycleMs);
    QCOMPARE(EventRows(*events, line), 1);
}

QTEST_MAIN(TestStatusNotifications)
#include "tst_statusnotifications.moc"
