#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class CMainFrame;
class CMessageBoxSink;
class CVantelDoc;

namespace platform {
class InstanceLock;
class StopSignals;
} // namespace platform

// The application: the single-instance rule and the start and exit steps around the document,
// the main frame and its view.
//
// Order at start: the instance lock (before anything else, see AcquireInstance), the document
// with its settings, an imported file if the command line names one, the frame and the view's
// initial update with the splash window; the frame shows when that has finished, then the
// network check. At exit: the view, the document (projector manager, library, event log), and
// the lock last.
//
// SIGTERM and SIGHUP close the window as File > Exit does, from the event loop. A process that
// ends by exit() while the application runs (Qt's end when its display goes away) has its
// background work ended first (EndWorkersAtExit); the windows and the document are left as they
// are, and nothing they own is destroyed among the static objects.
class CVantelApp
{
public:
    struct Options
    {
        QString settingsPath; // empty: the executable's own settings file
        QString importFile;   // a file to import as by Open, from the command line
    };

    // The lock of the executable named by argv0's base name; nullptr when another copy holds
    // it. Touches no window, no file but the lock, and no library.
    static std::unique_ptr<platform::InstanceLock> AcquireInstance(const QString &argv0);

    // Parses the command line: an optional file name, and --settings FILE.
    static Options ParseCommandLine(const QStringList &arguments);

    explicit CVantelApp(std::unique_ptr<platform::InstanceLock> lock);
    ~CVantelApp(); // ExitInstance

    CVantelApp(const CVantelApp &) = delete;
    CVantelApp &operator=(const CVantelApp &) = delete;

    // False when the start-up ended early (the file to import could not be opened). The frame
    // becomes visible once the view's initial update has finished, from the event loop.
    bool InitInstance(const Options &options);
    // Destroys the frame, then the document, then releases the lock.
    void ExitInstance();
    // Stops a search, the notification listener and the refresh (waiting for a cycle that
    // runs), and takes the stop signals back; destroys nothing else. For exit() from inside the
    // event loop, where a modal dialog may still be on the stack.
    void EndWorkersAtExit();

    CMainFrame *GetFrame() const { return m_frame.get(); }
    CVantelDoc *GetDocument() const { return m_doc.get(); }

private:
    void OnInitialUpdateFinished();
    void OnStopSignal();

    std::unique_ptr<platform::InstanceLock> m_lock;
    std::unique_ptr<platform::StopSignals> m_stopSignals;
    std::unique_ptr<CMessageBoxSink> m_sink;
    std::unique_ptr<CVantelDoc> m_doc;
    std::unique_ptr<CMainFrame> m_frame;
    bool m_stopRequested = false; // a stop signal came during the start-up
};
