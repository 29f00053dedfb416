#include "app/titlepanel.h"

#include "res/stringids.h"
#include "res/skinbitmap.h"
#include "app/viewfonts.h"
#include "res/stringtable.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

constexpr int BMP_TITLE = 156;

QLabel *AddLabel(QVBoxLayout *layout, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setAccessibleName(text);
    layout->addWidget(label);
    return label;
}

} // namespace

QVBoxLayout *BuildTitlePanel(QWidget *window)
{
    window->setFont(ViewFont());
    auto *row = new QHBoxLayout(window);
    auto *picture = new QLabel(window);
    picture->setObjectName(QString::number(BMP_TITLE));
    picture->setPixmap(LoadSkinBitmap(BMP_TITLE));
    picture->setAccessibleName(LoadString(STR_APPLICATION_TITLE));
    row->addWidget(picture, 0, Qt::AlignTop);

    auto *texts = new QVBoxLayout;
    row->addLayout(texts, 1);
    QLabel *title = AddLabel(texts, LoadString(STR_APPLICATION_TITLE), window);
    title->setObjectName(QString::number(IDC_TITLE_TEXT));
    title->setFont(TitleFont());
    AddLabel(texts, LoadString(STR_PJLINK_CLASS), window);
    AddLabel(texts, LoadString(STR_VERSION), window);
    return texts;
}
