#pragma once

#include <QDialog>

// The splash window shown while the application loads: a caption-less pop-up centred on the
// screen with the title picture, the program's name, "PJLink Class 1", its version, "Now
// loading..." and the application icon. Modeless; the main view creates and closes it.
class CTitleDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CTitleDlg(QWidget *parent = nullptr);

private:
    void setFrameStyle();

protected:
    void showEvent(QShowEvent *event) override;
};
