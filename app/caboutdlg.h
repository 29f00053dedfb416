#pragma once

#include <QDialog>

#include <functional>

class QUrl;

// The About box ("Version Information"): the title picture, the program's name, "PJLink Class
// 1" and its version, with "PJLink Website" and "OK". Modal.
class CAboutDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget *parent = nullptr);

    // "PJLink Website": the standard's public site in the desktop's default browser; the dialog
    // stays open. A failure is told to the user.
    void OnWebsite();

    // How a web address is opened; tests replace it. nullptr restores the desktop's.
    static void SetUrlOpenerForTesting(std::function<bool(const QUrl &)> opener);
};
