#include "app/cfiledialog.h"

#include <QFileDialog>

namespace {

QStringList &Answers()
{
    static QStringList answers; // user-interface thread only
    return answers;
}

QString &Filter()
{
    static QString filter;
    return filter;
}

} // namespace

QString CFileDialog::GetOpenFileName(QWidget *parent, const QString &caption, const QString &filter)
{
    Filter() = filter;
    if (!Answers().isEmpty())
        return Answers().takeFirst();
    return QFileDialog::getOpenFileName(parent, caption, QString(), filter);
}

QString CFileDialog::GetSaveFileName(QWidget *parent, const QString &caption, const QString &filter)
{
    Filter() = filter;
    if (!Answers().isEmpty())
        return Answers().takeFirst();
    return QFileDialog::getSaveFileName(parent, caption, QString(), filter);
}

void CFileDialog::SetNextFileName(const QString &fileName)
{
    Answers().append(fileName);
}

void CFileDialog::ClearNextFileNames()
{
    Answers().clear();
}

QString CFileDialog::LastFilter()
{
    return Filter();
}
