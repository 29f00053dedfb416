#pragma once

#include "app/cbackgroundbmp.h"

// The "Edit" look with the information field shown: title banner, information frame, teal panel
// top, body, bottom row.
class CEDWideBackgroundBmp : public CBackgroundBmp
{
public:
    CEDWideBackgroundBmp();
};
