#include "app/cedbackgroundbmp.h"

CEDBackgroundBmp::CEDBackgroundBmp()
    : CBackgroundBmp({
          {1121, 1120, 1122, 28},
          {1124, 1123, 1125, 40},
          {1130, 1129, 1131, 400, true},
          {1127, 1126, 1128, 80},
      })
{}
