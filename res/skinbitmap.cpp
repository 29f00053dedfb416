#include "res/skinbitmap.h"

#include "res/stringtable.h"

#include <QFile>

QString SkinPicturePath(int id)
{
    const QString language = CurrentStringLanguage() == StringLanguage::Japanese
                                 ? QStringLiteral("ja")
                                 : QStringLiteral("en");
    const QString own = QStringLiteral(":/skin/%1/%2.png").arg(language).arg(id);
    if (QFile::exists(own))
        return own;
    const QString shared = QStringLiteral(":/skin/%1.png").arg(id);
    if (QFile::exists(shared))
        return shared;
    return {};
}

QPixmap LoadSkinBitmap(int id)
{
    const QString path = SkinPicturePath(id);
    return path.isEmpty() ? QPixmap() : QPixmap(path);
}

QImage LoadSkinImage(int id)
{
    const QString path = SkinPicturePath(id);
    return path.isEmpty() ? QImage() : QImage(path);
}

QIcon LoadSkinIcon(int id)
{
    const QString path = SkinPicturePath(id);
    return path.isEmpty() ? QIcon() : QIcon(path);
}

QIcon ApplicationIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString path = QStringLiteral(":/skin/app-%1.png").arg(size);
        if (QFile::exists(path))
            icon.addFile(path, QSize(size, size));
    }
    return icon;
}
