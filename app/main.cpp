// lumarin: the main window over the register of projectors.

#include "app/apptimings.h"
#include "app/cmainframe.h"
#include "app/cvantelapp.h"
#include "platform/instance_lock.h"

#include <QApplication>

int main(int argc, char *argv[])
{
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
