#pragma once

#include "res/stringtable.h"
#include "tools/emulator/emulatedprojector.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

class CMainFrame;
class CProjectorListCtrl;
class CVantelApp;
class CVantelView;

// The view's refresh cycle and any command's worker have ended.
bool CycleEnded(const CVantelView &view);
// The names the projector list shows, row by row.
QStringList ListNames(const CProjectorListCtrl &list);

// The application started in this process on a settings file of a temporary directory, with
// the splash wait and the close poll shortened and every message box answered in advance.
class AppFixture
{
public:
    AppFixture();
    ~AppFixture();

    // A running emulator on a loopback address of its own (127.61.N.1 to .199, N from 100 to 199
    // by process; addresses on 127.61.0.0/24 stay silent); nullptr and a
    // warning when it cannot start.
    EmulatedProjector *Emulate(const QString &name, EmulatorConfig config = EmulatorConfig());

    struct Registered
    {
        QString name;
        QString address;
        QString groupPath; // "/", "/A" or "/A/B"; groups are created as needed
    };
    // Writes the settings file: these projectors, the information field shown or not.
    void WriteSettings(const std::vector<Registered> &projectors, bool showInformation = true);
    QString SettingsPath() const;
    QString SettingsText() const;

    // Starts the application in a language; false when its start-up ended early. With wait, it
    // returns once the main window shows.
    bool Start(StringLanguage language = StringLanguage::English, bool wait = true,
               const QString &importFile = QString());
    void Stop();

    CVantelApp *App() const { return m_app.get(); }
    CMainFrame *Frame() const;
    CVantelView *View() const;
    // A control of the view by its id.
    template <class T = QWidget> T *Control(int id) const;

    QStringList TakeMessages();
    // The controller's UDP port of this window (LUMARIN_UDP_PORT): a free one of loopback, so
    // that the window never meets a real one on 4352.
    int UdpPort() const { return m_udpPort; }

private:
    QString m_previousDir;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::vector<std::unique_ptr<EmulatedProjector>> m_emulators;
    std::unique_ptr<CVantelApp> m_app;
    int m_nextHost = 1;
    int m_udpPort = 0;
};

#include "app/cvantelview.h"

template <class T> T *AppFixture::Control(int id) const
{
    return View()->findChild<T *>(QString::number(id));
}
