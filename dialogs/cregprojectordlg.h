#pragma once

#include <QDialog>

#include <functional>
#include <optional>

class CAutoSearchPropertyPage;
class CIpSpecifyPropertyPage;
class ProjectorManager;
class QPushButton;
class QTabWidget;

// "Register Projector": the one way new projectors enter the registry, as a sheet of two pages,
// "Auto Search" and "Specify IP Address". Only an OK button; it, Escape and the close box close
// the sheet. While a page is busy with the network the close waits: a running search is
// cancelled, the page asks and tells nothing more, and the sheet closes when the page is idle. The
// sheet changes the registry but never the settings file: its owner rebuilds and saves once it has
// closed. User-interface thread.
class CRegProjectorDlg : public QDialog
{
    Q_OBJECT

public:
    // isRefreshing tells whether the owner's status refresh is running (Auto search is refused
    // then); none means never.
    CRegProjectorDlg(QWidget *owner, ProjectorManager &manager,
                     std::function<bool()> isRefreshing = {});
    ~CRegProjectorDlg() override;

    CAutoSearchPropertyPage *AutoSearchPage() const { return m_autoSearch; }
    CIpSpecifyPropertyPage *IpSpecifyPage() const { return m_ipSpecify; }
    QTabWidget *Tabs() const { return m_tabs; }

    // While a page waits for the network (it says so by busyChanged): the busy cursor shows,
    // the tabs and OK take no input and a close waits; the window keeps painting.
    bool IsBusy() const;

public slots:
    void done(int result) override;

private:
    void OnTabChanged(int index);
    void OnPageBusy(bool busy);

    int m_busy = 0;
    std::optional<int> m_pendingResult; // a close asked for while a page was busy
    QTabWidget *m_tabs = nullptr;
    QPushButton *m_ok = nullptr; // 1
    CAutoSearchPropertyPage *m_autoSearch = nullptr;
    CIpSpecifyPropertyPage *m_ipSpecify = nullptr;
};
