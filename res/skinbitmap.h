#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>

// The pictures of the skin, embedded as resources under ":/skin". A picture that carries a
// caption exists once per language (":/skin/en/<id>.png", ":/skin/ja/<id>.png"); every other
// picture exists once (":/skin/<id>.png"). A designer may replace any file with one of the same
// size.

// Numbered pictures that the code picks by name rather than from a table.
enum SkinPictureId : int {
    SKIN_APPLICATION = 128,
    SKIN_BACKGROUND = 131,
    SKIN_TAB_RC_INACTIVE = 133,
    SKIN_TAB_ED_ACTIVE = 134,
    SKIN_TAB_RC_ACTIVE = 135,
    SKIN_TAB_ED_INACTIVE = 136,
    SKIN_HOURGLASS = 139,
    SKIN_SPLASH = 156,
    SKIN_ICON_ERROR_SELECTED = 202,
    SKIN_ICON_ERROR = 203,
    SKIN_ICON_WARNING_SELECTED = 204,
    SKIN_ICON_WARNING = 205,
    SKIN_ICON_DISPLAY_ALL = 206,
    SKIN_ICON_FOLDER_CLOSED = 207,
    SKIN_ICON_DISPLAY_ALL_SELECTED = 208,
    SKIN_ICON_FOLDER_OPEN = 209,
    SKIN_ICON_LIST_FOLDER_OPEN = 234,
    SKIN_ICON_TITLE = 235,        // 32 x 32, splash window and wait dialog
    SKIN_ICON_PADLOCK_OPEN = 236, // password supplied and accepted
    SKIN_ICON_PADLOCK_CLOSED = 237,
    SKIN_ICON_FOLDER_CLOSED_MARKED = 325,
    SKIN_ICON_FOLDER_OPEN_MARKED = 326,
};

// The resource path of picture id for the current string language: the language's own picture
// when there is one, else the shared one; empty when there is neither.
QString SkinPicturePath(int id);

// Picture id for the current string language; a null picture when there is none.
QPixmap LoadSkinBitmap(int id);
// The same as an image; usable without a window system (composers, tests, tools).
QImage LoadSkinImage(int id);
// Picture id as an icon; a null icon when there is none.
QIcon LoadSkinIcon(int id);

// The application icon in every size the skin holds (16 to 256 pixels).
QIcon ApplicationIcon();
