#pragma once

#include "app/cbackgroundbmp.h"

// The "Remote Control" look with the information field hidden: title banner, blue panel top, body,
// bottom row with the tab notches.
class CRCBackgroundBmp : public CBackgroundBmp
{
public:
    CRCBackgroundBmp();
};
