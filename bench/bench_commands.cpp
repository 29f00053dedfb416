// Power "On" from the main window to a group of 100 projectors, 20 of them silent, in a network
// namespace of the benchmark's own (root only): the time from the click to the rebuilt list,
// against one projector commanded alone the same way (the 3000 ms wait plus that projector's
// exchanges), and the longest stall of the user-interface thread meanwhile (the largest gap
// between two ticks of a 5 ms timer on it).

#include "app/cprojectorcommands.h"
#include "app/cprojectorlistctrl.h"
#include "app/cgrouptreectrl.h"
#include "app/cvantelview.h"
#include "bench/namespacefleet.h"
#include "model/group.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "res/viewlayout.h"
#include "tests/app/appfixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

// Runs the event loop until done() holds, at most timeoutMs; false on time-out.
template <class Done> bool WaitFor(Done done, int timeoutMs)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
        if (elapsed.elapsed() > timeoutMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

struct Run
{
    double ms = -1;      // click to rebuilt list
    double stallMs = -1; // longest gap between two 5 ms ticks meanwhile
};

// Runs start, then the event loop until done() holds, with a 5 ms timer ticking meanwhile.
template <class Done> Run Measure(const std::function<void()> &start, Done done)
{
    QElapsedTimer sinceTick;
    double stallMs = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        stallMs = std::max(stallMs, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
    });

    QElapsedTimer clock;
    clock.start();
    sinceTick.start();
    ticker.start(5);
    start();
    const bool ended = WaitFor(done, 120000);
    const double ms = clock.nsecsElapsed() / 1e6;
    ticker.stop();
    if (!ended)
        return {};
    // What a tick is late beyond its 5 ms counts.
    return {ms, std::max(0.0, stallMs - 5.0)};
}

// Clicks "On" with the list's selection as it is, and waits for the command's end.
Run PowerOn(CVantelView &view)
{
    CProjectorCommands *commands = view.GetCommands();
    auto *button = view.findChild<QPushButton *>(QString::number(IDC_POWER_ON));
    if (!commands || !button)
        return {};
    bool finished = false;
    const auto connection =
        QObject::connect(commands, &CProjectorCommands::finished, [&] { finished = true; });
    const Run run = Measure([button] { button->click(); }, [&] { return finished; });
    QObject::disconnect(connection);
    return run;
}

// The same ticks with nothing to do: what the machine's scheduler alone costs the thread.
double IdleStallMs(int ms)
{
    QElapsedTimer clock;
    clock.start();
    return Measure([] {}, [&] { return clock.elapsed() >= ms; }).stallMs;
}

int RunInside(const QString &net)
{
    if (!fleet::CheckIsolated())
        return 3;
    auto emulators = fleet::StartEmulators(net);
    if (emulators.empty())
        return 1;
    for (auto &emulator : emulators)
        emulator->update([](EmulatorConfig &c) { c.power = 0; });

    AppFixture fixture; // message boxes answered, settings in a temporary directory
    std::vector<AppFixture::Registered> registered;
    for (int i = 0; i < fleet::kSize; ++i)
        registered.push_back({u"Projector %1"_s.arg(i + 1, 3, 10, QLatin1Char('0')),
                              fleet::Address(net, i), u"/Hall"_s});
    fixture.WriteSettings(registered);
    if (!fixture.Start(StringLanguage::English))
        return 1;
    CVantelView &view = *fixture.View();

    // The first cycle tells which projectors answer; commands go only to those.
    WaitFor([&] { return view.IsRefreshing(); }, 5000);
    if (!WaitFor([&] { return !view.IsRefreshing(); }, 120000)) {
        std::fprintf(stderr, "the first refresh did not end\n");
        return 1;
    }

    // One answering projector alone: the group opened in the tree, its first answering row
    // selected.
    CProjectorListCtrl &list = *view.GetProjectorList();
    Group *root = ProjectorManager::GetInstance()->GetRoot();
    Group *hall = nullptr;
    for (Group *group : root->GetChildGroups())
        hall = group->GetName() == u"Hall"_s ? group : hall;
    if (!hall) {
        std::fprintf(stderr, "no group /Hall\n");
        return 1;
    }
    view.GetGroupTree()->SelectNode(hall);
    QApplication::processEvents();
    list.clearSelection();
    for (int row = 0; row < list.RowCount(); ++row) {
        ProjectorNode *node = list.NodeOfRow(row);
        if (node && node->IsProjector() && static_cast<Projector *>(node)->GetState().reachable) {
            list.topLevelItem(row)->setSelected(true);
            break;
        }
    }
    if (view.GetListSelection().size() != 1) {
        std::fprintf(stderr, "no answering projector to select\n");
        return 1;
    }
    const double idleStallMs = IdleStallMs(3000);
    const Run one = PowerOn(view);

    // The whole group from its row under the root.
    for (auto &emulator : emulators)
        emulator->update([](EmulatorConfig &c) { c.power = 0; });
    view.GetGroupTree()->SelectNode(root);
    QApplication::processEvents();
    list.clearSelection();
    for (int row = 0; row < list.RowCount(); ++row) {
        if (list.NodeOfRow(row) == hall)
            list.topLevelItem(row)->setSelected(true);
    }
    if (view.GetListSelection().size() != 1) {
        std::fprintf(stderr, "the group row could not be selected\n");
        return 1;
    }
    const Run group = PowerOn(view);

    int on = 0;
    for (auto &emulator : emulators) {
        const int power = emulator->config().power;
        on += power == 1 || power == 3 ? 1 : 0;
    }
    fixture.Stop();
    if (one.ms < 0 || group.ms < 0) {
        std::fprintf(stderr, "a command did not end\n");
        return 1;
    }

    std::printf("Power On from the main window, fleet of %d in a namespace (%d silent, the others "
                "answer each query after %d ms):\n",
                fleet::kSize, fleet::SilentCount(), fleet::kAnswerDelayMs);
    std::printf("  one projector    %8.1f ms  (3000 ms wait + its exchanges: the ideal)\n", one.ms);
    std::printf("  group of %d     %8.1f ms  (%.2f x ideal; goal within 1.5x)\n", fleet::kSize,
                group.ms, group.ms / one.ms);
    std::printf("  UI stall         %8.1f ms  one projector, %.1f ms group (goal below 16 ms)\n",
                one.stallMs, group.stallMs);
    std::printf("  idle stall       %8.1f ms  (the same ticks for 3 s with nothing running)\n",
                idleStallMs);
    std::printf("  switched on      %8d of %zu answering projectors\n", on, emulators.size());
    return on == int(emulators.size()) ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString net = fleet::NetworkInside();
    if (!net.isEmpty())
        return RunInside(net);
    return fleet::RunInside(u"lumarin-bench-commands"_s, 300000);
}
