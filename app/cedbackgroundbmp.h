#pragma once

#include "app/cbackgroundbmp.h"

// The "Edit" look with the information field hidden: title banner, teal panel top, body, bottom row
// with the tab notches.
class CEDBackgroundBmp : public CBackgroundBmp
{
public:
    CEDBackgroundBmp();

    // Growth of the middle-area width (dw) and of the tiled body height (dh) since the previous
    // composition: how far the main view's controls move on this size change.
    QSize GetGrowth() const { return Growth(); }
    int GetMiddleWidth() const { return MiddleWidth(); }
    int GetTiledHeight() const { return TiledHeight(); }
};
