#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// The one way the main window asks for a file name. Tests give the next answers in advance:
// each call then takes the oldest one (an empty name stands for Cancel) without a window.
class CFileDialog
{
public:
    // The chosen file, or an empty string when the user cancelled.
    static QString GetOpenFileName(QWidget *parent, const QString &caption, const QString &filter);
    static QString GetSaveFileName(QWidget *parent, const QString &caption, const QString &filter);

    static void SetNextFileName(const QString &fileName);
    // The filter the last call offered.
    static QString LastFilter();
    static void ClearNextFileNames();
};
