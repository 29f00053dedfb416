#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QKeySequence>
#include <QTimer>

#include <map>

class CHelpWindow;
class CVantelDoc;
class CVantelView;
class QAction;
class QMenu;

// The main window: menus and shortcuts, the smallest client size, centring on the primary screen,
// and the close handling. The view fills it.
class CMainFrame : public QMainWindow
{
    Q_OBJECT

public:
    explicit CMainFrame(CVantelDoc &doc, QWidget *parent = nullptr);
    ~CMainFrame() override;

    CVantelView *GetView() const { return m_view; }
    // A menu command by its id ("57601", "32781", ...).
    QAction *FindCommand(int id) const;

    void OnSearchTopics();
    void OnAbout();
    void OnFileOpen();
    void OnFileSaveAs();
    void OnFileNew();
    // File > Exit, and a request to end from outside (SIGTERM, SIGHUP): the close handling.
    void OnAppExit();

signals:
    // The frame has closed for good (after the refresh worker ended, when one was running).
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void CreateMenus();
    // A menu command (menu nullptr: a shortcut only), kept in m_commands under its id.
    QAction *AddCommand(QMenu *menu, int id, const QString &text,
                        const QKeySequence &shortcut = QKeySequence());
    void UpdateToolMenu();
    void CenterOnPrimaryScreen();
    void PollWorkerForClose();
    void OpenSettingsFile(const QString &path);

    CVantelDoc &m_doc;
    CVantelView *m_view = nullptr;
    std::map<int, QAction *> m_commands; // filled once by CreateMenus
    QAction *m_showInformation = nullptr;
    QAction *m_onlyErrors = nullptr;
    QPointer<CHelpWindow> m_help;
    QTimer m_closePoll;
    bool m_closing = false; // hidden, waiting for the refresh worker
    bool m_closed = false;
    bool m_centred = false; // once, at the first show: a restore keeps where the user put it
};
