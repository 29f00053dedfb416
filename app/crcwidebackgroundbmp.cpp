#include "app/crcwidebackgroundbmp.h"

CRCWideBackgroundBmp::CRCWideBackgroundBmp()
    : CBackgroundBmp({
          {1121, 1120, 1122, 28},
          {193, 313, 315, 106},
          {1163, 1164, 1165, 40},
          {1139, 1138, 1140, 400, true},
          {1136, 1135, 1137, 80},
      })
{}
