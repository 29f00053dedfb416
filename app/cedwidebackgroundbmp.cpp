#include "app/cedwidebackgroundbmp.h"

CEDWideBackgroundBmp::CEDWideBackgroundBmp()
    : CBackgroundBmp({
          {1121, 1120, 1122, 28},
          {193, 313, 315, 106},
          {1162, 1161, 1160, 40},
          {1130, 1129, 1131, 400, true},
          {1127, 1126, 1128, 80},
      })
{}
