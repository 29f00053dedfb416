#pragma once

#include <QFont>
#include <QString>

// The fonts of the main window. The face names are the ones the string table and the form
// give ("Tahoma", "MS UI Gothic"); InstallFontSubstitutions maps them onto Debian's fonts, chosen
// so that every caption fits its control: DejaVu Sans Condensed for Latin text, IPA P Gothic for
// Japanese (and for Latin in the Japanese window). Sizes are in pixels, as the layout is.

void InstallFontSubstitutions();

// The view's font: 9 points at 96 dots per inch, "Tahoma" (Japanese: "MS UI Gothic").
QFont ViewFont();
// The two section captions: bold, 10 points, face from string 345.
QFont CaptionFont();
// The title of the splash window and the About box: 22 points, face from string 345.
QFont TitleFont();

// Pixels of a point size at the 96 dots per inch the layout is drawn for.
int PointsToPixels(int points);
