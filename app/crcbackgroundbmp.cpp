#include "app/crcbackgroundbmp.h"

CRCBackgroundBmp::CRCBackgroundBmp()
    : CBackgroundBmp({
          {1121, 1120, 1122, 28},
          {1133, 1132, 1134, 37},
          {1139, 1138, 1140, 400, true},
          {1136, 1135, 1137, 80},
      })
{}
