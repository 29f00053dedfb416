#include "app/viewfonts.h"

#include "res/stringids.h"
#include "res/stringtable.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

QFont PixelFont(const QString &face, int points, int weight = QFont::Normal)
{
    QFont font(face);
    font.setPixelSize(PointsToPixels(points));
    font.setWeight(QFont::Weight(weight));
    return font;
}

} // namespace

int PointsToPixels(int points)
{
    return (points * 96 + 36) / 72;
}

void InstallFontSubstitutions()
{
    const QStringList latin{u"DejaVu Sans Condensed"_s, u"DejaVu Sans"_s, u"IPAPGothic"_s,
                            u"IPAGothic"_s};
    const QStringList japanese{u"IPAPGothic"_s, u"IPAGothic"_s, u"DejaVu Sans"_s};
    QFont::insertSubstitutions(u"Tahoma"_s, latin);
    QFont::insertSubstitutions(u"MS UI Gothic"_s, japanese);
}

QFont ViewFont()
{
    const bool japanese = CurrentStringLanguage() == StringLanguage::Japanese;
    return PixelFont(japanese ? u"MS UI Gothic"_s : u"Tahoma"_s, 9);
}

QFont CaptionFont()
{
    return PixelFont(LoadString(STR_CAPTION_FACE), 10, QFont::Bold);
}

QFont TitleFont()
{
    return PixelFont(LoadString(STR_CAPTION_FACE), 22, QFont::Bold);
}
