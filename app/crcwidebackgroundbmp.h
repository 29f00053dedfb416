#pragma once

#include "app/cbackgroundbmp.h"

// The "Remote Control" look with the information field shown: title banner, information frame, blue
// panel top, body, bottom row.
class CRCWideBackgroundBmp : public CBackgroundBmp
{
public:
    CRCWideBackgroundBmp();
};
