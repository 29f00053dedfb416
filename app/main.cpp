// lumarin: the main window over the register of projectors.

#include "app/apptimings.h"
#include "app/cmainframe.h"
#include "app/cvantelapp.h"
#include "platform/instance_lock.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

// --help and --version are answered before the single-instance lock and without a display, so
// that they work while the window runs and on a machine without one. nullptr: open the window.
const char *EarlyAnswer(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            break;
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return "Usage: lumarin [--settings FILE] [IMPORT]\n"
                   "\n"
                   "Opens the main window over a register of PJLink network projectors.\n"
                   "One copy runs per user; a second start ends at once.\n"
                   "\n"
                   "Options:\n"
                   "  --settings FILE  use FILE as the settings file\n"
                   "  IMPORT           import this settings file at the start, as File > Open\n"
                   "  -h, --help       show this help and exit\n"
                   "  --version        show the version and exit\n";
        if (std::strcmp(argv[i], "--version") == 0)
            return "lumarin " LUMARIN_VERSION "\n";
    }
    return nullptr;
}

} // namespace

int main(int argc, char *argv[])
{
    if (const char *answer = EarlyAnswer(argc, argv)) {
        std::fputs(answer, stdout);
        return 0;
    }
    // A second copy ends here, before any window, file or library call.
    std::unique_ptr<platform::InstanceLock> lock =
        CVantelApp::AcquireInstance(QString::fromLocal8Bit(argc > 0 ? argv[0] : "lumarin"));
    if (!lock)
        return 0;

    QApplication qapp(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false); // the frame may hide and close later
    bool ok = false;
    if (const int splash = qEnvironmentVariableIntValue("LUMARIN_SPLASH_MS", &ok); ok)
        Timings().splashMs = splash;

    CVantelApp app(std::move(lock));
    if (!app.InitInstance(CVantelApp::ParseCommandLine(QApplication::arguments())))
        return 1;
    QObject::connect(app.GetFrame(), &CMainFrame::closed, &qapp, &QApplication::quit,
                     Qt::QueuedConnection);
    const int status = QApplication::exec();
    app.ExitInstance();
    return status;
}
